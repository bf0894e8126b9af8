// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/Keying.h"

#include "station/AppState.h"
#include "station/Controls.h"
#include "station/Log.h"
#include "station/Refusal.h"

namespace {
// The StdBy blink and the Lock button's time-out warning: 250 ms per face.
constexpr int BlinkInterval = 250;
// The time-out's warning: its last 15 seconds, for time-outs of 30 seconds or more.
constexpr int WarningSeconds = 15;
constexpr int WarnedTimeoutSeconds = 30;
// How long the end of the program waits for a keyer whose hardware does not answer.
constexpr int ShutdownWaitMs = 2000;
// Done's code for a play heard to its end (MediaDevice::Successful).
constexpr int PlayedToTheEnd = 1;

void arm(FormTimer &timer, int milliseconds)
{
    timer.setInterval(milliseconds);
    timer.setEnabled(true);
}

void disarm(FormTimer &timer)
{
    timer.setEnabled(false);
}
} // namespace

Keying::Keying(AppState &state, const Controls &controls, Refusal &refusal)
    : m_state(state), m_controls(controls), m_refusal(refusal)
{
    for (FormTimer *timer : {&m_lead, &m_tail, &m_timeout, &m_lockBlink})
        disarm(*timer);
    QObject::connect(&m_lead, &FormTimer::Timer, &m_lead, [this] { endLead(); });
    QObject::connect(&m_tail, &FormTimer::Timer, &m_tail, [this] { endTail(); });
    QObject::connect(&m_timeout, &FormTimer::Timer, &m_timeout, [this] { timeoutTick(); });
    QObject::connect(&m_lockBlink, &FormTimer::Timer, &m_lockBlink, [this] { lockBlinkTick(); });
}

void Keying::setKeyer(PttKeyer *keyer)
{
    if (keyer == m_keyer)
        return;
    if (m_keyer && m_onAir)
        m_keyer->setOnAir(false);
    m_keyer = keyer;
    if (m_keyer && m_onAir && !m_shutDown)
        m_keyer->setOnAir(true);
}

// ---- On air and receive ----------------------------------------------------------------------

void Keying::SendStat()
{
    if (m_shutDown)
        return;
    // Keyed on purpose now: a tail that ran ends here.
    disarm(m_tail);
    const bool wasOnAir = m_onAir;
    m_onAir = true;
    m_controls.Image1.show(true);
    if (m_keyer) {
        m_keyer->setOnAir(true);
        if (!m_keyer->isReady())
            m_refusal.ShowErr();
    }
    if (!wasOnAir)
        startTimeout();
}

void Keying::RecStat()
{
    if (m_shutDown)
        return;
    disarm(m_tail);
    const bool wasOnAir = m_onAir;
    m_onAir = false;
    m_controls.Image1.show(false);
    if (m_keyer)
        m_keyer->setOnAir(false);
    if (wasOnAir)
        stopTimeout();
}

// ---- The messages ----------------------------------------------------------------------------

bool Keying::messageOnAir() const
{
    return m_state.Player == PlayerState::Playing || m_state.Player == PlayerState::Lead;
}

void Keying::messageStarts()
{
    start(false);
}

void Keying::messageRestarts()
{
    start(true);
}

void Keying::start(bool restart)
{
    // From released to keyed, with a file that can play: the transmitter first, the audio after
    // the lead.
    const bool ready = m_messages.ready && m_messages.ready();
    if (m_state.LeadMs > 0 && !m_state.StdByOn && !m_onAir && ready && !m_shutDown) {
        m_state.Player = PlayerState::Lead;
        m_leadRestart = restart;
        SendStat();
        arm(m_lead, m_state.LeadMs);
        return;
    }
    startAudio(restart);
}

// Plays, then keys: a message whose audio cannot start (its file does not open, its output is
// absent) is not keyed even for a moment; a tail that runs then releases as it would have.
void Keying::startAudio(bool restart)
{
    const bool plays = m_messages.play && m_messages.play(restart);
    if (!m_state.StdByOn && plays)
        SendStat();
}

// The lead is over (or no longer needed): the audio starts. A play that cannot start now
// reports its failure, which releases.
void Keying::endLead()
{
    disarm(m_lead);
    if (m_state.Player != PlayerState::Lead)
        return;
    if (m_messages.play)
        m_messages.play(m_leadRestart);
}

void Keying::messageStopped()
{
    disarm(m_lead);
    if (!m_state.LockOn)
        RecStat();
}

void Keying::messageEnded(int NotifyCode)
{
    disarm(m_lead);
    if (m_state.LockOn)
        return;
    // Heard to its last sample: the transmitter hangs on for the tail (a new one, if a tail ran).
    if (NotifyCode == PlayedToTheEnd && m_state.TailMs > 0 && m_onAir && !m_shutDown) {
        arm(m_tail, m_state.TailMs);
        return;
    }
    RecStat();
}

void Keying::endTail()
{
    disarm(m_tail);
    RecStat();
}

// ---- Lock and standby ------------------------------------------------------------------------

void Keying::Command3d2_Click()
{
    if (m_state.LockOn) {
        m_state.LockOn = false;
        m_controls.Command3d2.setFace(Face::Blue);
        RecStat();
        // A message in its lead plays on without the transmitter: its audio need not wait.
        if (leadRuns())
            endLead();
        return;
    }
    m_state.LockOn = true;
    m_controls.Command3d2.setFace(Face::Red);
    if (!m_state.StdByOn)
        SendStat();
}

void Keying::Command3d3_Click()
{
    FaceButton &standby = m_controls.Command3d3;
    if (m_state.StdByOn) {
        m_state.StdByOn = false;
        m_controls.Timer2.setInterval(0);
        m_standbyGreen = false;
        standby.setFace(Face::Blue);
        standby.setTag(QStringLiteral("B"));
        if (messageOnAir() || m_state.LockOn)
            SendStat();
        return;
    }
    m_controls.Timer2.setInterval(BlinkInterval);
    m_state.StdByOn = true;
    m_standbyGreen = true;
    standby.setFace(Face::Green);
    standby.setTag(QStringLiteral("R"));
    RecStat();
    // Under standby a message plays without the transmitter: its audio need not wait.
    if (leadRuns())
        endLead();
}

void Keying::Timer2_Timer()
{
    if (!m_state.StdByOn)
        return;
    m_standbyGreen = !m_standbyGreen;
    m_controls.Command3d3.setFace(m_standbyGreen ? Face::Green : Face::Blue);
    m_controls.Command3d3.setTag(m_standbyGreen ? QStringLiteral("R") : QStringLiteral("B"));
}

// ---- The time-out ----------------------------------------------------------------------------

// The transmitter went from released to keyed: the count begins.
void Keying::startTimeout()
{
    m_timeoutSeconds = m_state.TimeoutS;
    m_warning = false;
    if (m_timeoutSeconds <= 0)
        return;
    const bool warned = m_timeoutSeconds >= WarnedTimeoutSeconds;
    arm(m_timeout, (m_timeoutSeconds - (warned ? WarningSeconds : 0)) * 1000);
}

// The transmitter was released: the count is over, and so is the warning.
void Keying::stopTimeout()
{
    disarm(m_timeout);
    if (!m_warning)
        return;
    m_warning = false;
    disarm(m_lockBlink);
    showLockFace();
}

void Keying::timeoutTick()
{
    disarm(m_timeout);
    if (!m_warning && m_timeoutSeconds >= WarnedTimeoutSeconds) {
        // The last seconds: the Lock button blinks, starting with the face it does not show.
        m_warning = true;
        arm(m_timeout, WarningSeconds * 1000);
        m_lockBlinkRed = !m_state.LockOn;
        showLockFace();
        arm(m_lockBlink, BlinkInterval);
        return;
    }

    // Time is up: everything ends as the operator would end it.
    if (m_state.Playing() && m_messages.stop)
        m_messages.stop();
    if (m_state.LockOn) {
        m_state.LockOn = false;
        m_controls.Command3d2.setFace(Face::Blue);
    }
    if (m_onAir)
        RecStat();
    stopTimeout();
    m_refusal.ShowErr();
    qCWarning(lcVocta).noquote()
        << QStringLiteral("the transmitter was keyed for %1 s without a break: released (time-out)")
               .arg(m_timeoutSeconds);
}

void Keying::lockBlinkTick()
{
    if (!m_warning) {
        disarm(m_lockBlink);
        return;
    }
    m_lockBlinkRed = !m_lockBlinkRed;
    showLockFace();
}

// The Lock button's face: blinking during the warning, else red while Lock is engaged.
void Keying::showLockFace()
{
    const bool red = m_warning ? m_lockBlinkRed : m_state.LockOn;
    m_controls.Command3d2.setFace(red ? Face::Red : Face::Blue);
}

// ---- The end ---------------------------------------------------------------------------------

void Keying::shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_onAir = false;
    for (FormTimer *timer : {&m_lead, &m_tail, &m_timeout, &m_lockBlink})
        disarm(*timer);
    if (m_keyer)
        m_keyer->shutdown(ShutdownWaitMs);
}
