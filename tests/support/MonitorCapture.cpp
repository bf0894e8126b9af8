// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/MonitorCapture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

namespace {
// The sink's channels as captured; one of them is kept.
constexpr int Channels = 2;
} // namespace

struct MonitorCapture::Private
{
    QString source;
    int rate = SampleRate;
    QString server;
    int channel = 0;
    pa_threaded_mainloop *mainloop = nullptr;
    pa_context *context = nullptr;
    pa_stream *stream = nullptr;

    mutable std::mutex mutex;
    std::vector<float> samples;
    qint64 cleared = 0; // samples dropped by clear(), for the positions
    qint64 sound = 0;
    Clock::time_point first;
    Clock::time_point last;

    static void signal(void *self)
    {
        pa_threaded_mainloop_signal(static_cast<Private *>(self)->mainloop, 0);
    }

    static void read(pa_stream *stream, size_t, void *self)
    {
        auto *d = static_cast<Private *>(self);
        const auto now = Clock::now();
        const void *data = nullptr;
        size_t bytes = 0;
        while (pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
            const size_t count = bytes / (Channels * sizeof(float));
            std::lock_guard lock(d->mutex);
            const size_t at = d->samples.size();
            d->samples.resize(at + count, 0.0f);
            if (data) {
                const auto *frames = static_cast<const float *>(data);
                for (size_t i = 0; i < count; ++i)
                    d->samples[at + i] = frames[i * Channels + d->channel];
                for (size_t i = at; i < at + count; ++i) {
                    if (d->samples[i] != 0.0f) {
                        ++d->sound;
                        if (d->first == Clock::time_point{})
                            d->first = now;
                        d->last = now;
                    }
                }
            }
            pa_stream_drop(stream);
        }
    }
};

MonitorCapture::MonitorCapture(const QString &source, int sampleRate, const QString &server,
                               int channel)
    : d(std::make_unique<Private>())
{
    d->source = source;
    d->rate = sampleRate;
    d->server = server;
    d->channel = channel;
}

int MonitorCapture::sampleRate() const
{
    return d->rate;
}

MonitorCapture::~MonitorCapture()
{
    stop();
}

bool MonitorCapture::start(QString *error)
{
    stop();
    d->mainloop = pa_threaded_mainloop_new();
    d->context = pa_context_new(pa_threaded_mainloop_get_api(d->mainloop), "monitor capture");
    pa_context_set_state_callback(
        d->context, [](pa_context *, void *self) { Private::signal(self); }, d.get());
    pa_threaded_mainloop_lock(d->mainloop);
    pa_threaded_mainloop_start(d->mainloop);
    const QByteArray server = d->server.toUtf8();
    bool ok = pa_context_connect(d->context, server.isEmpty() ? nullptr : server.constData(),
                                 PA_CONTEXT_NOAUTOSPAWN, nullptr)
              >= 0;
    while (ok && pa_context_get_state(d->context) != PA_CONTEXT_READY) {
        ok = PA_CONTEXT_IS_GOOD(pa_context_get_state(d->context));
        if (ok)
            pa_threaded_mainloop_wait(d->mainloop);
    }
    if (ok) {
        const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, uint32_t(d->rate), Channels};
        d->stream = pa_stream_new(d->context, "monitor capture", &spec, nullptr);
        pa_stream_set_state_callback(
            d->stream, [](pa_stream *, void *self) { Private::signal(self); }, d.get());
        pa_stream_set_read_callback(d->stream, &Private::read, d.get());
        pa_buffer_attr attributes;
        std::memset(&attributes, 0xff, sizeof attributes);
        // 20 ms blocks: a listener asking for 1 ms pulls PipeWire's whole graph down to a tiny
        // quantum, which then drops cycles of its own; positions come from the server's timing.
        attributes.fragsize = uint32_t(pa_usec_to_bytes(20000, &spec));
        const QByteArray source = d->source.toUtf8();
        ok = pa_stream_connect_record(d->stream, source.constData(), &attributes,
                                      PA_STREAM_ADJUST_LATENCY)
             >= 0;
        while (ok && pa_stream_get_state(d->stream) != PA_STREAM_READY) {
            ok = pa_stream_get_state(d->stream) == PA_STREAM_CREATING;
            if (ok)
                pa_threaded_mainloop_wait(d->mainloop);
        }
    }
    if (!ok)
        *error = QString::fromUtf8(pa_strerror(pa_context_errno(d->context)));
    pa_threaded_mainloop_unlock(d->mainloop);
    if (!ok)
        stop();
    return ok;
}

void MonitorCapture::stop()
{
    if (!d->mainloop)
        return;
    pa_threaded_mainloop_lock(d->mainloop);
    if (d->stream) {
        pa_stream_set_read_callback(d->stream, nullptr, nullptr);
        pa_stream_set_state_callback(d->stream, nullptr, nullptr);
        pa_stream_disconnect(d->stream);
        pa_stream_unref(d->stream);
        d->stream = nullptr;
    }
    pa_context_set_state_callback(d->context, nullptr, nullptr);
    pa_context_disconnect(d->context);
    pa_context_unref(d->context);
    d->context = nullptr;
    pa_threaded_mainloop_unlock(d->mainloop);
    pa_threaded_mainloop_stop(d->mainloop);
    pa_threaded_mainloop_free(d->mainloop);
    d->mainloop = nullptr;
}

std::vector<float> MonitorCapture::samples() const
{
    std::lock_guard lock(d->mutex);
    return d->samples;
}

qint64 MonitorCapture::soundSamples() const
{
    std::lock_guard lock(d->mutex);
    return d->sound;
}

MonitorCapture::Clock::time_point MonitorCapture::firstSound() const
{
    std::lock_guard lock(d->mutex);
    return d->first;
}

MonitorCapture::Clock::time_point MonitorCapture::lastSound() const
{
    std::lock_guard lock(d->mutex);
    return d->last;
}

void MonitorCapture::clear()
{
    std::lock_guard lock(d->mutex);
    d->cleared += qint64(d->samples.size());
    d->samples.clear();
    d->sound = 0;
    d->first = {};
    d->last = {};
}

std::vector<float> MonitorCapture::take()
{
    std::lock_guard lock(d->mutex);
    std::vector<float> taken;
    taken.swap(d->samples);
    d->cleared += qint64(taken.size());
    d->sound = 0;
    d->first = {};
    d->last = {};
    return taken;
}

qint64 MonitorCapture::positionAt(Clock::time_point when) const
{
    if (!d->stream)
        return -1;
    pa_threaded_mainloop_lock(d->mainloop);
    pa_operation *operation = pa_stream_update_timing_info(
        d->stream, [](pa_stream *, int, void *self) { Private::signal(self); }, d.get());
    while (operation && pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(d->mainloop);
    qint64 position = -1;
    const pa_timing_info *timing = pa_stream_get_timing_info(d->stream);
    if (operation && pa_operation_get_state(operation) == PA_OPERATION_DONE && timing
        && !timing->write_index_corrupt) {
        // What the server had handed to the capture when it answered, and what the sink played
        // between `when` and that answer.
        const auto since
            = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - when);
        const qint64 sinceAnswer = qint64(pa_timeval_age(&timing->timestamp)) - since.count();
        position = timing->write_index / qint64(Channels * sizeof(float))
                   + sinceAnswer * d->rate / 1000000;
    }
    if (operation)
        pa_operation_unref(operation);
    pa_threaded_mainloop_unlock(d->mainloop);
    if (position < 0)
        return -1;
    std::lock_guard lock(d->mutex);
    return position - d->cleared;
}

bool MonitorCapture::catchUp(int timeoutMs) const
{
    const qint64 position = positionAt(Clock::now());
    if (position < 0)
        return false;
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        {
            std::lock_guard lock(d->mutex);
            if (qint64(d->samples.size()) >= position)
                return true;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return false;
}

std::vector<float> MonitorCapture::sound(const std::vector<float> &samples)
{
    auto audible = [](float s) {
        return s != 0.0f;
    };
    const auto first = std::find_if(samples.begin(), samples.end(), audible);
    const auto last = std::find_if(samples.rbegin(), samples.rend(), audible);
    if (first == samples.end())
        return {};
    return std::vector<float>(first, last.base());
}

bool MonitorCapture::heardAsSent(const std::vector<float> &heard, const std::vector<float> &sent,
                                 float tolerance)
{
    if (heard.empty() || heard.size() > sent.size()
        || sent.size() - heard.size() > size_t(HeadLoss))
        return false;
    const size_t skipped = sent.size() - heard.size();
    for (size_t i = 0; i < heard.size(); ++i)
        if (std::abs(heard[i] - sent[skipped + i]) > tolerance)
            return false;
    return true;
}

bool MonitorCapture::heardAsSentButForHoles(const std::vector<float> &heard,
                                            const std::vector<float> &sent, float tolerance)
{
    if (heard.empty() || heard.size() > sent.size() || heard.size() < sent.size() * 9 / 10)
        return false;
    const auto asSent = [tolerance](float h, float s) {
        return h == 0.0f || std::abs(h - s) <= tolerance;
    };
    for (size_t skipped = 0; skipped <= sent.size() - heard.size(); ++skipped)
        if (std::equal(heard.begin(), heard.end(), sent.begin() + qsizetype(skipped), asSent))
            return true;
    return false;
}
