// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/PttKeyer.h"

#include <QObject>
#include <QString>
#include <functional>

class Station;
struct StationState;

// The station as the keyboard and other programs drive it, without widgets: the operator's own
// clicks (a memory, Lock, StdBy) go to the station's own handlers, so that an action taken here
// is the very action the mouse takes; the commands below are built on them.
//
// Memories are counted 1 to 6, as the operator counts them.
class StationRemote : public QObject
{
    Q_OBJECT
public:
    enum class PlayState {
        Idle,
        Playing, // a message plays (or waits for its keying)
        RepeatWait, // a message waits for its repeat
    };

    struct Status
    {
        PlayState state = PlayState::Idle;
        int memory = 0; // the memory last started, 0 before the first start
        // The transmitter is keyed as far as the keyer knows: it confirmed the keying, or a
        // release is not confirmed yet.
        bool onAir = false;
        bool lock = false;
        bool standby = false;
        PttKeyer::Link keyer = PttKeyer::Link::Ready;
        bool operator==(const Status &) const = default;
    };

    // `openRecorder` shows the recorder's dialog with a memory (1..6) chosen.
    StationRemote(Station &station, std::function<void(int)> openRecorder,
                  QObject *parent = nullptr);

    // A left click on memory `number` (1..6), on Lock, on StdBy.
    void clickMemory(int number);
    void clickLock();
    void clickStandby();
    // The refusal face, as for a request that cannot be done.
    void showRefusal();
    // The recorder's dialog, shown with memory `number` (1..6) chosen.
    void openRecorder(int number);
    Status status() const;

    // ---- The commands of the keys and of other programs.

    // As a left click on memory `number`: starts it when nothing plays, stops it when it is the
    // memory that plays or waits for its repeat. False, with the refusal face, when another
    // memory is busy or the number is not 1..6; false also when the click did not start the
    // memory (refused: its output is absent, the recorder records; or it failed at once), and
    // when it started without the transmitter because the keyer cannot key now.
    bool play(int number);
    // As a left click on the memory that plays or waits for its repeat; false, and nothing at
    // all, when nothing does.
    bool stop();
    // As a click on Lock or StdBy when the state differs; nothing otherwise.
    void setLock(bool on);
    void setStandby(bool on);

    // "idle", "playing", "repeat-wait".
    static QString stateName(PlayState state);
    // "ready", "not-connected", "no-answer".
    static QString linkName(PttKeyer::Link link);

signals:
    // The status changed; said at each change of the station that changed it (a start: the
    // message first, then the transmitter once the keyer has keyed it).
    void changed();

private:
    void stationChanged();

    Station &m_station;
    std::function<void(int)> m_openRecorder;
    Status m_said;
};
