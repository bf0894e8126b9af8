// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/Answer.h"
#include "station/PttKeyer.h"
#include "station/StationEvents.h"
#include "station/StationState.h"

#include <QObject>
#include <QString>
#include <functional>

class Clock;
class RadioPair;
class StationDoor;
struct StationState;

// The station as the keyboard and other programs drive it, without widgets: each command is the
// event the mouse's click sends (a memory, Lock, StdBy), so that an action taken here is the very
// action the mouse takes, and answers from the station's answer.
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
        // The message last started: what it is, how it ended.
        MessageKind kind = MessageKind::Memory;
        Ending ending = Ending::None;
        // When it plays again while it waits for its repeat (the station's clock); 0 when none
        // is due.
        qint64 repeatDueAt = 0;
        // The radios: the one with the focus, the one of the message last started or on the
        // air, and how many there are.
        int focus = 1;
        int radio = 1;
        int radios = 1;
        bool operator==(const Status &) const = default;
    };

    // `openRecorder` shows the recorder's dialog with a memory (1..6) chosen; `clock` is the
    // station's.
    StationRemote(StationDoor &station, Clock &clock, std::function<void(int)> openRecorder,
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
    // `radio` (1 or 2): on that radio rather than as the pair routes it; false for a radio that
    // is not there (0: as the pair routes it).
    bool play(int number, int radio = 0);
    // A sound file (WAV or MIDI) or a built text's file as a message; see Station::playMessage.
    // False, with the refusal face, when another message is busy, the recorder records, the file
    // is not a regular file that can be read (checked before it is opened: a named pipe or a
    // device is never opened) or cannot be played; false also when it started without the
    // transmitter because the keyer cannot key now. A file that is refused before the station
    // sees it is said in one line on standard error.
    bool playFile(const QString &path, MessageKind kind = MessageKind::File, int radio = 0);
    // The radios, when there is a pair of them (null: one radio, the station's).
    void setRadios(RadioPair *radios);
    // Gives the focus to `radio`; false for a radio that is not there.
    bool setFocus(int radio);
    // As a left click on the memory that plays or waits for its repeat, or Esc for another
    // message; false, and nothing at all, when nothing plays.
    bool stop();
    // The milliseconds until the message that waits for its repeat plays again; 0 when none is
    // due.
    int repeatDue() const;
    // As a click on Lock or StdBy when the state differs; nothing otherwise.
    void setLock(bool on);
    void setStandby(bool on);

    // "idle", "playing", "repeat-wait".
    static QString stateName(PlayState state);
    // "ready", "not-connected", "no-answer", "keyed-elsewhere".
    static QString linkName(PttKeyer::Link link);
    // "none", "ended", "stopped", "failed".
    static QString endingName(Ending ending);

signals:
    // The status changed; said at each change of the station that changed it (a start: the
    // message first, then the transmitter once the keyer has keyed it).
    void changed();

private:
    void stationChanged();
    Answer on(int radio, const StationEvents::Event &event);

    StationDoor &m_station;
    RadioPair *m_radios = nullptr;
    Clock &m_clock;
    std::function<void(int)> m_openRecorder;
    Status m_said;
};
