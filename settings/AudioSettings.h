// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/AppState.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

#include <optional>

struct AppState;
class ProfileText;

// The section "Audio" of the settings file: the output that plays the messages ("Output", a sink
// name; empty: the system's default output), the input the recorder records from ("Input", a
// source name; empty: the default input) and the level of what is played ("Level", percent of
// full scale, a whole number from 0 to 100); the output that also plays the messages for the
// operator ("Monitor", a sink name; empty: none) and its level ("MonitorLevel", 0 to 100, 100),
// and the input muted while a message is keyed ("MuteSource", a source name; empty: none); the
// loudness every message plays at ("Loudness", in LUFS from MinLoudness to MaxLoudness; empty: each
// as recorded) and the ceiling of their true peaks ("TruePeak", in dBTP from MinTruePeak to 0, -1).
//
// The first three are written only when one of them differs from its default, or when the file
// already has them (then they are kept up to date); each of the others likewise on its own,
// so that a station that never chose a sound device keeps the file it always had. A key whose
// value the station still holds as it was read is left in the file byte for byte as it is (a name
// that is not UTF-8, a level out of range).
namespace AudioSettings {

constexpr double MinLoudness = AudioValues::MinLoudness;
constexpr double MaxLoudness = AudioValues::MaxLoudness;
constexpr double MinTruePeak = AudioValues::MinTruePeak;
constexpr double MaxTruePeak = AudioValues::MaxTruePeak;
constexpr double DefaultTruePeak = -1;

// A level in LUFS or dB as the file and the Sound dialog take it: a number and nothing else
// (blanks around it, "−" for the minus sign and the unit after it allowed: "-20", "−18.5 LUFS"),
// when it lies in min..max.
std::optional<double> decibelsIn(QString text, double min, double max);

// Reads the keys into the state; a missing file, section or key gives its default, and so does a
// level that is not a whole number from 0 to 100 (a fraction is rounded). Returns a line for each
// value that was not taken, saying what is used instead.
// `Section` names another section with the same keys: "Audio2", the second radio's.
QStringList read(const ProfileText &file, AppState &state, const char *Section = "Audio");

// Writes the keys that are due (see above); `asRead` is the state as read() left it. Returns
// "section/key" of each value the file cannot hold (a line break in a name); those keep their old
// value in the file.
// `section` "Audio2": the second radio's, which holds only the keys it already has besides its
// output, input and level.
QList<QByteArray> write(ProfileText &file, const AppState &state, const AppState &asRead,
                        const char *section = "Audio");

} // namespace AudioSettings
