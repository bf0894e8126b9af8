// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/MonitorCapture.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

struct MonitorCapture::Private
{
    QString source;
    pa_threaded_mainloop *mainloop = nullptr;
    pa_context *context = nullptr;
    pa_stream *stream = nullptr;

    mutable std::mutex mutex;
    std::vector<float> samples;
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
            const size_t count = bytes / sizeof(float);
            std::lock_guard lock(d->mutex);
            const size_t at = d->samples.size();
            d->samples.resize(at + count, 0.0f);
            if (data) {
                std::memcpy(d->samples.data() + at, data, count * sizeof(float));
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

MonitorCapture::MonitorCapture(const QString &source) : d(std::make_unique<Private>())
{
    d->source = source;
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
    bool ok = pa_context_connect(d->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
    while (ok && pa_context_get_state(d->context) != PA_CONTEXT_READY) {
        ok = PA_CONTEXT_IS_GOOD(pa_context_get_state(d->context));
        if (ok)
            pa_threaded_mainloop_wait(d->mainloop);
    }
    if (ok) {
        const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, SampleRate, 1};
        d->stream = pa_stream_new(d->context, "monitor capture", &spec, nullptr);
        pa_stream_set_state_callback(
            d->stream, [](pa_stream *, void *self) { Private::signal(self); }, d.get());
        pa_stream_set_read_callback(d->stream, &Private::read, d.get());
        pa_buffer_attr attributes;
        std::memset(&attributes, 0xff, sizeof attributes);
        attributes.fragsize = uint32_t(pa_usec_to_bytes(1000, &spec));
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
    d->samples.clear();
    d->sound = 0;
    d->first = {};
    d->last = {};
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
