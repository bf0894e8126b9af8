#pragma once

#include "station/PttKeyer.h"

#include <QPointer>
#include <functional>

struct AppState;
class FaceButton;
class FormTimer;
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

    // What the keying asks of the player: to start the audio of the message that was started
    // (restart: the repeat of the message that is open, from its start), true when the device
    // plays then.
    using PlayAudio = std::function<bool(bool restart)>;

    Keying(AppState &state, const Controls &controls, Refusal &refusal);

    // The keyer that carries the requests out (null: only the picture changes). A keyer that is
    // replaced is released first; the new one takes the present state.
    void setKeyer(PttKeyer *keyer);
    PttKeyer *keyer() const { return m_keyer; }
    void setPlayAudio(PlayAudio play) { m_playAudio = std::move(play); }

    // Go on air: the on-air picture, then the keyer keys. A keyer that cannot reach the
    // transmitter now shows the refusal face.
    void SendStat();
    // Go to receive: the receive picture, then the keyer releases.
    void RecStat();
    // Whether the station is on air now (the last request was SendStat).
    bool onAir() const { return m_onAir; }

    // A memory's file was opened for a message; its audio starts now.
    void messageStarts();
    // The repeat delay ran out: the message that is open plays again.
    void messageRestarts();
    // The operator stopped the message (playing or waiting for its repeat).
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

private:
    // Whether a message is on the air now: it plays, or its lead runs (not in the repeat wait).
    bool messageOnAir() const;
    void startAudio(bool restart);

    AppState &m_state;
    Controls m_controls;
    Refusal &m_refusal;
    QPointer<PttKeyer> m_keyer;
    PlayAudio m_playAudio;
    bool m_onAir = false;
    bool m_standbyGreen = false; // the StdBy face shows green now ("R"), else blue ("B")
    bool m_shutDown = false;
};
