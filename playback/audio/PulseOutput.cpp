// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/PulseOutput.h"
#include "station/Log.h"

#include "playback/audio/PulseConnection.h"
#include "playback/audio/PulseStreams.h"
#include "station/LogText.h"

#include <QDebug>

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>

using namespace PulseStreams;

namespace {

// The output as a trace names it.
QString outputName(const QString &sink)
{
    return sink.isEmpty() ? QStringLiteral("the default output") : LogText::quoted(sink);
}

} // namespace

PulseOutput::PulseOutput(PulseConnection &connection, Feed &feed)
    : m_connection(connection), m_feed(feed), m_monitor(connection)
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

Result PulseOutput::open(const Format &format)
{
    PulseConnection::Lock lock(m_connection);
    const bool sameStream = usable(m_connection, m_stream)
                            && format.sampleRate == m_format.sampleRate
                            && format.channels == m_format.channels && format.sink == m_format.sink;
    if (!sameStream) {
        cancelPending();
        m_phase = Phase::Idle;
        m_monitor.drop(QString());
        PulseConnection::dropStream(m_stream);
        m_format = format;
        if (Result step = createStream(); !step)
            return step;
    }
    m_format.monitor = format.monitor;
    m_monitor.open(m_format);
    return {};
}

Result PulseOutput::createStream()
{
    const ResultOf<pa_stream *> made = connect(m_connection, m_format, m_format.sink, m_level, -1);
    m_stream = made.value;
    if (!made)
        return Result::failure(made.error);
    const pa_sample_spec spec = sampleFormat(m_format);
    m_frameBytes = pa_frame_size(&spec);
    qCDebug(lcSound).noquote() << "Output: makes its stream on" << outputName(m_format.sink);
    pa_stream_set_state_callback(m_stream, &PulseOutput::stateCallback, this);
    pa_stream_set_write_callback(m_stream, &PulseOutput::writeCallback, this);
    pa_stream_set_suspended_callback(m_stream, &PulseOutput::suspendedCallback, this);
    return {};
}

Result PulseOutput::renewStream()
{
    if (usable(m_connection, m_stream))
        return {};
    // The server went away since the stream was made, and may be back.
    m_monitor.drop(QString());
    PulseConnection::dropStream(m_stream);
    return createStream();
}

void PulseOutput::cancelPending()
{
    cancel(m_wakeOperation);
    freeTimer(m_connection, m_restTimer);
    endWake(false, QStringLiteral("the sound output was wanted otherwise meanwhile"));
    cancel(m_operation);
    cancel(m_sinkQuery);
    m_monitor.cancelEnd();
    freeTimer(m_connection, m_timer);
}

void PulseOutput::setLevels(float level, float monitorLevel)
{
    PulseConnection::Lock lock(m_connection);
    m_level = level;
    applyLevel(m_connection, m_stream, m_level, m_format.channels);
    m_monitor.setLevel(monitorLevel);
}

void PulseOutput::start()
{
    PulseConnection::Lock lock(m_connection);
    cancelPending();
    if (const Result renewed = renewStream(); !renewed) {
        fail(renewed.error);
        return;
    }
    m_monitor.renew(); // plays from the next message on, once the server has made it
    if (pa_stream_get_state(m_stream) == PA_STREAM_READY)
        begin();
    else
        m_phase = Phase::Starting; // begins when the stream is ready
}

void PulseOutput::begin()
{
    qCDebug(lcSound) << "Output: the message starts";
    m_phase = Phase::Playing;
    // Whatever the stream held goes; the message's first frames go into the empty stream, and
    // then it plays. The drain of a message that fits in them waits for the uncork.
    unref(pa_stream_flush(m_stream, nullptr, nullptr));
    applyLevel(m_connection, m_stream, m_level, m_format.channels);
    askWhetherNetworkSink();
    // The monitor starts with it, from as empty a stream; one still being made joins later.
    m_monitor.begin(m_stream);

    m_holdDrain = true;
    fill(pa_stream_get_buffer_attr(m_stream)->tlength);
    m_holdDrain = false;
    if (m_phase != Phase::Playing)
        return; // failed
    unref(pa_stream_cork(m_stream, 0, nullptr, nullptr));
    m_monitor.uncork();
    if (m_endWritten)
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
        if (got > 0) {
            m_monitor.mirror(data, size_t(got) * m_frameBytes);
            pa_stream_write(m_stream, data, size_t(got) * m_frameBytes, nullptr, 0,
                            PA_SEEK_RELATIVE);
        } else {
            pa_stream_cancel_write(m_stream);
        }
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
    if (m_phase == Phase::Playing && usable(m_connection, m_stream))
        fill(pa_stream_writable_size(m_stream));
}

qint64 PulseOutput::pause()
{
    {
        PulseConnection::Lock lock(m_connection);
        const bool sounding = m_phase == Phase::Playing || m_phase == Phase::Draining;
        if (m_phase != Phase::Idle) {
            // Stopped: the monitor falls silent with it. (After the end has been heard, the
            // monitor plays its copy out: it may have started a moment later.)
            qCDebug(lcSound) << "Output: stops";
            cancelPending();
            m_monitor.stop(true);
        }
        m_phase = Phase::Idle;
        if (!m_stream || pa_stream_get_state(m_stream) != PA_STREAM_READY)
            return 0;
        unref(pa_stream_cork(m_stream, 1, nullptr, nullptr));
        if (!sounding) {
            unref(pa_stream_flush(m_stream, nullptr, nullptr));
            return 0;
        }
        askUnheard();
    }
    const qint64 unheard = waitForUnheard();
    PulseConnection::Lock lock(m_connection);
    cancelPending();
    if (m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY)
        unref(pa_stream_flush(m_stream, nullptr, nullptr));
    return m_frameBytes ? unheard / qint64(m_frameBytes) : 0;
}

void PulseOutput::askUnheard()
{
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

qint64 PulseOutput::waitForUnheard()
{
    // The server answers within a millisecond; one that hangs costs the position, not more.
    std::unique_lock lock(m_unheardMutex);
    if (m_unheardKnown.wait_for(lock, std::chrono::milliseconds(500),
                                [this] { return m_unheard >= 0; }))
        return m_unheard;
    return 0;
}

void PulseOutput::close()
{
    PulseConnection::Lock lock(m_connection);
    cancelPending();
    m_phase = Phase::Idle;
    m_monitor.drop(QString());
    PulseConnection::dropStream(m_stream);
    m_format = {};
}

void PulseOutput::fail(const QString &error)
{
    cancelPending();
    m_phase = Phase::Idle;
    m_monitor.stop(false);
    m_feed.finished(true, error);
}

QString PulseOutput::streamError() const
{
    pa_context *context = m_stream ? pa_stream_get_context(m_stream) : m_connection.context();
    if (!context || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        return QStringLiteral("the sound server went away");
    const int error = pa_context_errno(context);
    if (error == PA_ERR_NOENTITY && !m_format.sink.isEmpty())
        return QStringLiteral("the sound output %1 is not available")
            .arg(LogText::quoted(m_format.sink));
    if (error == PA_ERR_KILLED && !m_format.sink.isEmpty())
        return QStringLiteral("the sound output %1 went away").arg(LogText::quoted(m_format.sink));
    return QString::fromUtf8(pa_strerror(error));
}

void PulseOutput::stateCallback(pa_stream *stream, void *self)
{
    auto *output = static_cast<PulseOutput *>(self);
    if (stream != output->m_stream)
        return;
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_READY || state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)
        qCDebug(lcSound).noquote() << "Output: its stream on" << outputName(output->m_format.sink)
                                   << (state == PA_STREAM_READY ? "is ready" : "ended");
    switch (state) {
    case PA_STREAM_READY:
        if (output->m_phase == Phase::Starting)
            output->begin();
        else if (output->m_phase == Phase::Waking)
            output->uncorkEmpty();
        break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
        if (output->m_phase == Phase::Waking || output->m_phase == Phase::Awake) {
            // No play runs: the one that asked for the stream is told; a play makes it anew.
            output->m_phase = Phase::Idle;
            output->endWake(false, output->streamError());
            output->cancelPending();
            break;
        }
        if (output->m_phase != Phase::Idle)
            output->fail(output->streamError());
        break;
    default:
        break;
    }
}

// The server asks about every two seconds, once only AheadMs is left: what it asks for goes to it
// at once (what the ring holds; the rest as the decoder delivers it).
void PulseOutput::writeCallback(pa_stream *stream, size_t bytes, void *self)
{
    auto *output = static_cast<PulseOutput *>(self);
    if (stream == output->m_stream && output->m_phase == Phase::Playing)
        output->fill(bytes);
}
