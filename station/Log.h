// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

// The program's log categories, one per area under the root "voicevocta"; each can be turned on
// or off by its name (QT_LOGGING_RULES="voicevocta.ptt.debug=true"). Every message of them reads
// "voicevocta: <message>" on standard error once useLogFormat() has run.
Q_DECLARE_LOGGING_CATEGORY(lcVocta) // "voicevocta": start-up and the program as a whole
Q_DECLARE_LOGGING_CATEGORY(lcStation) // "voicevocta.station": the message and its keying
Q_DECLARE_LOGGING_CATEGORY(lcPtt) // "voicevocta.ptt": the keyers and the guard
Q_DECLARE_LOGGING_CATEGORY(lcSound) // "voicevocta.sound": playing, recording, the sound server
Q_DECLARE_LOGGING_CATEGORY(lcSettings) // "voicevocta.settings": the settings file
Q_DECLARE_LOGGING_CATEGORY(lcRemote) // "voicevocta.remote": the keyer on the session bus
Q_DECLARE_LOGGING_CATEGORY(lcNet) // "voicevocta.net": the station network (RadioInfo over UDP)
Q_DECLARE_LOGGING_CATEGORY(lcUi) // "voicevocta.ui": the window

// Makes every categorised message read "voicevocta: <message>", whatever its area.
void useLogFormat();
