// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/PttKeyer.h"

#include <QMetaType>

// Where a message stands in its life cycle:
//   Idle        nothing plays (the transport bar's own play may);
//   Lead        a message was started and its audio waits: for its output to be ready, for the
//               transmitter's keying to be confirmed, or for the lead time after it;
//   Playing     a message plays;
//   Tail        a message ended and nothing waits for it, but the transmitter hangs on for the
//               tail; the window and other programs see the station idle;
//   RepeatWait  a message ended and waits for its repeat (the tail, if any, runs in its first
//               part).
enum class Stage { Idle, Lead, Playing, Tail, RepeatWait };

// What a message is: a memory's file, any other sound file (a logger's), or a text spoken from
// the voice kit. Only a memory repeats, and only a memory shows on the memory buttons.
enum class MessageKind { Memory, File, Text };

// How the message last started ended: not yet (it is busy, or none started), heard to its last
// sample (for a repeating memory: its latest play), stopped before its end (the operator, the
// time-out, a keying that failed), or failed (its file could not be played).
enum class Ending { None, Ended, Stopped, Failed };

// All the station shows and other programs read, as one value. The station (Station) is its one
// writer and says every change.
struct StationState
{
    Stage stage = Stage::Idle;
    // The memory last started (0..5); -1 before the first start, and while the message last
    // started is not a memory's.
    int memory = -1;
    MessageKind kind = MessageKind::Memory; // the message last started
    Ending ending = Ending::None;
    // Repeat wanted for the message: its memory's repeat box when it started, and every later
    // click on that box.
    bool repeat = false;
    // The message started with its repeat box ticked: the status panel is yellow, else orange.
    bool startedWithRepeat = false;
    // The repeat delay on the slider, in milliseconds (0 to 10000).
    int delay = 4500;
    bool lock = false;
    bool standby = false;
    // The station asks for the transmitter on the air (the station picture shows it).
    bool onAir = false;
    // The transmitter is keyed as far as the keyer knows: it confirmed a keying, or a release it
    // was asked for is not confirmed yet.
    bool transmitting = false;
    // The link of the keyer in place.
    PttKeyer::Link keyer = PttKeyer::Link::Ready;
    // The time-out's warning runs: the transmitter is released within seconds.
    bool timeoutWarning = false;
    // The elapsed play time in milliseconds, as the status reports count it (55 ms per report of
    // every 50 ms); 0 when there is none to show.
    double playTime = 0;
    // The length of the open file in milliseconds, 0 when none is open.
    qint32 length = 0;
    // Between plays the status reads "Pause" (the message waits for its repeat), else "Idle".
    bool paused = false;
    // When the message that waits for its repeat plays again, on the station's clock (see
    // Clock::now); 0 when no repeat is due.
    qint64 repeatDueAt = 0;
    // How many requests were refused so far: each one shows the refusal face.
    int refusals = 0;
    // The recorder records: no message starts.
    bool recording = false;

    // The play state as the rules test it: 1 from a message's start until the operator stops it
    // or it ends without repeat (its lead and its repeat wait included), else 0.
    int playing() const { return stage == Stage::Idle || stage == Stage::Tail ? 0 : 1; }
    // The transport bar's own play plays (no message, nothing keyed).
    bool transportPlays = false;
    // Busy: a message is, or the transport bar's play: the recorder and the previews wait.
    bool busy() const { return playing() != 0 || transportPlays; }

    bool operator==(const StationState &) const = default;
};

Q_DECLARE_METATYPE(StationState)
