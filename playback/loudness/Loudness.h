// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>
#include <limits>

// What a sound measures by the broadcast loudness standard (ITU-R BS.1770, EBU R128): its
// integrated loudness in LUFS (K-weighted, gated in 400 ms blocks; a sound shorter than one block
// is measured ungated over its whole length) and its true peak in dBTP (4x oversampled). Minus
// infinity where nothing rises above the standard's absolute gate (digital silence).
struct Loudness
{
    static constexpr double Silent = -std::numeric_limits<double>::infinity();

    double lufs = Silent;
    double truePeak = Silent; // dBTP; Silent where no true peak was asked for
    double seconds = 0;

    bool silent() const { return !std::isfinite(lufs); }
    bool operator==(const Loudness &) const = default;
};
