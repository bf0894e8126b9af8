// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>

struct AppState;
class ProfileText;

// The section "SO2R" of the settings file: two radios.
//   Otrsp      the serial device of an OTRSP box; empty (the default): none
//   Interlock  "refuse" (the default) or "wait", in any case: what keying one radio does while
//              the other one is keyed
//   Alternate  0 (the default) or 1: a repeating memory alternates between the radios
//   Stereo     0 (the default) or 1: the OTRSP box gives the operator both radios' receive audio
//              (RX1S / RX2S), rather than the focus radio's alone (RX1 / RX2)
//
// A key is written only when its value differs from its default, or when the file has it already;
// a key whose value is unchanged since it was read stays in the file byte for byte.
namespace So2rSettings {

// Reads the keys into AppState::So2r; a missing file, section or key gives its default, and so
// does a value the key does not accept, with one line on standard error.
void read(const ProfileText &file, AppState &state);

// Writes the keys that are due (see above). Returns "section/key" of each value the file cannot
// hold (a line break in the device's name); those keep their old value in the file.
QList<QByteArray> write(ProfileText &file, const AppState &state);

} // namespace So2rSettings
