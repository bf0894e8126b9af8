// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/Player.h"

#include "playback/MediaDevice.h"
#include "playback/Repeat.h"
#include "settings/TextRules.h"
#include "station/AppState.h"
#include "station/Controls.h"
#include "station/Keying.h"
#include "station/Refusal.h"

#include <QLocale>
#include <limits>

Player::Player(AppState &state, const Controls &controls, MediaDevice &MMControl1, Keying &keying,
               Repeat &repeat, Refusal &refusal)
    : m_state(state)
    , m_controls(controls)
    , m_device(MMControl1)
    , m_keying(keying)
    , m_repeat(repeat)
    , m_refusal(refusal)
{ }

bool Player::PlayMem(int memnum)
{
    m_state.PlayTime = 0;
    // Whatever file the device had open is closed first; a notification still pending for it
    // is dropped with it.
    m_device.setWait(true);
    m_device.setCommand(QStringLiteral("Close"));
    m_device.setWait(false);
    if (memnum < 0 || memnum >= int(m_state.MemFile.size()))
        return false;
    m_device.setFileName(m_state.MemFile[memnum]);
    m_device.setCommand(QStringLiteral("Open"));
    m_device.setTimeFormat(0);
    m_state.Player = PlayerState::Playing;
    return true;
}

bool Player::audioReady() const
{
    return m_device.Mode() != MediaDevice::NotReady;
}

bool Player::startAudio(bool restart)
{
    m_device.setUpdateInterval(50);
    if (restart) {
        // The open file plays again from its start; it is not reopened.
        m_device.setWait(false);
        m_device.setCommand(QStringLiteral("Prev"));
    }
    m_device.setCommand(QStringLiteral("Play"));
    m_state.Player = PlayerState::Playing;
    return m_device.Mode() == MediaDevice::Playing;
}

void Player::StopMem(int)
{
    m_device.setWait(true);
    m_device.setUpdateInterval(0);
    m_device.setCommand(QStringLiteral("Stop"));
    m_device.setCommand(QStringLiteral("Prev"));
    m_state.Player = PlayerState::Idle;
    m_controls.Gauge1.setValue(m_controls.Gauge1.minimum());
}

void Player::MMControl1_StatusUpdate()
{
    // The elapsed time is counted, not read from the device.
    m_state.PlayTime += 55;
    const qint32 length = m_device.Length();
    if (length <= 0)
        return; // nothing open: the bar and the caption stay as they are
    const double percentage = TextRules::roundHalfEven(m_state.PlayTime / length * 100);
    if (percentage > std::numeric_limits<qint16>::max())
        return; // far past the end: the bar and the caption stay as they are

    // Seconds with the operator's own decimal separator ("1,1" in German).
    m_controls.Panel3d1.setCaption(
        TextRules::formatOneDecimal(m_state.PlayTime / 1000, QLocale().decimalPoint()));
    const int maximum = m_controls.Gauge1.maximum();
    m_controls.Gauge1.setValue(maximum < percentage ? maximum : int(percentage));
}

void Player::MMControl1_Done(int NotifyCode)
{
    m_device.setWait(true);
    m_device.setUpdateInterval(0);
    if (m_device.Mode() != MediaDevice::Playing)
        m_device.setCommand(QStringLiteral("Prev"));
    m_device.setWait(false);

    // A file that failed to play does not repeat: a repeat would only key the transmitter
    // again and again with nothing to say.
    if (m_state.RepOn && NotifyCode != MediaDevice::Failure) {
        m_repeat.arm();
        m_device.setCommand(QStringLiteral("Back"));
        // A message waits for its repeat; a play of the transport bar's own leaves it idle.
        if (m_state.Player != PlayerState::Idle)
            m_state.Player = PlayerState::RepeatWait;
    } else {
        m_repeat.disarm();
        m_state.Player = PlayerState::Idle;
        if (m_state.CurMem == -1 || NotifyCode == MediaDevice::Failure)
            m_refusal.ShowErr();
        if (m_state.CurMem != -1)
            m_controls.Command3d1.at(m_state.CurMem)->setFace(Face::Green);
        m_controls.Panel3d1.setFace(Face::Blue);
    }
    m_keying.messageEnded(NotifyCode);
    m_repeat.RepReset();
    m_controls.Gauge1.setValue(0);
}

void Player::MMControl1_PlayClick(bool &Cancel)
{
    // Nothing plays into the transmitter's input while the recorder records.
    if (m_state.Recording) {
        Cancel = true;
        m_refusal.ShowErr();
        return;
    }
    m_state.PlayTime = 0;
    m_device.setUpdateInterval(50);
}

void Player::MMControl1_PrevClick(bool &)
{
    m_device.setUpdateInterval(0);
    m_device.setCommand(QStringLiteral("Prev"));
}

void Player::MMControl1_StopClick(bool &)
{
    m_device.setUpdateInterval(0);
    m_device.setWait(true);
    m_device.setCommand(QStringLiteral("Stop"));
    m_device.setCommand(QStringLiteral("Prev"));
    m_device.setWait(false);
}
