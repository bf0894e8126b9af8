#include "station/Log.h"

Q_LOGGING_CATEGORY(lcVocta, "voicevocta", QtWarningMsg)
