// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/SourceRestore.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// How long one attempt waits for the server.
constexpr std::chrono::seconds AttemptWait{3};
constexpr std::chrono::milliseconds BetweenAttempts{500};

struct Unmute
{
    QString source;
    pa_operation *operation = nullptr;
    bool done = false;
};

// One connection to the server: unmutes what it can, returns what is left and why.
QStringList attempt(const QStringList &sources, QString &why)
{
    const auto deadline = Clock::now() + AttemptWait;
    std::unique_ptr<pa_mainloop, decltype(&pa_mainloop_free)> loop(pa_mainloop_new(),
                                                                   &pa_mainloop_free);
    pa_context *context = pa_context_new(pa_mainloop_get_api(loop.get()), "voicevocta-guard");
    const auto turn = [&loop, deadline] {
        const auto left
            = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pa_mainloop_prepare(loop.get(), int(std::min<qint64>(left.count(), 100000)));
        pa_mainloop_poll(loop.get());
        pa_mainloop_dispatch(loop.get());
        return true;
    };
    std::vector<Unmute> calls;
    bool running = pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
    while (running && pa_context_get_state(context) != PA_CONTEXT_READY)
        running = PA_CONTEXT_IS_GOOD(pa_context_get_state(context)) && turn();
    if (running) {
        calls.reserve(size_t(sources.size()));
        for (const QString &source : sources) {
            calls.push_back({source});
            calls.back().operation = pa_context_set_source_mute_by_name(
                context, source.toUtf8().constData(), 0,
                [](pa_context *, int success, void *userdata) {
                    static_cast<Unmute *>(userdata)->done = success != 0;
                },
                &calls.back());
        }
        const auto waiting = [&calls] {
            return std::any_of(calls.begin(), calls.end(), [](const Unmute &call) {
                return call.operation
                       && pa_operation_get_state(call.operation) == PA_OPERATION_RUNNING;
            });
        };
        while (waiting() && turn()) { }
    }
    QStringList left;
    for (Unmute &call : calls) {
        if (!call.done)
            left << call.source;
        if (!call.operation)
            continue;
        if (pa_operation_get_state(call.operation) == PA_OPERATION_RUNNING)
            pa_operation_cancel(call.operation);
        pa_operation_unref(call.operation);
    }
    if (calls.empty())
        left = sources;
    const int error = pa_context_errno(context);
    why = error != PA_OK ? QString::fromUtf8(pa_strerror(error))
                         : QStringLiteral("the sound server does not answer");
    pa_context_disconnect(context);
    pa_context_unref(context);
    return left;
}

} // namespace

void restoreSources(const QStringList &sources, std::chrono::seconds giveUpAfter,
                    const std::function<void(const QString &)> &say)
{
    const auto giveUp = Clock::now() + giveUpAfter;
    QStringList left = sources;
    for (;;) {
        QString why;
        const QStringList stillMuted = attempt(left, why);
        for (const QString &source : left)
            if (!stillMuted.contains(source))
                say(QStringLiteral("the microphone \"%1\" unmuted").arg(source));
        left = stillMuted;
        if (left.isEmpty())
            return;
        if (Clock::now() >= giveUp) {
            for (const QString &source : left)
                say(QStringLiteral("cannot unmute the microphone \"%1\": %2").arg(source, why));
            return;
        }
        std::this_thread::sleep_for(BetweenAttempts);
    }
}
