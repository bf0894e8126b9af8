// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/PulseOutput.h"

#include "playback/audio/PulseConnection.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

namespace {

void unrefOperation(pa_operation *operation)
{
    if (operation)
        pa_operation_unref(operation);
}

} // namespace

PulseOutput::PulseOutput(PulseConnection &connection, Feed &feed)
    : m_connection(connection), m_feed(feed)
{ }

PulseOutput::~PulseOutput()
{
    close();
}

bool PulseOutput::isOpen() const
{
    PulseConnection::Lock lock(m_connection);
    return m_stream != nullptr;
}

bool PulseOutput::usable() const
{
    if (!m_stream || pa_stream_get_context(m_stream) != m_connection.context())
        return false;
    const pa_stream_state_t state = pa_stream_get_state(m_stream);
    return state == PA_STREAM_CREATING || state == PA_STREAM_READY;
}

bool PulseOutput::open(const Format &format, QString *error)
{
    PulseConnection::Lock lock(m_connection);
    if (format == m_format && usable())
        return true;
    cancelPending();
    m_phase = Phase::Idle;
    PulseConnection::dropStream(m_stream);
    m_format = format;
    return createStream(error);
}

bool PulseOutput::createStream(QString *error)
{
    pa_context *context = m_connection.context();
    if (!context) {
        *error = QStringLiteral("no sound server answers");
        return false;
    }
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, uint32_t(m_format.sampleRate),
                              uint8_t(m_format.channels)};
    pa_channel_map map;
    if (!pa_sample_spec_valid(&spec)
        || (!pa_channel_map_init_auto(&map, spec.channels, PA_CHANNEL_MAP_WAVEEX)
            && !pa_channel_map_init_extend(&map, spec.channels, PA_CHANNEL_MAP_WAVEEX))) {
        *error = QStringLiteral("the sound server cannot play %1 channels at %2 Hz")
                     .arg(m_format.channels)
                     .arg(m_format.sampleRate);
        return false;
    }
    m_frameBytes = pa_frame_size(&spec);

    pa_proplist *properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, PulseConnection::ClientName);
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, PulseConnection::ClientName);
    m_stream = pa_stream_new_with_proplist(context, PulseConnection::ClientName, &spec, &map,
                                           properties);
    pa_proplist_free(properties);
    if (!m_stream) {
        *error = QString::fromUtf8(pa_strerror(pa_context_errno(context)));
        return false;
    }
    pa_stream_set_state_callback(m_stream, &PulseOutput::stateCallback, this);
    pa_stream_set_write_callback(m_stream, &PulseOutput::writeCallback, this);

    // A short queue, so that the server follows the message closely; a prebuffer of one frame,
    // so that the first frames play at once and a drain completes (with none it never does).
    pa_buffer_attr attributes;
    attributes.maxlength = uint32_t(-1);
    attributes.tlength = uint32_t(pa_usec_to_bytes(pa_usec_t(BufferMs) * PA_USEC_PER_MSEC, &spec));
    attributes.prebuf = uint32_t(m_frameBytes);
    attributes.minreq = uint32_t(-1);
    attributes.fragsize = uint32_t(-1);
    int flags = PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY;
    if (!m_format.sink.isEmpty())
        flags |= PA_STREAM_DONT_MOVE; // a chosen output is never replaced by another
    const QByteArray sink = m_format.sink.toUtf8();
    if (pa_stream_connect_playback(m_stream, sink.isEmpty() ? nullptr : sink.constData(),
                                   &attributes, pa_stream_flags_t(flags), nullptr, nullptr)
        < 0) {
        *error = streamError();
        PulseConnection::dropStream(m_stream);
        return false;
    }
    return true;
}

void PulseOutput::cancelPending()
{
    if (m_operation) {
        pa_operation_cancel(m_operation);
        pa_operation_unref(m_operation);
        m_operation = nullptr;
    }
    if (m_timer) {
        pa_threaded_mainloop_get_api(m_connection.mainloop())->time_free(m_timer);
        m_timer = nullptr;
    }
}

void PulseOutput::start()
{
    PulseConnection::Lock lock(m_connection);
    cancelPending();
    if (!usable()) {
        // The server went away since the stream was made, and may be back.
        PulseConnection::dropStream(m_stream);
        QString error;
        if (!createStream(&error)) {
            fail(error);
            return;
        }
    }
    if (pa_stream_get_state(m_stream) == PA_STREAM_READY)
        begin();
    else
        m_phase = Phase::Starting; // begins when the stream is ready
}

void PulseOutput::begin()
{
    m_phase = Phase::Playing;
    // Whatever the stream held goes; the message's first frames go into the empty stream, and
    // then it plays. The drain of a message that fits in them waits for the uncork.
    unrefOperation(pa_stream_flush(m_stream, nullptr, nullptr));
    m_holdDrain = true;
    fill(pa_stream_get_buffer_attr(m_stream)->tlength);
    m_holdDrain = false;
    unrefOperation(pa_stream_cork(m_stream, 0, nullptr, nullptr));
    if (m_phase == Phase::Playing && m_endWritten)
        drain();
}

void PulseOutput::fill(size_t bytes)
{
    const int channels = m_format.channels;
    m_endWritten = false;
    while (m_phase == Phase::Playing) {
        bool end = false;
        if (bytes < m_frameBytes) {
            m_feed.take(nullptr, 0, channels, &end); // nothing wanted: only whether it ended
            m_endWritten = end;
            break;
        }
        void *data = nullptr;
        size_t size = bytes - bytes % m_frameBytes;
        if (pa_stream_begin_write(m_stream, &data, &size) < 0 || !data) {
            fail(streamError());
            return;
        }
        size = std::min(size, bytes);
        const int frames = int(size / m_frameBytes);
        const int got = m_feed.take(static_cast<float *>(data), frames, channels, &end);
        if (got > 0)
            pa_stream_write(m_stream, data, size_t(got) * m_frameBytes, nullptr, 0,
                            PA_SEEK_RELATIVE);
        else
            pa_stream_cancel_write(m_stream);
        if (end) {
            m_endWritten = true;
            break;
        }
        if (got < frames)
            return; // the decoder is behind: framesReady() comes back
        bytes -= size_t(got) * m_frameBytes;
    }
    if (m_endWritten && !m_holdDrain && m_phase == Phase::Playing)
        drain();
}

void PulseOutput::framesReady()
{
    PulseConnection::Lock lock(m_connection);
    if (m_phase == Phase::Playing && usable())
        fill(pa_stream_writable_size(m_stream));
}

void PulseOutput::drain()
{
    m_phase = Phase::Draining;
    m_operation = pa_stream_drain(
        m_stream,
        [](pa_stream *, int success, void *self) {
            static_cast<PulseOutput *>(self)->drained(success != 0);
        },
        this);
    if (!m_operation)
        fail(streamError());
}

void PulseOutput::drained(bool success)
{
    unrefOperation(m_operation);
    m_operation = nullptr;
    if (m_phase != Phase::Draining)
        return;
    if (!success) {
        fail(streamError());
        return;
    }
    // The server has played the stream out; the sound card may still hold the end.
    m_phase = Phase::Tail;
    m_operation = pa_stream_update_timing_info(
        m_stream,
        [](pa_stream *, int success, void *self) {
            static_cast<PulseOutput *>(self)->timingKnown(success != 0);
        },
        this);
    if (!m_operation)
        heard();
}

void PulseOutput::timingKnown(bool success)
{
    unrefOperation(m_operation);
    m_operation = nullptr;
    if (m_phase != Phase::Tail)
        return;
    pa_usec_t latency = 0;
    int negative = 0;
    const pa_timing_info *timing = pa_stream_get_timing_info(m_stream);
    if (!success || !timing || pa_stream_get_latency(m_stream, &latency, &negative) < 0
        || negative) {
        heard();
        return;
    }
    // What the sink still held when the server answered, less the time since.
    const pa_usec_t age = pa_timeval_age(&timing->timestamp);
    const pa_usec_t remaining = latency > age ? latency - age : 0;
    if (remaining < 200) {
        heard();
        return;
    }
    m_timer = pa_context_rttime_new(
        pa_stream_get_context(m_stream), pa_rtclock_now() + remaining,
        [](pa_mainloop_api *api, pa_time_event *event, const struct timeval *, void *self) {
            auto *output = static_cast<PulseOutput *>(self);
            api->time_free(event);
            output->m_timer = nullptr;
            output->heard();
        },
        this);
    if (!m_timer)
        heard();
}

void PulseOutput::heard()
{
    m_phase = Phase::Idle;
    unrefOperation(pa_stream_cork(m_stream, 1, nullptr, nullptr));
    m_feed.finished(false, QString());
}

qint64 PulseOutput::pause()
{
    {
        PulseConnection::Lock lock(m_connection);
        cancelPending();
        const bool sounding = m_phase == Phase::Playing || m_phase == Phase::Draining;
        m_phase = Phase::Idle;
        if (!m_stream || pa_stream_get_state(m_stream) != PA_STREAM_READY)
            return 0;
        unrefOperation(pa_stream_cork(m_stream, 1, nullptr, nullptr));
        if (!sounding) {
            unrefOperation(pa_stream_flush(m_stream, nullptr, nullptr));
            return 0;
        }
        // Corked, the stream holds what was not heard (what the sound card held comes back to it
        // where the sink can take it back): ask how much, then drop it.
        {
            std::lock_guard unheard(m_unheardMutex);
            m_unheard = -1;
        }
        m_operation = pa_stream_update_timing_info(
            m_stream,
            [](pa_stream *stream, int success, void *self) {
                auto *output = static_cast<PulseOutput *>(self);
                const pa_timing_info *timing = pa_stream_get_timing_info(stream);
                std::lock_guard unheard(output->m_unheardMutex);
                output->m_unheard = success && timing && !timing->write_index_corrupt
                                            && timing->write_index > timing->read_index
                                        ? timing->write_index - timing->read_index
                                        : 0;
                output->m_unheardKnown.notify_all();
            },
            this);
    }
    qint64 unheard = 0;
    {
        // The server answers within a millisecond; one that hangs costs the position, not more.
        std::unique_lock lock(m_unheardMutex);
        if (m_unheardKnown.wait_for(lock, std::chrono::milliseconds(500),
                                    [this] { return m_unheard >= 0; }))
            unheard = m_unheard;
    }
    PulseConnection::Lock lock(m_connection);
    cancelPending();
    if (m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY)
        unrefOperation(pa_stream_flush(m_stream, nullptr, nullptr));
    return m_frameBytes ? unheard / qint64(m_frameBytes) : 0;
}

void PulseOutput::close()
{
    PulseConnection::Lock lock(m_connection);
    cancelPending();
    m_phase = Phase::Idle;
    PulseConnection::dropStream(m_stream);
    m_format = {};
}

void PulseOutput::fail(const QString &error)
{
    cancelPending();
    m_phase = Phase::Idle;
    m_feed.finished(true, error);
}

QString PulseOutput::streamError() const
{
    pa_context *context = m_stream ? pa_stream_get_context(m_stream) : m_connection.context();
    if (!context || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        return QStringLiteral("the sound server went away");
    const int error = pa_context_errno(context);
    if (error == PA_ERR_NOENTITY && !m_format.sink.isEmpty())
        return QStringLiteral("the sound output \"%1\" is not available").arg(m_format.sink);
    if (error == PA_ERR_KILLED && !m_format.sink.isEmpty())
        return QStringLiteral("the sound output \"%1\" went away").arg(m_format.sink);
    return QString::fromUtf8(pa_strerror(error));
}

void PulseOutput::stateCallback(pa_stream *stream, void *self)
{
    auto *output = static_cast<PulseOutput *>(self);
    if (stream != output->m_stream)
        return;
    switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY:
        if (output->m_phase == Phase::Starting)
            output->begin();
        break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
        if (output->m_phase != Phase::Idle)
            output->fail(output->streamError());
        break;
    default:
        break;
    }
}

void PulseOutput::writeCallback(pa_stream *stream, size_t bytes, void *self)
{
    auto *output = static_cast<PulseOutput *>(self);
    if (stream == output->m_stream && output->m_phase == Phase::Playing)
        output->fill(bytes);
}
