// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/StationRemote.h"

namespace {
constexpr int FirstMemory = 1;
constexpr int LastMemory = 6;
} // namespace

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
    return after.state != PlayState::Idle && after.memory == number;
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
