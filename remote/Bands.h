// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// The amateur bands (IARU), for "the same band" of two stations.
namespace Bands {

struct Band
{
    const char *name; // "20m", "70cm"
    quint64 lowHz;
    quint64 highHz; // both edges belong to the band
};

// The band that holds `hz`, or null: an unknown frequency (0) or one outside every band.
const Band *bandOf(quint64 hz);

// Whether two stations on these frequencies are on the same band. A frequency that is unknown (0)
// or outside every band counts as every band: it shares a band with anything.
bool sameBand(quint64 aHz, quint64 bHz);

} // namespace Bands
