// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/Bands.h"

namespace {

constexpr quint64 kHz = 1000;
constexpr quint64 MHz = 1000 * kHz;

constexpr Bands::Band Table[] = {
    {"160m", 1800 * kHz, 2000 * kHz},  {"80m", 3500 * kHz, 4000 * kHz},
    {"60m", 5250 * kHz, 5450 * kHz},   {"40m", 7000 * kHz, 7300 * kHz},
    {"30m", 10100 * kHz, 10150 * kHz}, {"20m", 14000 * kHz, 14350 * kHz},
    {"17m", 18068 * kHz, 18168 * kHz}, {"15m", 21000 * kHz, 21450 * kHz},
    {"12m", 24890 * kHz, 24990 * kHz}, {"10m", 28000 * kHz, 29700 * kHz},
    {"6m", 50 * MHz, 54 * MHz},        {"4m", 70000 * kHz, 70500 * kHz},
    {"2m", 144 * MHz, 148 * MHz},      {"70cm", 420 * MHz, 450 * MHz},
};

} // namespace

const Bands::Band *Bands::bandOf(quint64 hz)
{
    for (const Band &band : Table) {
        if (hz >= band.lowHz && hz <= band.highHz)
            return &band;
    }
    return nullptr;
}

bool Bands::sameBand(quint64 aHz, quint64 bHz)
{
    const Band *a = bandOf(aHz);
    const Band *b = bandOf(bHz);
    return !a || !b || a == b;
}
