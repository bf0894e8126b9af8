// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/VoiceVoctaRemote.h"

#include "playback/MemoryBank.h"
#include "station/AppState.h"
#include "station/Keying.h"
#include "station/Refusal.h"
#include "ui/RecordSetHandler.h"

namespace {
constexpr int MemoryCount = 6;
}

VoiceVoctaRemote::VoiceVoctaRemote(const Handlers &handlers, QObject *parent)
    : StationRemote(parent), m_handlers(handlers), m_said(status())
{ }

void VoiceVoctaRemote::clickMemory(int number)
{
    if (number < 1 || number > MemoryCount)
        return;
    m_handlers.bank.Command3d1_Click(number - 1);
    notify();
}

void VoiceVoctaRemote::clickLock()
{
    m_handlers.keying.Command3d2_Click();
    notify();
}

void VoiceVoctaRemote::clickStandby()
{
    m_handlers.keying.Command3d3_Click();
    notify();
}

void VoiceVoctaRemote::showRefusal()
{
    m_handlers.refusal.ShowErr();
}

void VoiceVoctaRemote::openRecorder(int number)
{
    if (number < 1 || number > MemoryCount)
        return;
    m_handlers.recordSet.openFor(number);
}

StationRemote::Status VoiceVoctaRemote::status() const
{
    const AppState &state = m_handlers.state;
    Status status;
    // The lead before a message's audio counts as playing: the message was started and keys.
    if (state.Player == PlayerState::RepeatWait)
        status.state = PlayState::RepeatWait;
    else if (state.Player != PlayerState::Idle)
        status.state = PlayState::Playing;
    status.memory = state.CurMem >= 0 && state.CurMem < MemoryCount ? state.CurMem + 1 : 0;
    status.onAir = m_handlers.keying.onAir();
    status.lock = state.LockOn;
    status.standby = state.StdByOn;
    return status;
}

void VoiceVoctaRemote::notify()
{
    const Status now = status();
    if (now == m_said)
        return;
    m_said = now;
    emit changed();
}
