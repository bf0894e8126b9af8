// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/StationRemote.h"

#include "station/Station.h"

namespace {
constexpr int FirstMemory = 1;
constexpr int LastMemory = 6;
} // namespace

StationRemote::StationRemote(Station &station, std::function<void(int)> openRecorder,
                             QObject *parent)
    : QObject(parent), m_station(station), m_openRecorder(std::move(openRecorder)), m_said(status())
{
    connect(&m_station, &Station::changed, this, &StationRemote::stationChanged);
}

void StationRemote::clickMemory(int number)
{
    if (number >= FirstMemory && number <= LastMemory)
        m_station.Command3d1_Click(number - 1);
}

void StationRemote::clickLock()
{
    m_station.Command3d2_Click();
}

void StationRemote::clickStandby()
{
    m_station.Command3d3_Click();
}

void StationRemote::showRefusal()
{
    m_station.ShowErr();
}

void StationRemote::openRecorder(int number)
{
    if (number >= FirstMemory && number <= LastMemory && m_openRecorder)
        m_openRecorder(number);
}

StationRemote::Status StationRemote::status() const
{
    const StationState &state = m_station.state();
    Status status;
    // The wait before a message's audio counts as playing: the message was started.
    if (state.stage == Stage::RepeatWait)
        status.state = PlayState::RepeatWait;
    else if (state.playing())
        status.state = PlayState::Playing;
    status.memory = state.memory >= 0 && state.memory < LastMemory ? state.memory + 1 : 0;
    status.onAir = state.transmitting;
    status.lock = state.lock;
    status.standby = state.standby;
    status.keyer = state.keyer;
    return status;
}

bool StationRemote::play(int number)
{
    if (number < FirstMemory || number > LastMemory) {
        showRefusal();
        return false;
    }
    const Status before = status();
    // The click decides, as it does for the mouse: a busy memory is stopped, another one is
    // refused with the refusal face, an idle station starts the memory.
    clickMemory(number);
    const Status after = status();
    if (before.state != PlayState::Idle)
        return before.memory == number && after.state == PlayState::Idle;
    const bool started = after.state != PlayState::Idle && after.memory == number;
    // Started, but without the transmitter it was meant to key: the answer says so.
    const bool keyable = after.standby || after.keyer == PttKeyer::Link::Ready;
    return started && keyable;
}

bool StationRemote::stop()
{
    const Status before = status();
    if (before.state == PlayState::Idle || before.memory < FirstMemory)
        return false;
    clickMemory(before.memory);
    return status().state == PlayState::Idle;
}

void StationRemote::setLock(bool on)
{
    if (status().lock != on)
        clickLock();
}

void StationRemote::setStandby(bool on)
{
    if (status().standby != on)
        clickStandby();
}

void StationRemote::stationChanged()
{
    const Status now = status();
    if (now == m_said)
        return;
    m_said = now;
    emit changed();
}

QString StationRemote::stateName(PlayState state)
{
    switch (state) {
    case PlayState::Playing:
        return QStringLiteral("playing");
    case PlayState::RepeatWait:
        return QStringLiteral("repeat-wait");
    case PlayState::Idle:
        break;
    }
    return QStringLiteral("idle");
}

QString StationRemote::linkName(PttKeyer::Link link)
{
    switch (link) {
    case PttKeyer::Link::NotConnected:
        return QStringLiteral("not-connected");
    case PttKeyer::Link::NoAnswer:
        return QStringLiteral("no-answer");
    case PttKeyer::Link::Ready:
        break;
    }
    return QStringLiteral("ready");
}
