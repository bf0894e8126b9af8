// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/SoundPlayer.h"
#include "station/StationEvents.h"
#include "station/StationState.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

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
class Station : public QObject
{
    Q_OBJECT
public:
    // `settings` holds the memories' files, repeat flags and delays and the lead, tail and
    // time-out; the station reads them when it needs them and writes the repeat flags and the
    // stored delays.
    Station(AppState &settings, SoundPlayer &player, Clock &clock, QObject *parent = nullptr);
    ~Station() override;

    const StationState &state() const { return m_state; }
    // The message last started.
    const Message &message() const { return m_message; }

    // The keyer that carries the requests out (null: only the picture changes). A keyer that is
    // replaced is released first; the new one takes the present state.
    void setKeyer(PttKeyer *keyer);
    PttKeyer *keyer() const { return m_keyer; }
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

    // ---- The events, under the window's names for them.

    // Start-up, before the settings are read: the transmitter to receive.
    void Form_Load();
    // A left click on memory Index (0..5).
    void Command3d1_Click(int Index);
    // Lock, and StdBy.
    void Command3d2_Click();
    void Command3d3_Click();
    // The repeat box of memory Index was ticked (or unticked).
    void Check3d1_Click(int Index, bool ticked);
    // The delay slider moved to `value` milliseconds.
    void HScroll1_Change(int value);
    // The status panel (only refuses), and the delay button (stores the slider's delay for the
    // memory last started).
    void Panel3d1_Click();
    void Panel3d2_Click();
    // The repeat delay ran out (the repeat timer's tick): the message that waits plays again.
    void Timer1_Timer();
    // The sound player's end of a play.
    void MMControl1_Done(SoundPlayer::Outcome outcome);
    // The transport bar's own Play, Prev and Stop, before the player carries them out; Play sets
    // Cancel while the recorder records or a message's audio waits for its keying.
    void MMControl1_PlayClick(bool &Cancel);
    void MMControl1_PrevClick(bool &Cancel);
    void MMControl1_StopClick(bool &Cancel);
    // The refusal face, for a request that cannot be done.
    void ShowErr();
    // A message that is not a memory's (a file, a spoken text; `message.memory` is ignored):
    // started as a click starts an idle memory, with the station's keying, lead, tail and
    // time-out and never a repeat; refused as a click on another memory is while a message is
    // busy or the recorder records.
    void playMessage(const Message &message);
    // Stops the message that is busy, whatever it is, as a click on its memory would; nothing
    // when none is.
    void stopMessageClick();
    // The milliseconds the repeat timer was armed with while it runs, else 0.
    int repeatArmedMs() const;
    // The recorder started or ended a recording.
    void setRecording(bool recording);
    // The COM dialog changed the lines' use or polarity (LineUse::useChanged).
    void linesChanged(int takenIntoUse);
    // The transmitter was released by something else (`by`: the guard, because the program did
    // not answer it): what keyed it ends as the operator would end it, and nothing keys it again
    // unasked.
    void releasedElsewhere(const QString &by);
    // The end of the program: the transmitter released at once, the keyer let go; nothing keys
    // after it.
    void shutdown();

signals:
    void changed(const StationState &state);

private:
    using Event = StationEvents::Event;

    // What the audio of a message in its lead waits for.
    enum class Await { Nothing, Output, Mute, Keying, LeadTime };

    // The transition function: applies the event, then every event it gave rise to, each
    // followed by changed() when the state changed and by the keying requests it made.
    void apply(const Event &event);
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
    void on(const StationEvents::TransportPlay &event);
    void on(const StationEvents::TransportPrev &);
    void on(const StationEvents::TransportStop &);
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
    void refuse();

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
    void on(const StationEvents::MuteSettled &);
    void on(const StationEvents::MuteTick &);
    void on(const StationEvents::LinesChanged &event);
    void on(const StationEvents::Shutdown &);
    void sendStat();
    void recStat();
    void muteThenKey();
    void key();
    void keyingDone();
    bool keyedForMessage() const;
    void tellMute();
    bool keyedAndConfirmed() const;
    // Keying is held back: the transmitter is keyed by another program.
    bool inhibited() const;
    bool messageOnAir() const;
    void release(SoundPlayer::Outcome outcome);
    void startTail(int milliseconds);
    void startTimeout();
    void stopTimeout();
    void sendRequests();
    void readKeyer();
    void followKeyer(PttKeyer *keyer);

    AppState &m_settings;
    SoundPlayer &m_player;
    StationState m_state;
    Message m_message;
    QPointer<PttKeyer> m_keyer;
    LineUse *m_lineUse = nullptr;
    QPointer<SourceMute> m_mute;
    QMetaObject::Connection m_muteConnection;
    bool m_muting = false; // the microphone is muted ahead of the keying
    bool m_muteTold = false; // what the mute was told last
    SameOnScreen m_sameOnScreen;
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
