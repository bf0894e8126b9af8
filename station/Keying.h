// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/FormTimer.h"
#include "station/PttKeyer.h"

#include <QPointer>
#include <functional>

struct AppState;
class FaceButton;
class Refusal;
class StationPicture;

// The one place that decides whether the transmitter is keyed. The memory bank, the player, the
// repeat cycle and the Lock and StdBy buttons tell it what happened; it applies the station's
// rules and turns them into the station picture and requests to the keyer:
//   a message start or a repeat restart keys, unless standby;
//   the operator's stop and the end of a message release, unless Lock;
//   Lock engaged keys, unless standby; Lock released releases;
//   standby engaged releases; standby released keys again only under Lock or while a message is
//   on the air (not in the wait before its repeat).
// A message keys only once its audio plays: one that cannot start is never keyed.
//
// Timing (AppState::LeadMs, TailMs, TimeoutS; all 0 by default, which keeps the order above:
// play, then key):
//   Lead: a start or restart that takes the transmitter from released to keyed keys first and
//     starts the audio LeadMs later; meanwhile the message counts as playing (PlayerState::Lead)
//     and a click on it stops it at once. Already keyed (Lock, a tail) or under standby, the
//     audio starts at once. Standby engaged or Lock released during the lead starts the audio
//     at once, as the transmitter is released then.
//   Tail: the end of a message heard to its last sample (Done Successful) releases TailMs later;
//     the window goes idle or into the repeat wait at once. A start within the tail keeps the
//     transmitter keyed. Every other release (the operator's stop, standby, Lock released, a
//     failed play, the time-out, the end of the program) comes at once.
//   Time-out: keyed without a break for TimeoutS seconds, the message is stopped as the
//     operator's click does, Lock is released, the transmitter released, the refusal face shown
//     and one line written to standard error. From 15 s before (TimeoutS of 30 or more) the Lock
//     button blinks red and blue.
//
// The keyer (the serial lines, the rig's CAT connection, ...) can be swapped while the program
// runs; the present state goes to the new one at once.
class Keying
{
public:
    struct Controls
    {
        FaceButton &Command3d2; // Lock
        FaceButton &Command3d3; // StdBy
        FormTimer &Timer2; // the StdBy blink
        StationPicture &Image1;
    };

    // What the keying asks of the player side.
    struct Messages
    {
        // Whether the message that was started has its file open, so that its audio can start.
        std::function<bool()> ready;
        // Starts its audio (restart: the open file again from its start); true when the device
        // plays then.
        std::function<bool(bool restart)> play;
        // Stops it as the operator's click on its memory does.
        std::function<void()> stop;
    };

    Keying(AppState &state, const Controls &controls, Refusal &refusal);

    // The keyer that carries the requests out (null: only the picture changes). A keyer that is
    // replaced is released first; the new one takes the present state.
    void setKeyer(PttKeyer *keyer);
    PttKeyer *keyer() const { return m_keyer; }
    void setMessages(Messages messages) { m_messages = std::move(messages); }

    // Go on air: the on-air picture, then the keyer keys. A keyer that cannot reach the
    // transmitter now shows the refusal face.
    void SendStat();
    // Go to receive: the receive picture, then the keyer releases.
    void RecStat();
    // Whether the station is on air now (the last request was SendStat).
    bool onAir() const { return m_onAir; }

    // A memory's file was opened for a message: its audio starts now or after the lead.
    void messageStarts();
    // The repeat delay ran out: the message that is open plays again, now or after the lead.
    void messageRestarts();
    // The operator stopped the message (in its lead, playing or waiting for its repeat).
    void messageStopped();
    // The device reported the end of a play (any play, with its result code).
    void messageEnded(int NotifyCode);

    // The Lock button: keeps the transmitter keyed while engaged.
    void Command3d2_Click();
    // The StdBy button: keeps the transmitter released while engaged; its face blinks.
    void Command3d3_Click();
    // The blink of the StdBy button.
    void Timer2_Timer();

    // The end of the program: the transmitter released at once, the keyer let go. Nothing keys
    // after it.
    void shutdown();

    // The timers, one tick each per arming (the Lock blink ticks every 250 ms): the lead before
    // the audio, the tail before the release, the time-out (first its warning when there is
    // one, then its end) and the Lock button's warning blink.
    FormTimer &leadTimer() { return m_lead; }
    FormTimer &tailTimer() { return m_tail; }
    FormTimer &timeoutTimer() { return m_timeout; }
    FormTimer &lockBlinkTimer() { return m_lockBlink; }

private:
    // Whether a message is on the air now: it plays, or its lead runs (not in the repeat wait).
    bool messageOnAir() const;
    bool leadRuns() const { return m_lead.isRunning(); }
    void start(bool restart);
    void startAudio(bool restart);
    void endLead();
    void endTail();
    void startTimeout();
    void stopTimeout();
    void timeoutTick();
    void lockBlinkTick();
    void showLockFace();

    AppState &m_state;
    Controls m_controls;
    Refusal &m_refusal;
    QPointer<PttKeyer> m_keyer;
    Messages m_messages;
    bool m_onAir = false;
    bool m_standbyGreen = false; // the StdBy face shows green now ("R"), else blue ("B")
    bool m_shutDown = false;

    FormTimer m_lead;
    bool m_leadRestart = false; // the audio that waits is a restart
    FormTimer m_tail;
    FormTimer m_timeout;
    bool m_warning = false; // the time-out's warning runs: its end comes next
    int m_timeoutSeconds = 0; // the time-out that runs
    FormTimer m_lockBlink;
    bool m_lockBlinkRed = false;
};
