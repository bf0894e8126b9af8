// SPDX-License-Identifier: GPL-3.0-or-later
// The end of a message on the sound server's output: the stream drained, and the end reported once
// the sink has played out what it still holds.

#include "playback/audio/PulseOutput.h"
#include "station/Log.h"

#include "playback/audio/PulseConnection.h"
#include "playback/audio/PulseStreams.h"

#include <QDebug>

#include <pulse/pulseaudio.h>

using namespace PulseStreams;

void PulseOutput::askWhetherNetworkSink()
{
    // Known long before the message ends; the default sink may have changed since the last one.
    cancel(m_sinkQuery);
    m_sinkQuery = pa_context_get_sink_info_by_index(
        pa_stream_get_context(m_stream), pa_stream_get_device_index(m_stream),
        [](pa_context *, const pa_sink_info *info, int eol, void *self) {
            auto *output = static_cast<PulseOutput *>(self);
            if (eol == 0 && info) {
                output->m_networkSink = (info->flags & PA_SINK_NETWORK) != 0;
                return;
            }
            unref(output->m_sinkQuery);
            output->m_sinkQuery = nullptr;
        },
        this);
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
    m_monitor.drain();
}

void PulseOutput::drained(bool success)
{
    unref(m_operation);
    m_operation = nullptr;
    if (m_phase != Phase::Draining)
        return;
    if (!success) {
        fail(streamError());
        return;
    }
    // The server has played the stream out; the sound card may still hold the end.
    qCDebug(lcSound) << "Output: the server has played the message out";
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
    unref(m_operation);
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
    m_timer = startTimer<&PulseOutput::m_timer, &PulseOutput::heard>(m_stream, remaining, this);
    if (!m_timer)
        heard();
}

void PulseOutput::heard()
{
    qCDebug(lcSound) << "Output: the message's last sample is heard";
    m_phase = Phase::Idle;
    unref(pa_stream_cork(m_stream, 1, nullptr, nullptr));
    m_feed.finished(false, QString());
}
