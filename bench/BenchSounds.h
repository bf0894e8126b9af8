// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Sound files for the benchmark, written by itself.
namespace BenchSounds {

// A mono 16-bit WAV of a warbling tone that starts at full level.
bool writeWav(const QString &path, int sampleRate, double seconds);
// A mono 16-bit WAV of a tone whose pitch keeps rising, never at zero: where a part of it was
// heard, and whether silence came between, shows in the samples alone.
bool writeSweep(const QString &path, int sampleRate, double seconds);
// A tune at 120 bpm: a melody note on every beat and a string chord on every bar.
bool writeMidi(const QString &path, int seconds);

} // namespace BenchSounds
