#include "station/Keying.h"

#include "station/AppState.h"
#include "station/Controls.h"
#include "station/FormTimer.h"
#include "station/PttKeyer.h"
#include "station/Refusal.h"

namespace {
// The StdBy blink: 250 ms per face.
constexpr int BlinkInterval = 250;
// How long the end of the program waits for a keyer whose hardware does not answer.
constexpr int ShutdownWaitMs = 2000;
} // namespace

Keying::Keying(AppState &state, const Controls &controls, Refusal &refusal)
    : m_state(state), m_controls(controls), m_refusal(refusal)
{ }

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

void Keying::SendStat()
{
    if (m_shutDown)
        return;
    m_onAir = true;
    m_controls.Image1.show(true);
    if (!m_keyer)
        return;
    m_keyer->setOnAir(true);
    if (!m_keyer->isReady())
        m_refusal.ShowErr();
}

void Keying::RecStat()
{
    if (m_shutDown)
        return;
    m_onAir = false;
    m_controls.Image1.show(false);
    if (m_keyer)
        m_keyer->setOnAir(false);
}

bool Keying::messageOnAir() const
{
    return m_state.Player == PlayerState::Playing || m_state.Player == PlayerState::Lead;
}

void Keying::messageStarts()
{
    startAudio(false);
}

void Keying::messageRestarts()
{
    startAudio(true);
}

// Plays, then keys: a message whose audio cannot start (its file does not open, its output is
// absent) is not keyed even for a moment.
void Keying::startAudio(bool restart)
{
    const bool plays = m_playAudio && m_playAudio(restart);
    if (!m_state.StdByOn && plays)
        SendStat();
}

void Keying::messageStopped()
{
    if (!m_state.LockOn)
        RecStat();
}

void Keying::messageEnded(int)
{
    if (!m_state.LockOn)
        RecStat();
}

void Keying::Command3d2_Click()
{
    if (m_state.LockOn) {
        m_state.LockOn = false;
        m_controls.Command3d2.setFace(Face::Blue);
        RecStat();
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
}

void Keying::Timer2_Timer()
{
    if (!m_state.StdByOn)
        return;
    m_standbyGreen = !m_standbyGreen;
    m_controls.Command3d3.setFace(m_standbyGreen ? Face::Green : Face::Blue);
    m_controls.Command3d3.setTag(m_standbyGreen ? QStringLiteral("R") : QStringLiteral("B"));
}

void Keying::shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_onAir = false;
    if (m_keyer)
        m_keyer->shutdown(ShutdownWaitMs);
}
