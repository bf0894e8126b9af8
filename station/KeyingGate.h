// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/Answer.h"

#include <QString>
#include <functional>
#include <optional>

// Something beyond this radio that holds its transmitter back now: the other radio of a pair on
// the air, another station on the band transmitting. `wait`: a message that is to key waits
// until the gate opens (the owner hands the station GateOpened) instead of being refused; a
// repeat goes to its lead and waits there.
struct Holdback
{
    Answer::Reason reason = Answer::Reason::None;
    bool wait = false;
    QString who; // for the log: the radio or the stations
    bool lockToo = true; // Lock is refused while it holds
    // Lock waits for it instead (engaged, and keyed at GateOpened); with lockToo false.
    bool lockWaits = false;
};

// Asked by the station just before each request that would key the transmitter.
using KeyingGate = std::function<std::optional<Holdback>()>;
