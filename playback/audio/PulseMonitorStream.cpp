// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/PulseMonitorStream.h"
#include "station/Log.h"

#include "playback/audio/PulseConnection.h"
#include "playback/audio/PulseStreams.h"
#include "station/LogText.h"

#include <QDebug>

#include <pulse/pulseaudio.h>

#include <cstring>
#include <utility>

using namespace PulseStreams;

namespace {

QString notKeepingUp(const QString &sink)
{
    return QStringLiteral("The monitor output %1 does not keep up: the message goes on without it")
        .arg(LogText::quoted(sink));
}

QString wentAway(const QString &sink)
{
    return QStringLiteral("The monitor output %1 went away").arg(LogText::quoted(sink));
}

} // namespace

PulseMonitorStream::PulseMonitorStream(PulseConnection &connection) : m_connection(connection) { }

void PulseMonitorStream::open(const SoundOutput::Format &format)
{
    if (m_stream && m_sink != format.monitor)
        drop(QString());
    if (m_sink != format.monitor)
        m_said.clear(); // another choice: its troubles are said anew
    m_sink = format.monitor;
    m_format = format;
    renew();
}

void PulseMonitorStream::renew()
{
    if (m_stream && !usable(m_connection, m_stream))
        drop(QString());
    if (m_stream || m_sink.isEmpty())
        return;
    const ResultOf<pa_stream *> made = connect(m_connection, m_format, m_sink, m_level,
                                               int(bytesFor(SlackMs, sampleFormat(m_format))));
    m_stream = made.value;
    if (!made) {
        drop(QStringLiteral("The monitor output %1 cannot play: %2")
                 .arg(LogText::quoted(m_sink), made.error));
        return;
    }
    qCDebug(lcSound).noquote() << "Monitor: makes its stream on" << LogText::quoted(m_sink);
    pa_stream_set_state_callback(m_stream, &PulseMonitorStream::stateCallback, this);
    // Written beyond what its queue holds: the monitor's sink does not keep up.
    pa_stream_set_overflow_callback(m_stream, &PulseMonitorStream::overflowCallback, this);
}

void PulseMonitorStream::say(const QString &why)
{
    if (why.isEmpty() || why == m_said)
        return;
    m_said = why;
    qCWarning(lcSound).noquote() << why;
}

void PulseMonitorStream::drop(const QString &why)
{
    say(why);
    cancelEnd();
    m_plays = false;
    m_joining = false;
    m_drainWhenJoined = false;
    m_backlog.clear();
    m_transmitter = nullptr;
    if (m_stream)
        pa_stream_set_overflow_callback(m_stream, nullptr, nullptr);
    PulseConnection::dropStream(m_stream);
}

void PulseMonitorStream::begin(pa_stream *transmitter)
{
    m_transmitter = transmitter;
    m_plays = false;
    m_joining = false;
    m_drainWhenJoined = false;
    m_backlog.clear();
    if (m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY)
        start();
    else if (m_stream)
        m_joining = true;
}

bool PulseMonitorStream::start()
{
    // Never a second copy of the message on the transmitter's own sink.
    const char *sink = pa_stream_get_device_name(m_transmitter);
    const char *monitor = pa_stream_get_device_name(m_stream);
    if (sink && monitor && std::strcmp(sink, monitor) == 0) {
        say(QStringLiteral("The monitor output %1 is the transmitter's output: it stays silent")
                .arg(LogText::quoted(m_sink)));
        return false;
    }
    unref(pa_stream_flush(m_stream, nullptr, nullptr));
    applyLevel(m_connection, m_stream, m_level, m_format.channels);
    m_plays = true;
    return true;
}

void PulseMonitorStream::join()
{
    m_joining = false;
    const QByteArray backlog = std::exchange(m_backlog, QByteArray());
    if (!start())
        return;
    qCDebug(lcSound) << "Monitor: joins the message with" << backlog.size() << "bytes";
    if (!backlog.isEmpty()
        && pa_stream_write(m_stream, backlog.constData(), size_t(backlog.size()), nullptr, 0,
                           PA_SEEK_RELATIVE)
               < 0) {
        drop(wentAway(m_sink));
        return;
    }
    uncork();
    if (std::exchange(m_drainWhenJoined, false))
        drain();
}

void PulseMonitorStream::uncork()
{
    if (m_plays)
        unref(pa_stream_cork(m_stream, 0, nullptr, nullptr));
}

void PulseMonitorStream::mirror(const void *data, std::size_t bytes)
{
    if (m_joining) {
        m_backlog.append(static_cast<const char *>(data), qsizetype(bytes));
        const pa_sample_spec spec = sampleFormat(m_format);
        if (pa_bytes_to_usec(uint64_t(m_backlog.size()), &spec)
            > pa_usec_t(QueueMs + SlackMs) * PA_USEC_PER_MSEC)
            drop(notKeepingUp(m_sink));
        return;
    }
    if (!m_plays)
        return;
    // Copied: the transmitter's stream owns the frames.
    if (pa_stream_write(m_stream, data, bytes, nullptr, 0, PA_SEEK_RELATIVE) < 0)
        drop(wentAway(m_sink));
}

void PulseMonitorStream::drain()
{
    if (m_joining) {
        m_drainWhenJoined = true;
        return;
    }
    if (!m_plays)
        return;
    // It plays its copy out and then stands corked, as the transmitter's stream does: once the
    // sink has played what it holds too (corked earlier, the sink would drop that).
    cancelEnd();
    m_drain = pa_stream_drain(
        m_stream,
        [](pa_stream *, int, void *self) { static_cast<PulseMonitorStream *>(self)->drained(); },
        this);
}

void PulseMonitorStream::drained()
{
    unref(m_drain);
    m_drain = pa_stream_update_timing_info(
        m_stream,
        [](pa_stream *, int success, void *self) {
            static_cast<PulseMonitorStream *>(self)->timingKnown(success != 0);
        },
        this);
}

void PulseMonitorStream::timingKnown(bool success)
{
    unref(m_drain);
    m_drain = nullptr;
    const pa_usec_t remaining = success ? stillHeld(m_stream) : 0;
    m_timer = startTimer<&PulseMonitorStream::m_timer, &PulseMonitorStream::corkAfterEnd>(
        m_stream, remaining, this);
}

void PulseMonitorStream::corkAfterEnd()
{
    unref(pa_stream_cork(m_stream, 1, nullptr, nullptr));
}

void PulseMonitorStream::cancelEnd()
{
    cancel(m_drain);
    freeTimer(m_connection, m_timer);
}

void PulseMonitorStream::stop(bool flush)
{
    m_joining = false;
    m_backlog.clear();
    if (m_plays && usable(m_connection, m_stream)) {
        unref(pa_stream_cork(m_stream, 1, nullptr, nullptr));
        if (flush)
            unref(pa_stream_flush(m_stream, nullptr, nullptr));
    }
    m_plays = false;
}

void PulseMonitorStream::setLevel(float level)
{
    m_level = level;
    applyLevel(m_connection, m_stream, m_level, m_format.channels);
}

QString PulseMonitorStream::error() const
{
    pa_context *context = pa_stream_get_context(m_stream);
    if (!context || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        return QString(); // the transmitter's stream says it
    const int error = pa_context_errno(context);
    if (error == PA_ERR_NOENTITY)
        return QStringLiteral("The monitor output %1 is not available: messages play without it")
            .arg(LogText::quoted(m_sink));
    if (error == PA_ERR_KILLED)
        return QStringLiteral("The monitor output %1 went away: the message goes on without it")
            .arg(LogText::quoted(m_sink));
    return QStringLiteral("The monitor output %1 cannot play: %2")
        .arg(LogText::quoted(m_sink), QString::fromUtf8(pa_strerror(error)));
}

void PulseMonitorStream::stateCallback(pa_stream *stream, void *self)
{
    auto *monitor = static_cast<PulseMonitorStream *>(self);
    if (stream != monitor->m_stream)
        return;
    switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY:
        qCDebug(lcSound).noquote()
            << "Monitor: its stream on" << LogText::quoted(monitor->m_sink) << "is ready";
        monitor->m_said.clear(); // it works (again): its next trouble is said
        if (monitor->m_joining)
            monitor->join();
        break;
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED:
        qCDebug(lcSound).noquote()
            << "Monitor: its stream on" << LogText::quoted(monitor->m_sink) << "ended";
        monitor->drop(monitor->error());
        break;
    default:
        break;
    }
}

void PulseMonitorStream::overflowCallback(pa_stream *stream, void *self)
{
    auto *monitor = static_cast<PulseMonitorStream *>(self);
    if (stream == monitor->m_stream)
        monitor->drop(notKeepingUp(monitor->m_sink));
}
