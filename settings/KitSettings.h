// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>

struct AppState;
class ProfileText;

// The section "Kit" of the settings file: the voice kit that texts are spoken from. "Folder" (its
// folder; empty: the default one beside the program or in the user's data folder, see
// SettingsPlace::kitDir), "LetterGapMs" (silence between the parts of a word, 60 by default) and
// "WordGapMs" (between words, 150 by default), each 0 to 2000.
//
// A key is written only when its value differs from its default, or when the file has it already;
// a key whose value is unchanged since it was read stays in the file byte for byte.
namespace KitSettings {

// Reads the three keys into the state; a missing file, section or key gives its default. A gap
// that is not a whole number from 0 to 2000 gives its default, with one line on standard error.
void read(const ProfileText &file, AppState &state);

// Writes the keys that are due (see above). Returns "section/key" of each value the file cannot
// hold (a line break in the folder's name); those keep their old value in the file.
QList<QByteArray> write(ProfileText &file, const AppState &state);

} // namespace KitSettings
