// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

// The program's one log category: every message to standard error goes through it, as
// qCWarning(lcVocta) << ..., and reads "voicevocta: <message>".
Q_DECLARE_LOGGING_CATEGORY(lcVocta)
