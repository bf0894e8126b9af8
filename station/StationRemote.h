// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

// The station as the keyboard and other programs drive it, without widgets: the operator's own
// clicks (a memory, Lock, StdBy), the refusal face, the recorder's dialog, and what the station
// is doing now. The station implements the first part over its own handlers, so that an action
// taken here is the very action the mouse takes; the commands below are built on them.
//
// Memories are counted 1 to 6, as the operator counts them.
class StationRemote : public QObject
{
    Q_OBJECT
public:
    enum class PlayState {
        Idle,
        Playing, // a message plays
        RepeatWait, // a message waits for its repeat
    };

    struct Status
    {
        PlayState state = PlayState::Idle;
        int memory = 0; // the memory last started, 0 before the first start
        bool onAir = false; // the station keys the transmitter
        bool lock = false;
        bool standby = false;
        bool operator==(const Status &) const = default;
    };

    using QObject::QObject;

    // ---- What the station provides.

    // A left click on memory `number` (1..6).
    virtual void clickMemory(int number) = 0;
    virtual void clickLock() = 0;
    virtual void clickStandby() = 0;
    // The refusal face, as for a request that cannot be done.
    virtual void showRefusal() = 0;
    // The recorder's dialog, shown with memory `number` (1..6) chosen.
    virtual void openRecorder(int number) = 0;
    virtual Status status() const = 0;

    // ---- The commands of the keys and of other programs.

    // As a left click on memory `number`: starts it when nothing plays, stops it when it is the
    // memory that plays or waits for its repeat. False, with the refusal face, when another
    // memory is busy, when the number is not 1..6, or when the click did not start the memory.
    bool play(int number);
    // As a left click on the memory that plays or waits for its repeat; false, and nothing at
    // all, when nothing does.
    bool stop();
    // As a click on Lock or StdBy when the state differs; nothing otherwise.
    void setLock(bool on);
    void setStandby(bool on);

    // "idle", "playing", "repeat-wait".
    static QString stateName(PlayState state);

signals:
    // The status changed; said once for each event that changed it.
    void changed();
};
