// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where the keyer answers on the session bus: for the program and for the commands that call it.
namespace KeyerBus {

constexpr char Service[] = "org.voicevocta.Keyer";
constexpr char Path[] = "/Keyer";
constexpr char Interface[] = "org.voicevocta.Keyer1";

} // namespace KeyerBus
