// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/Log.h"

Q_LOGGING_CATEGORY(lcVocta, "voicevocta", QtWarningMsg)
