// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/loudness/Loudness.h"

#include <QString>

// The one gain a message plays with: the one that brings its integrated loudness to the target,
// lowered where its true peak would pass the ceiling, and never more than MaxBoostDb up. Never a
// limiter nor a compressor: every sample of the message is multiplied by the same number.
struct LoudnessGain
{
    // Why the message does not reach the target (or plays as recorded).
    enum Limit {
        None, // it reaches the target
        Ceiling, // its true peak would pass the ceiling
        MaxBoost, // it would have to be raised by more than MaxBoostDb
        Silent, // digital silence (or below the standard's gate): played as recorded
    };

    static constexpr double MaxBoostDb = 20.0;

    double db = 0;
    Limit limit = None;
    // What the message measures when it plays (LUFS).
    double playsAt = Loudness::Silent;

    float linear() const { return float(std::pow(10.0, db / 20.0)); }

    static LoudnessGain forMessage(const Loudness &measured, double target, double ceiling);
    // For a kit's part, matched on its own: to the target, without the ceiling (the text as a
    // whole keeps to that).
    static LoudnessGain forPart(const Loudness &measured, double target);

    // One sentence for the operator when the message stays below the target or plays as
    // recorded; empty when it reaches it.
    QString note(double target) const;
};
