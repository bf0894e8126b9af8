// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/Log.h"

Q_LOGGING_CATEGORY(lcVocta, "voicevocta", QtWarningMsg)
Q_LOGGING_CATEGORY(lcStation, "voicevocta.station", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPtt, "voicevocta.ptt", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSound, "voicevocta.sound", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSettings, "voicevocta.settings", QtWarningMsg)
Q_LOGGING_CATEGORY(lcRemote, "voicevocta.remote", QtWarningMsg)
Q_LOGGING_CATEGORY(lcNet, "voicevocta.net", QtWarningMsg)
Q_LOGGING_CATEGORY(lcUi, "voicevocta.ui", QtWarningMsg)

void useLogFormat()
{
    // The area is for filtering; the operator reads the program's name.
    qSetMessagePattern(QStringLiteral("%{if-category}voicevocta: %{endif}%{message}"));
}
