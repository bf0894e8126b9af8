// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/PassiveCapture.h"
#include "bench/BenchStation.h"

#include <pulse/pulseaudio.h>

#include <cstring>
#include <limits>

namespace {
constexpr int Channels = 2;
constexpr double NoResult = std::numeric_limits<double>::quiet_NaN();
} // namespace

bool PassiveCapture::start(QString *error)
{
    m_mainloop = pa_threaded_mainloop_new();
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_mainloop), "passive capture");
    pa_context_set_state_callback(m_context, &PassiveCapture::signal, this);
    pa_threaded_mainloop_lock(m_mainloop);
    pa_threaded_mainloop_start(m_mainloop);
    bool ok = pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
    while (ok && pa_context_get_state(m_context) != PA_CONTEXT_READY) {
        ok = PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context));
        if (ok)
            pa_threaded_mainloop_wait(m_mainloop);
    }
    if (ok) {
        const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, uint32_t(m_rate), Channels};
        // PipeWire: a passive link, which lets the sink suspend.
        pa_proplist *properties = pa_proplist_new();
        pa_proplist_sets(properties, "node.passive", "true");
        m_stream
            = pa_stream_new_with_proplist(m_context, "passive capture", &spec, nullptr, properties);
        pa_proplist_free(properties);
        pa_stream_set_state_callback(m_stream, &PassiveCapture::signal, this);
        pa_stream_set_read_callback(m_stream, &PassiveCapture::read, this);
        pa_buffer_attr attributes;
        std::memset(&attributes, 0xff, sizeof attributes);
        attributes.fragsize = uint32_t(pa_usec_to_bytes(1000, &spec));
        const QByteArray source = m_source.toUtf8();
        ok = pa_stream_connect_record(
                 m_stream, source.constData(), &attributes,
                 pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_INHIBIT_AUTO_SUSPEND))
             >= 0;
        while (ok && pa_stream_get_state(m_stream) != PA_STREAM_READY) {
            ok = pa_stream_get_state(m_stream) == PA_STREAM_CREATING;
            if (ok)
                pa_threaded_mainloop_wait(m_mainloop);
        }
    }
    if (!ok)
        *error = QString::fromUtf8(pa_strerror(pa_context_errno(m_context)));
    pa_threaded_mainloop_unlock(m_mainloop);
    if (!ok)
        stop();
    return ok;
}

void PassiveCapture::stop()
{
    if (!m_mainloop)
        return;
    pa_threaded_mainloop_lock(m_mainloop);
    if (m_stream) {
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
    pa_context_set_state_callback(m_context, nullptr, nullptr);
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
    pa_threaded_mainloop_unlock(m_mainloop);
    pa_threaded_mainloop_stop(m_mainloop);
    pa_threaded_mainloop_free(m_mainloop);
    m_mainloop = nullptr;
}

void PassiveCapture::reset()
{
    std::lock_guard lock(m_mutex);
    m_first = -1;
}

qint64 PassiveCapture::firstSound() const
{
    std::lock_guard lock(m_mutex);
    return m_first;
}

qint64 PassiveCapture::positionAt(Steady::time_point when)
{
    pa_threaded_mainloop_lock(m_mainloop);
    pa_operation *operation = pa_stream_update_timing_info(m_stream, &PassiveCapture::done, this);
    while (operation && pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(m_mainloop);
    qint64 position = -1;
    const pa_timing_info *timing = pa_stream_get_timing_info(m_stream);
    if (operation && pa_operation_get_state(operation) == PA_OPERATION_DONE && timing
        && !timing->write_index_corrupt) {
        const auto since
            = std::chrono::duration_cast<std::chrono::microseconds>(Steady::now() - when);
        const qint64 sinceAnswer = qint64(pa_timeval_age(&timing->timestamp)) - since.count();
        position = timing->write_index / qint64(Channels * sizeof(float))
                   + sinceAnswer * m_rate / 1000000;
    }
    if (operation)
        pa_operation_unref(operation);
    pa_threaded_mainloop_unlock(m_mainloop);
    return position;
}

double PassiveCapture::fromTo(Steady::time_point start)
{
    longestStallWhile([this] { return firstSound() >= 0; }, 10000);
    if (firstSound() < 0)
        return NoResult;
    const qint64 at = positionAt(start);
    return at < 0 ? NoResult : double(firstSound() - at) * 1000 / m_rate;
}

void PassiveCapture::signal(pa_context *, void *self)
{
    pa_threaded_mainloop_signal(static_cast<PassiveCapture *>(self)->m_mainloop, 0);
}

void PassiveCapture::signal(pa_stream *, void *self)
{
    pa_threaded_mainloop_signal(static_cast<PassiveCapture *>(self)->m_mainloop, 0);
}

void PassiveCapture::done(pa_stream *, int, void *self)
{
    pa_threaded_mainloop_signal(static_cast<PassiveCapture *>(self)->m_mainloop, 0);
}

void PassiveCapture::read(pa_stream *stream, size_t, void *self)
{
    auto *capture = static_cast<PassiveCapture *>(self);
    const void *data = nullptr;
    size_t bytes = 0;
    while (pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
        const qint64 count = qint64(bytes / (Channels * sizeof(float)));
        std::lock_guard lock(capture->m_mutex);
        const auto *frames = static_cast<const float *>(data);
        for (qint64 i = 0; data && capture->m_first < 0 && i < count; ++i)
            if (frames[i * Channels] != 0.0f)
                capture->m_first = capture->m_received + i;
        capture->m_received += count;
        pa_stream_drop(stream);
    }
}
