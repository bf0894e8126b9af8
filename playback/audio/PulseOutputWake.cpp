// SPDX-License-Identifier: GPL-3.0-or-later
// The sound server's output made ready ahead of a play: its empty stream uncorked, so that the sink
// is awake when the play starts.

#include "playback/audio/PulseOutput.h"
#include "station/Log.h"

#include "playback/audio/PulseConnection.h"
#include "playback/audio/PulseStreams.h"

#include <QDebug>

#include <pulse/pulseaudio.h>

using namespace PulseStreams;

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
    if (const Result renewed = renewStream(); !renewed) {
        ready(false, renewed.error);
        return;
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
    unref(pa_stream_flush(m_stream, nullptr, nullptr));
    applyLevel(m_connection, m_stream, m_level, m_format.channels);
    cancel(m_wakeOperation);
    m_wakeOperation = pa_stream_cork(
        m_stream, 0,
        [](pa_stream *, int success, void *self) {
            auto *output = static_cast<PulseOutput *>(self);
            unref(output->m_wakeOperation);
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
    qCDebug(lcSound) << "Output: awake for the play";
    m_phase = Phase::Awake;
    armRest();
    endWake(true, QString());
}

void PulseOutput::suspendedCallback(pa_stream *stream, void *self)
{
    auto *output = static_cast<PulseOutput *>(self);
    if (stream == output->m_stream)
        output->checkAwake();
}

void PulseOutput::armRest()
{
    freeTimer(m_connection, m_restTimer);
    m_restTimer = startTimer<&PulseOutput::m_restTimer, &PulseOutput::rest>(
        m_stream, pa_usec_t(AwakeMs) * PA_USEC_PER_MSEC, this);
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
    qCDebug(lcSound) << "Output: rests, as no play came";
    m_phase = Phase::Idle;
    if (usable(m_connection, m_stream))
        unref(pa_stream_cork(m_stream, 1, nullptr, nullptr));
}
