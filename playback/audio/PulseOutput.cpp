// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/PulseOutput.h"
#include "station/Log.h"

#include "playback/audio/PulseConnection.h"
#include "station/LogText.h"

#include <QDebug>

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

void unrefOperation(pa_operation *operation)
{
    if (operation)
        pa_operation_unref(operation);
}

void cancelOperation(pa_operation *&operation)
{
    if (!operation)
        return;
    pa_operation_cancel(operation);
    pa_operation_unref(operation);
    operation = nullptr;
}

uint32_t bytesFor(int milliseconds, const pa_sample_spec &spec)
{
    return uint32_t(pa_usec_to_bytes(pa_usec_t(milliseconds) * PA_USEC_PER_MSEC, &spec));
}

pa_cvolume volumeFor(float level, int channels)
{
    pa_cvolume volume;
    pa_cvolume_set(&volume, unsigned(channels),
                   pa_sw_volume_from_linear(double(std::clamp(level, 0.0f, 1.0f))));
    return volume;
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

bool PulseOutput::usable(pa_stream *stream) const
{
    if (!stream || pa_stream_get_context(stream) != m_connection.context())
        return false;
    const pa_stream_state_t state = pa_stream_get_state(stream);
    return state == PA_STREAM_CREATING || state == PA_STREAM_READY;
}

bool PulseOutput::open(const Format &format, QString *error)
{
    PulseConnection::Lock lock(m_connection);
    const bool sameStream = usable(m_stream) && format.sampleRate == m_format.sampleRate
                            && format.channels == m_format.channels && format.sink == m_format.sink;
    if (!sameStream) {
        cancelPending();
        m_phase = Phase::Idle;
        dropMonitor(QString());
        PulseConnection::dropStream(m_stream);
        m_format = format;
        if (!createStream(error))
            return false;
    }
    m_format.monitor = format.monitor;
    if (m_monitor && (!usable(m_monitor) || m_monitorSink != format.monitor))
        dropMonitor(QString());
    if (m_monitorSink != format.monitor)
        m_monitorSaid.clear(); // another choice: its troubles are said anew
    m_monitorSink = format.monitor;
    if (!m_monitor)
        createMonitor();
    return true;
}

pa_stream *PulseOutput::connectStream(const QString &sink, float level, int extraBytes,
                                      QString *error)
{
    pa_context *context = m_connection.context();
    if (!context) {
        *error = QStringLiteral("no sound server answers");
        return nullptr;
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
        return nullptr;
    }
    m_frameBytes = pa_frame_size(&spec);

    pa_proplist *properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, PulseConnection::ClientName);
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, PulseConnection::ClientName);
    pa_stream *stream = pa_stream_new_with_proplist(context, PulseConnection::ClientName, &spec,
                                                    &map, properties);
    pa_proplist_free(properties);
    if (!stream) {
        *error = QString::fromUtf8(pa_strerror(pa_context_errno(context)));
        return nullptr;
    }

    // The server asks for more once only AheadMs is left queued, for what it played since it last
    // asked (QueueMs - AheadMs, about two seconds). Without early requests or an adjusted latency
    // it asks the sink for what the queue holds beyond twice that: SinkLatencyMs, so that a stop
    // and the end are not held up by what the sink holds. A prebuffer of one frame, so that the
    // first frames play at once and a drain completes (with none it never does).
    pa_buffer_attr attributes;
    attributes.tlength = bytesFor(QueueMs, spec);
    attributes.maxlength
        = extraBytes < 0 ? uint32_t(-1) : attributes.tlength + uint32_t(extraBytes);
    attributes.prebuf = uint32_t(m_frameBytes);
    attributes.minreq = bytesFor(QueueMs - AheadMs, spec);
    attributes.fragsize = uint32_t(-1);
    // Never muted by a volume the server remembers: the level is the program's.
    int flags = PA_STREAM_START_CORKED | PA_STREAM_START_UNMUTED;
    if (!sink.isEmpty())
        flags |= PA_STREAM_DONT_MOVE; // a chosen output is never replaced by another
    const pa_cvolume volume = volumeFor(level, m_format.channels);
    const QByteArray name = sink.toUtf8();
    if (pa_stream_connect_playback(stream, name.isEmpty() ? nullptr : name.constData(), &attributes,
                                   pa_stream_flags_t(flags), &volume, nullptr)
        < 0) {
        *error = QString::fromUtf8(pa_strerror(pa_context_errno(context)));
        pa_stream_unref(stream);
        return nullptr;
    }
    return stream;
}

bool PulseOutput::createStream(QString *error)
{
    m_stream = connectStream(m_format.sink, m_level, -1, error);
    if (!m_stream)
        return false;
    pa_stream_set_state_callback(m_stream, &PulseOutput::stateCallback, this);
    pa_stream_set_write_callback(m_stream, &PulseOutput::writeCallback, this);
    pa_stream_set_suspended_callback(m_stream, &PulseOutput::suspendedCallback, this);
    return true;
}

void PulseOutput::createMonitor()
{
    if (m_format.monitor.isEmpty() || !m_stream)
        return;
    m_monitorSink = m_format.monitor;
    QString error;
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, uint32_t(m_format.sampleRate),
                              uint8_t(m_format.channels)};
    m_monitor
        = connectStream(m_monitorSink, m_monitorLevel, int(bytesFor(MonitorSlackMs, spec)), &error);
    if (!m_monitor) {
        dropMonitor(QStringLiteral("The monitor output %1 cannot play: %2")
                        .arg(LogText::quoted(m_monitorSink), error));
        return;
    }
    pa_stream_set_state_callback(m_monitor, &PulseOutput::monitorStateCallback, this);
    // Written beyond what its queue holds: the monitor's sink does not keep up.
    pa_stream_set_overflow_callback(
        m_monitor,
        [](pa_stream *stream, void *self) {
            auto *output = static_cast<PulseOutput *>(self);
            if (stream == output->m_monitor)
                output->dropMonitor(QStringLiteral("The monitor output %1 does not keep up: "
                                                   "the message goes on without it")
                                        .arg(LogText::quoted(output->m_monitorSink)));
        },
        this);
}

void PulseOutput::dropMonitor(const QString &why)
{
    if (!why.isEmpty() && why != m_monitorSaid) {
        m_monitorSaid = why;
        qCWarning(lcSound).noquote() << why;
    }
    cancelMonitorEnd();
    m_monitorPlays = false;
    m_monitorJoining = false;
    m_monitorBacklog.clear();
    if (m_monitor)
        pa_stream_set_overflow_callback(m_monitor, nullptr, nullptr);
    PulseConnection::dropStream(m_monitor);
}

bool PulseOutput::startMonitor()
{
    // Never a second copy of the message on the transmitter's own sink.
    const char *sink = pa_stream_get_device_name(m_stream);
    const char *monitor = pa_stream_get_device_name(m_monitor);
    if (sink && monitor && std::strcmp(sink, monitor) == 0) {
        const QString why = QStringLiteral("The monitor output %1 is the transmitter's "
                                           "output: it stays silent")
                                .arg(LogText::quoted(m_monitorSink));
        if (why != m_monitorSaid) {
            m_monitorSaid = why;
            qCWarning(lcSound).noquote() << why;
        }
        return false;
    }
    unrefOperation(pa_stream_flush(m_monitor, nullptr, nullptr));
    applyLevel(m_monitor, m_monitorLevel);
    m_monitorPlays = true;
    return true;
}

void PulseOutput::joinMonitor()
{
    m_monitorJoining = false;
    const QByteArray backlog = std::exchange(m_monitorBacklog, QByteArray());
    if (!startMonitor())
        return;
    if (!backlog.isEmpty()
        && pa_stream_write(m_monitor, backlog.constData(), size_t(backlog.size()), nullptr, 0,
                           PA_SEEK_RELATIVE)
               < 0) {
        dropMonitor(
            QStringLiteral("The monitor output %1 went away").arg(LogText::quoted(m_monitorSink)));
        return;
    }
    unrefOperation(pa_stream_cork(m_monitor, 0, nullptr, nullptr));
    if (m_endWritten)
        drainMonitor();
}

void PulseOutput::drainMonitor()
{
    // It plays its copy out and then stands corked, as the transmitter's stream does: once the
    // sink has played what it holds too (corked earlier, the sink would drop that).
    cancelMonitorEnd();
    m_monitorDrain = pa_stream_drain(
        m_monitor,
        [](pa_stream *stream, int, void *self) {
            auto *output = static_cast<PulseOutput *>(self);
            unrefOperation(output->m_monitorDrain);
            output->m_monitorDrain = pa_stream_update_timing_info(
                stream,
                [](pa_stream *stream, int success, void *self) {
                    auto *output = static_cast<PulseOutput *>(self);
                    unrefOperation(output->m_monitorDrain);
                    output->m_monitorDrain = nullptr;
                    const pa_usec_t remaining = success ? stillHeld(stream) : 0;
                    output->m_monitorTimer = pa_context_rttime_new(
                        pa_stream_get_context(stream), pa_rtclock_now() + remaining,
                        [](pa_mainloop_api *api, pa_time_event *event, const struct timeval *,
                           void *self) {
                            auto *output = static_cast<PulseOutput *>(self);
                            api->time_free(event);
                            output->m_monitorTimer = nullptr;
                            unrefOperation(pa_stream_cork(output->m_monitor, 1, nullptr, nullptr));
                        },
                        output);
                },
                output);
        },
        this);
}

void PulseOutput::cancelMonitorEnd()
{
    cancelOperation(m_monitorDrain);
    if (m_monitorTimer) {
        pa_threaded_mainloop_get_api(m_connection.mainloop())->time_free(m_monitorTimer);
        m_monitorTimer = nullptr;
    }
}

pa_usec_t PulseOutput::stillHeld(pa_stream *stream)
{
    // What the sink held when the server answered (for a sink that forwards to another server,
    // what that one still holds too), and anything the stream still queued, less the time
    // since the answer. The sink's latency is taken whole: nothing of it has been heard yet.
    const pa_timing_info *timing = pa_stream_get_timing_info(stream);
    if (!timing)
        return 0;
    pa_usec_t held = timing->sink_usec;
    if (!timing->write_index_corrupt && !timing->read_index_corrupt
        && timing->write_index > timing->read_index)
        held += pa_bytes_to_usec(uint64_t(timing->write_index - timing->read_index),
                                 pa_stream_get_sample_spec(stream));
    const pa_usec_t age = pa_timeval_age(&timing->timestamp);
    return held > age ? held - age : 0;
}

void PulseOutput::askWhetherNetworkSink()
{
    // Known long before the message ends; the default sink may have changed since the last one.
    cancelOperation(m_sinkQuery);
    m_sinkQuery = pa_context_get_sink_info_by_index(
        pa_stream_get_context(m_stream), pa_stream_get_device_index(m_stream),
        [](pa_context *, const pa_sink_info *info, int eol, void *self) {
            auto *output = static_cast<PulseOutput *>(self);
            if (eol == 0 && info) {
                output->m_networkSink = (info->flags & PA_SINK_NETWORK) != 0;
                return;
            }
            unrefOperation(output->m_sinkQuery);
            output->m_sinkQuery = nullptr;
        },
        this);
}

void PulseOutput::cancelPending()
{
    cancelOperation(m_wakeOperation);
    if (m_restTimer) {
        pa_threaded_mainloop_get_api(m_connection.mainloop())->time_free(m_restTimer);
        m_restTimer = nullptr;
    }
    endWake(false, QStringLiteral("the sound output was wanted otherwise meanwhile"));
    cancelOperation(m_operation);
    cancelOperation(m_sinkQuery);
    cancelMonitorEnd();
    if (m_timer) {
        pa_threaded_mainloop_get_api(m_connection.mainloop())->time_free(m_timer);
        m_timer = nullptr;
    }
}

void PulseOutput::setLevels(float level, float monitorLevel)
{
    PulseConnection::Lock lock(m_connection);
    m_level = level;
    m_monitorLevel = monitorLevel;
    applyLevel(m_stream, m_level);
    applyLevel(m_monitor, m_monitorLevel);
}

void PulseOutput::applyLevel(pa_stream *stream, float level)
{
    if (!usable(stream) || pa_stream_get_state(stream) != PA_STREAM_READY)
        return; // a stream that is being made gets it when it connects
    const pa_cvolume volume = volumeFor(level, m_format.channels);
    unrefOperation(pa_context_set_sink_input_volume(
        pa_stream_get_context(stream), pa_stream_get_index(stream), &volume, nullptr, nullptr));
}

void PulseOutput::wake(Ready ready)
{
    PulseConnection::Lock lock(m_connection);
    if (m_phase == Phase::Waking) {
        endWake(false, QStringLiteral("asked again")); // the newer asking takes its place
    } else if (m_phase != Phase::Idle) {
        if (m_phase == Phase::Awake)
            armRest(); // awake already: it waits for this play now
        ready(true, QString()); // or it sounds
        return;
    }
    if (!usable(m_stream)) {
        // The server went away since the stream was made, and may be back.
        dropMonitor(QString());
        PulseConnection::dropStream(m_stream);
        QString error;
        if (!createStream(&error)) {
            ready(false, error);
            return;
        }
    }
    m_ready = std::move(ready);
    m_phase = Phase::Waking;
    if (pa_stream_get_state(m_stream) == PA_STREAM_READY)
        uncorkEmpty(); // else once the stream is ready
}

void PulseOutput::uncorkEmpty()
{
    // Nothing in it: with its prebuffer unfilled the stream sounds nothing, yet being uncorked it
    // keeps its sink awake, and the play's first frames sound as they arrive.
    m_uncorked = false;
    unrefOperation(pa_stream_flush(m_stream, nullptr, nullptr));
    applyLevel(m_stream, m_level);
    cancelOperation(m_wakeOperation);
    m_wakeOperation = pa_stream_cork(
        m_stream, 0,
        [](pa_stream *, int success, void *self) {
            auto *output = static_cast<PulseOutput *>(self);
            unrefOperation(output->m_wakeOperation);
            output->m_wakeOperation = nullptr;
            if (output->m_phase != Phase::Waking)
                return;
            if (!success) {
                output->m_phase = Phase::Idle;
                output->endWake(false, output->streamError());
                return;
            }
            output->m_uncorked = true;
            output->checkAwake();
        },
        this);
    if (!m_wakeOperation) {
        m_phase = Phase::Idle;
        endWake(false, streamError());
    }
}

void PulseOutput::checkAwake()
{
    // A sink that idled into suspend is resumed by the uncorked stream: the server says when.
    if (m_phase != Phase::Waking || !m_uncorked || pa_stream_is_suspended(m_stream) > 0)
        return;
    m_phase = Phase::Awake;
    armRest();
    endWake(true, QString());
}

void PulseOutput::armRest()
{
    if (m_restTimer) {
        pa_threaded_mainloop_get_api(m_connection.mainloop())->time_free(m_restTimer);
        m_restTimer = nullptr;
    }
    m_restTimer = pa_context_rttime_new(
        pa_stream_get_context(m_stream), pa_rtclock_now() + pa_usec_t(AwakeMs) * PA_USEC_PER_MSEC,
        [](pa_mainloop_api *api, pa_time_event *event, const struct timeval *, void *self) {
            auto *output = static_cast<PulseOutput *>(self);
            api->time_free(event);
            output->m_restTimer = nullptr;
            output->rest();
        },
        this);
}

void PulseOutput::endWake(bool ok, const QString &error)
{
    const Ready ready = std::move(m_ready);
    m_ready = nullptr;
    if (ready)
        ready(ok, error);
}

void PulseOutput::rest()
{
    // Woken for a play that never came: corked again, so that the sink may sleep.
    if (m_phase != Phase::Awake)
        return;
    m_phase = Phase::Idle;
    if (usable(m_stream))
        unrefOperation(pa_stream_cork(m_stream, 1, nullptr, nullptr));
}

void PulseOutput::start()
{
    PulseConnection::Lock lock(m_connection);
    cancelPending();
    if (!usable(m_stream)) {
        // The server went away since the stream was made, and may be back.
        dropMonitor(QString());
        PulseConnection::dropStream(m_stream);
        QString error;
        if (!createStream(&error)) {
            fail(error);
            return;
        }
    }
    if (m_monitor && !usable(m_monitor))
        dropMonitor(QString());
    if (!m_monitor)
        createMonitor(); // plays from the next message on, once the server has made it
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
    applyLevel(m_stream, m_level);
    askWhetherNetworkSink();

    // The monitor starts with it, from as empty a stream; one still being made joins later.
    m_monitorPlays = false;
    m_monitorJoining = false;
    m_monitorBacklog.clear();
    if (m_monitor && pa_stream_get_state(m_monitor) == PA_STREAM_READY)
        startMonitor();
    else if (m_monitor)
        m_monitorJoining = true;

    m_holdDrain = true;
    fill(pa_stream_get_buffer_attr(m_stream)->tlength);
    m_holdDrain = false;
    if (m_phase != Phase::Playing)
        return; // failed
    unrefOperation(pa_stream_cork(m_stream, 0, nullptr, nullptr));
    if (m_monitorPlays)
        unrefOperation(pa_stream_cork(m_monitor, 0, nullptr, nullptr));
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
            mirror(data, size_t(got) * m_frameBytes);
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

void PulseOutput::mirror(const void *data, size_t bytes)
{
    if (m_monitorJoining) {
        m_monitorBacklog.append(static_cast<const char *>(data), qsizetype(bytes));
        const pa_sample_spec *spec = pa_stream_get_sample_spec(m_stream);
        if (pa_bytes_to_usec(uint64_t(m_monitorBacklog.size()), spec)
            > pa_usec_t(QueueMs + MonitorSlackMs) * PA_USEC_PER_MSEC)
            dropMonitor(QStringLiteral("The monitor output %1 does not keep up: the message "
                                       "goes on without it")
                            .arg(LogText::quoted(m_monitorSink)));
        return;
    }
    if (!m_monitorPlays)
        return;
    // Copied: the transmitter's stream owns the frames.
    if (pa_stream_write(m_monitor, data, bytes, nullptr, 0, PA_SEEK_RELATIVE) < 0)
        dropMonitor(
            QStringLiteral("The monitor output %1 went away").arg(LogText::quoted(m_monitorSink)));
}

void PulseOutput::framesReady()
{
    PulseConnection::Lock lock(m_connection);
    if (m_phase == Phase::Playing && usable(m_stream))
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
    if (!m_operation) {
        fail(streamError());
        return;
    }
    if (m_monitorPlays)
        drainMonitor();
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
    pa_usec_t remaining = success ? stillHeld(m_stream) : 0;
    if (m_networkSink)
        remaining += remaining / 2 + pa_usec_t(NetworkMarginMs) * PA_USEC_PER_MSEC;
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
        const bool sounding = m_phase == Phase::Playing || m_phase == Phase::Draining;
        if (m_phase != Phase::Idle) {
            // Stopped: the monitor falls silent with it. (After the end has been heard, the
            // monitor plays its copy out: it may have started a moment later.)
            cancelPending();
            m_monitorJoining = false;
            m_monitorBacklog.clear();
            if (m_monitorPlays && usable(m_monitor)) {
                unrefOperation(pa_stream_cork(m_monitor, 1, nullptr, nullptr));
                unrefOperation(pa_stream_flush(m_monitor, nullptr, nullptr));
            }
            m_monitorPlays = false;
        }
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
    dropMonitor(QString());
    PulseConnection::dropStream(m_stream);
    m_format = {};
}

void PulseOutput::fail(const QString &error)
{
    cancelPending();
    m_phase = Phase::Idle;
    if (m_monitorPlays && usable(m_monitor))
        unrefOperation(pa_stream_cork(m_monitor, 1, nullptr, nullptr));
    m_monitorPlays = false;
    m_monitorJoining = false;
    m_monitorBacklog.clear();
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

QString PulseOutput::monitorError() const
{
    pa_context *context = pa_stream_get_context(m_monitor);
    if (!context || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        return QString(); // the transmitter's stream says it
    const int error = pa_context_errno(context);
    if (error == PA_ERR_NOENTITY)
        return QStringLiteral("The monitor output %1 is not available: messages play without "
                              "it")
            .arg(LogText::quoted(m_monitorSink));
    if (error == PA_ERR_KILLED)
        return QStringLiteral("The monitor output %1 went away: the message goes on without it")
            .arg(LogText::quoted(m_monitorSink));
    return QStringLiteral("The monitor output %1 cannot play: %2")
        .arg(LogText::quoted(m_monitorSink), QString::fromUtf8(pa_strerror(error)));
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

void PulseOutput::monitorStateCallback(pa_stream *stream, void *self)
{
    auto *output = static_cast<PulseOutput *>(self);
    if (stream != output->m_monitor)
        return;
    switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY:
        output->m_monitorSaid.clear(); // it works (again): its next trouble is said
        if (output->m_monitorJoining)
            output->joinMonitor();
        break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
        output->dropMonitor(output->monitorError());
        break;
    default:
        break;
    }
}

void PulseOutput::suspendedCallback(pa_stream *stream, void *self)
{
    auto *output = static_cast<PulseOutput *>(self);
    if (stream == output->m_stream)
        output->checkAwake();
}

// The server asks about every two seconds, once only AheadMs is left: what it asks for goes to it
// at once (what the ring holds; the rest as the decoder delivers it).
void PulseOutput::writeCallback(pa_stream *stream, size_t bytes, void *self)
{
    auto *output = static_cast<PulseOutput *>(self);
    if (stream == output->m_stream && output->m_phase == Phase::Playing)
        output->fill(bytes);
}
