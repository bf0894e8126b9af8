// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/VoiceVocta.h"

// The program's settings, for a test or a benchmark to set up as a settings file would have them
// (the program itself changes them only through its SettingsBook).
inline AppState &setUp(VoiceVocta &program)
{
    return const_cast<AppState &>(program.state());
}
