// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/loudness/LoudnessGain.h"

#include <algorithm>

LoudnessGain LoudnessGain::forPart(const Loudness &measured, double target)
{
    LoudnessGain gain;
    if (measured.silent()) {
        gain.limit = Silent;
        return gain;
    }
    gain.db = target - measured.lufs;
    if (gain.db > MaxBoostDb) {
        gain.db = MaxBoostDb;
        gain.limit = MaxBoost;
    }
    gain.playsAt = measured.lufs + gain.db;
    return gain;
}

LoudnessGain LoudnessGain::forMessage(const Loudness &measured, double target, double ceiling)
{
    LoudnessGain gain = forPart(measured, target);
    if (gain.limit == Silent || !std::isfinite(measured.truePeak))
        return gain;
    if (measured.truePeak + gain.db > ceiling) {
        gain.db = ceiling - measured.truePeak;
        gain.limit = Ceiling;
    }
    gain.playsAt = measured.lufs + gain.db;
    return gain;
}

QString LoudnessGain::note(double target) const
{
    const QString below = QStringLiteral("plays at %1 LUFS, %2 LU below the target of %3 LUFS: ")
                              .arg(playsAt, 0, 'f', 1)
                              .arg(target - playsAt, 0, 'f', 1)
                              .arg(target);
    switch (limit) {
    case None:
        break;
    case Ceiling:
        return below + QStringLiteral("its peaks allow no more");
    case MaxBoost:
        return below
               + QStringLiteral("it is raised by no more than %1 dB").arg(MaxBoostDb, 0, 'f', 0);
    case Silent:
        return QStringLiteral("is silent: it plays as recorded, without a gain");
    }
    return QString();
}
