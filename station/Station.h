// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/Answer.h"
#include "station/KeyingGate.h"
#include "station/SoundPlayer.h"
#include "station/StationDoor.h"
#include "station/StationEvents.h"
#include "station/StationState.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class SettingsBook;
struct AppState;
class Clock;
class LineUse;
class PttKeyer;
class SourceMute;
class Timer;

// What a message plays: a sound file, and the memory (0..5) it was started from (-1: none).
struct Message
{
    QString path;
    int memory = -1;
    MessageKind kind = MessageKind::Memory;
};

// The station: the whole life cycle of a message and the keying of the transmitter, without
// widgets. Every event (the operator's clicks, the sound player's notices, the keyer's
// confirmations, its own timers' ticks) goes through one transition function; it is the one
// writer of StationState and says each change with changed().
//
// The rules:
//   A left click on a memory starts it while nothing plays, stops it when it is the one that
//   plays or waits for its repeat, and is refused (the refusal face) while another one is busy
//   or the recorder records. A start whose output is absent is refused and changes nothing; a
//   file that cannot be opened ends at once as a failed message.
//   A message's start and a repeat's restart key unless standby; the operator's stop and the
//   end of a message release unless Lock. Lock engaged keys unless standby, Lock released
//   releases; standby engaged releases, standby released keys again under Lock or while a
//   message is on the air (not in the wait before its repeat).
//   No sample of a message goes out before the transmitter is keyed: the output is prepared,
//   the transmitter keyed, and the audio starts once the keying is done (a keyer that confirms
//   at once) or confirmed (a rig that answers), and LeadMs after that when the start took the
//   transmitter from released to keyed. A confirmation that does not come within the keyer's
//   time-out stops the message as a failed keying. Under standby, or already keyed and
//   confirmed (Lock, a tail), the audio starts at once; a keyer that cannot key now does not
//   hold the message up (it plays, with the refusal face).
//   The end of a message heard to its last sample releases TailMs later; in the wait before a
//   repeat at the latest half-way through the delay, so that the pause stays a pause. Every
//   other release comes at once.
//   Keyed without a break for TimeoutS seconds, the message stops as the operator's click stops
//   it, Lock is released, the transmitter released and the refusal face shown; a warning runs
//   for the last 15 seconds of time-outs of 30 seconds or more.
class Station : public StationDoor
{
    Q_OBJECT
public:
    // `settings` holds the memories' files, repeat flags and delays and the lead, tail and
    // time-out; the station reads them when it needs them and writes the repeat flags and the
    // stored delays.
    Station(SettingsBook &settings, SoundPlayer &player, Clock &clock, QObject *parent = nullptr);
    ~Station() override;

    // The station's one way in: applies `event` and every event it gave rise to, and answers.
    // An event handed in while another is applied (from a listener of changed(), or a seam that
    // answers at once) waits for its turn, and is answered Queued.
    Answer handle(const Event &event) override;
    const StationState &state() const override { return m_state; }

    // ---- The seams.

    // The keyer that carries the requests out (null: only the picture changes). A keyer that is
    // replaced is released first; the new one takes the present state.
    void setKeyer(PttKeyer *keyer);
    // The serial lines that the COM dialog changes, whichever keyer keys.
    void setLineUse(LineUse *lines) { m_lineUse = lines; }
    // The microphone muted while the transmitter is keyed for a message (null: none). A message's
    // keying waits for its mute to be settled, at most MuteWaitMs.
    void setSourceMute(SourceMute *mute);
    static constexpr int MuteWaitMs = 250;
    // Whether the window shows `next` as it shows `shown` (they differ only in the elapsed time).
    // The status reports that would change nothing on screen are counted without waking for
    // them, and said with the first one that does; without it every report is said.
    using SameOnScreen = std::function<bool(const StationState &shown, const StationState &next)>;
    void setSameOnScreen(SameOnScreen same) { m_sameOnScreen = std::move(same); }
    // What beyond this radio may hold its transmitter back (the other radio, other stations), each
    // asked in turn;
    // asked before each request that would key it. A message held back with `wait` stays in its
    // lead until GateOpened; else it is refused. Lock is refused either way (unless the gate
    // says lockWaits: Lock then keys at GateOpened); a repeat waits.
    void addKeyingGate(KeyingGate gate) override { m_gates.push_back(std::move(gate)); }
    // Lock is engaged and waits for a gate to open before it keys.
    bool lockWaiting() const { return m_lockWaits; }
    // Two radios taking turns: when a memory's repeat is due, `handOff(memory)` starts it on the
    // other radio and answers whether it did; this radio's cycle then ends (none: it repeats here).
    void setRepeatHandOff(std::function<bool(int memory)> handOff)
    {
        m_handOff = std::move(handOff);
    }

private:
    // What the audio of a message in its lead waits for.
    enum class Await { Nothing, Output, Mute, Keying, LeadTime, Gate };

    // The transition function: applies the event, then every event it gave rise to, each
    // followed by changed() when the state changed and by the keying requests it made.
    Answer apply(const Event &event);
    void transition(const Event &event);
    void post(const Event &event) { m_queue.push_back(event); }
    void settle();
    void say();

    // ---- Messages (StationMessage.cpp), and the smaller events (Station.cpp)
    void on(const StationEvents::StartUp &);
    void on(const StationEvents::MemoryClick &event);
    void on(const StationEvents::MessageStart &event);
    void on(const StationEvents::MessageStop &);
    void on(const StationEvents::RepeatBox &event);
    void on(const StationEvents::DelayMoved &event);
    void on(const StationEvents::StoreDelay &);
    void on(const StationEvents::Refuse &);
    void on(const StationEvents::Prepared &event);
    void on(const StationEvents::SoundEnded &event);
    void on(const StationEvents::Transport &event);
    void on(const StationEvents::RepeatTick &);
    void on(const StationEvents::StatusTick &);
    void on(const StationEvents::Recording &event);
    void startMemory(int index);
    void startMessage(const Message &message);
    void beginAudio(bool restart);
    void startAudio();
    void stopMessage();
    void endMessage(SoundPlayer::Outcome outcome);
    void countStatus(bool on);
    void armRepeat(int milliseconds);
    void refuse(Answer::Reason why = Answer::Reason::None);

    // ---- Keying (StationKeying.cpp)
    void on(const StationEvents::LockClick &);
    void on(const StationEvents::StandbyClick &);
    void on(const StationEvents::LeadTick &);
    void on(const StationEvents::TailTick &);
    void on(const StationEvents::TimeoutTick &);
    void on(const StationEvents::ConfirmTimeout &);
    void on(const StationEvents::Confirmed &event);
    void on(const StationEvents::KeyingDone &);
    void on(const StationEvents::KeyerNews &);
    void on(const StationEvents::KeyerSwap &event);
    void on(const StationEvents::ReleasedElsewhere &event);
    void on(const StationEvents::GateOpened &);
    void on(const StationEvents::MuteSettled &);
    void on(const StationEvents::MuteTick &);
    void on(const StationEvents::LinesChanged &event);
    void on(const StationEvents::Shutdown &);
    void sendStat();
    void recStat();
    void muteThenKey();
    void key();
    void keyLock();
    void keyingDone();
    bool keyedForMessage() const;
    void tellMute();
    bool keyedAndConfirmed() const;
    // Keying is held back: the transmitter is keyed by another program.
    bool inhibited() const;
    // What holds keying back now: another program's keying, or a keying gate.
    std::optional<Holdback> heldBack() const;
    std::optional<Holdback> gateHolds() const;
    bool messageOnAir() const;
    void release(SoundPlayer::Outcome outcome);
    void startTail(int milliseconds);
    void startTimeout();
    void stopTimeout();
    void sendRequests();
    void readKeyer();
    void followKeyer(PttKeyer *keyer);

    SettingsBook &m_book;
    const AppState &m_settings;
    SoundPlayer &m_player;
    Clock &m_clock;
    Answer m_answer; // of the event being applied
    StationState m_state;
    Message m_message;
    QPointer<PttKeyer> m_keyer;
    LineUse *m_lineUse = nullptr;
    QPointer<SourceMute> m_mute;
    QMetaObject::Connection m_muteConnection;
    bool m_muting = false; // the microphone is muted ahead of the keying
    bool m_muteTold = false; // what the mute was told last
    SameOnScreen m_sameOnScreen;
    std::vector<KeyingGate> m_gates;
    std::function<bool(int)> m_handOff;
    int m_statusReports = 1; // the status reports the next tick of its timer stands for
    std::vector<QMetaObject::Connection> m_keyerConnections;

    std::deque<Event> m_queue;
    bool m_applying = false;
    StationState m_said; // the state last said

    // The audio that waits.
    Await m_await = Await::Nothing;
    bool m_restart = false; // it plays the open file again from its start
    bool m_keyMessage = false; // the message keys the transmitter (not under standby, and not
                               // after Lock was released during it)
    bool m_leadNeeded = false; // its keying took the transmitter from released to keyed
    bool m_lockWaits = false; // Lock is engaged but waits for a gate (lockWaits) to key

    // The keying: requests made by the last transition, waiting to go to the keyer after the
    // state is said; what the keyer last confirmed.
    std::vector<bool> m_requests;
    bool m_confirmedOnAir = false;
    bool m_shutDown = false;
    int m_timeoutSeconds = 0; // the time-out that runs

    std::unique_ptr<Timer> m_repeatTimer; // Timer1
    std::unique_ptr<Timer> m_leadTimer;
    std::unique_ptr<Timer> m_tailTimer;
    std::unique_ptr<Timer> m_timeoutTimer;
    std::unique_ptr<Timer> m_confirmTimer;
    std::unique_ptr<Timer> m_muteTimer;
    std::unique_ptr<Timer> m_statusTimer; // the status reports, every 50 ms while counting
};
