// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/SoundPlayer.h"
#include "station/StationState.h"

#include <QPointer>
#include <variant>

class PttKeyer;

// The closed set of events the station's transition function takes: the operator's and other
// programs' (handed to Station::handle), the sound player's, the keyer's and the microphone's
// notices, and the ticks of the station's own timers.
namespace StationEvents {

// The transport bar's buttons.
enum class TransportButton { Prev, Play, Pause, Stop, Next };

// clang-format off
struct StartUp { QString defaultFile; };           // start-up, before the settings are read
struct MemoryClick { int index; };                  // a left click on a memory
struct MessageStart { QString path; MessageKind kind; }; // a message that is not a memory's
struct MessageStop { };                             // the busy message stopped, whatever it is
struct LockClick { };
struct StandbyClick { };
struct RepeatBox { int index; bool ticked; };       // a memory's repeat box
struct DelayMoved { int value; };                   // the delay slider
struct StoreDelay { };                              // the delay button
struct Refuse { };                                  // a request that cannot be done
struct Recording { bool on; };                      // the recorder records, or no longer
struct LinesChanged { int takenIntoUse; };          // the COM dialog's lines
struct Transport { TransportButton button; };       // the transport bar's own buttons
struct Prepared { bool ok; };                       // the player's output is ready, or cannot be
struct SoundEnded { SoundPlayer::Outcome outcome; }; // the end of a play
struct Confirmed { bool onAir; };                   // the keyer carried a request out
struct KeyingDone { };                              // a keying that nothing will confirm
struct KeyerNews { };                               // the keyer's link changed
struct KeyerSwap { QPointer<PttKeyer> keyer; };     // another keyer takes over
struct ReleasedElsewhere { QString by; };           // the transmitter was released elsewhere
struct GateOpened { };                              // nothing beyond the radio holds it back now
struct MuteSettled { };                             // the microphone's mute has its answer
struct MuteTick { };                                // it did not come in time
struct RepeatTick { };                              // the station's own timers
struct LeadTick { };
struct TailTick { };
struct TimeoutTick { };
struct StatusTick { };
struct ConfirmTimeout { };
struct Shutdown { };                                // the end of the program
// clang-format on

using Event
    = std::variant<StartUp, MemoryClick, MessageStart, MessageStop, LockClick, StandbyClick,
                   RepeatBox, DelayMoved, StoreDelay, Refuse, Recording, LinesChanged, Transport,
                   Prepared, SoundEnded, Confirmed, KeyingDone, KeyerNews, KeyerSwap,
                   ReleasedElsewhere, GateOpened, MuteSettled, MuteTick, RepeatTick, LeadTick,
                   TailTick, TimeoutTick, StatusTick, ConfirmTimeout, Shutdown>;

} // namespace StationEvents
