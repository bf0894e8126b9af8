// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/AppState.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

struct AppState;
class ProfileText;

// The section "PTT" of the settings file: how the transmitter is keyed and its timing.
//   Method        Serial, CAT, CM108 or None, in any case
//   SerialDevice  the serial device's path; empty: the port number of "COM"
//   RigModel      hamlib's rig model, 1 to 99999 (2: rigctld)
//   RigPort       "host:port" of rigctld, or the rig's serial device
//   RigSpeed      the rig's serial speed, 0 to 1000000 (0: the model's own)
//   Cm108Device   the CM108 chip's HID device (/dev/hidraw*)
//   Cm108Gpio     its GPIO pin, 1 to 8
//   LeadMs        from keying to the audio, 0 to 2000
//   TailMs        from the last sample heard to the release, 0 to 2000
//   TimeoutS      the longest the transmitter stays keyed without a break, 0 (no limit) to 3600
//
// The section is written only when one of its values differs from its default, or when the file
// already has it (then its keys are kept up to date), so that a station keyed as it always was
// keeps the file it always had. A key whose value the station still holds as it was read is left
// in the file byte for byte as it is (a value out of range, bytes after a zero character).
namespace PttSettings {

// The ranges of the numbers.
constexpr int RigModelMin = PttValues::RigModelMin;
constexpr int RigModelMax = PttValues::RigModelMax;
constexpr int RigSpeedMax = PttValues::RigSpeedMax;
constexpr int Cm108GpioMin = PttValues::Cm108GpioMin;
constexpr int Cm108GpioMax = PttValues::Cm108GpioMax;
constexpr int LeadMsMax = PttValues::LeadMsMax;
constexpr int TailMsMax = PttValues::TailMsMax;
constexpr int TimeoutSMax = PttValues::TimeoutSMax;

// Reads the keys into the state; a missing file, section or key gives its default, and so does a
// value the key does not accept: a method not named above, a number that is not a whole number
// in its range (a fraction is rounded). Returns a line for each value that was not taken, saying
// what is used instead.
// `section` names another section with the same keys: "PTT2", the second radio's.
QStringList read(const ProfileText &file, AppState &state, const char *section = "PTT");

// Writes the keys when the section is due (see above); `asRead` is the state as read() left it.
// Returns "section/key" of each value the file cannot hold (a line break in a name); those keep
// their old value in the file.
QList<QByteArray> write(ProfileText &file, const AppState &state, const AppState &asRead,
                        const char *section = "PTT");

// Why two radios cannot key through the same PTT (a serial port, a rig, a CM108 pin); empty when
// they can.
QString sharedWith(const PttValues &second, const PttValues &first);

} // namespace PttSettings
