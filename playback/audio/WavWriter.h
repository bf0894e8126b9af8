// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/Result.h"

#include <QString>
#include <QtGlobal>

// Writes mono sound as a 16-bit PCM WAV file through libsndfile. Samples are in -1..1; beyond
// that they are clipped, never wrapped.
namespace WavWriter {

// Writes the file at path (replacing what is there: a link there is removed, never followed)
// and makes sure it reached the disk. On a failure (a full disk, a folder that cannot be
// written) nothing is left at path, and the failure says why.
Result write(const QString &path, const float *samples, qsizetype count, int sampleRate);

} // namespace WavWriter
