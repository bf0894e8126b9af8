// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <vector>

// A sound held in memory: interleaved 32-bit float frames at one rate and channel count. A
// spoken text is built into one, and plays as one stream (MemorySource).
struct SoundBuffer
{
    int sampleRate = 0;
    int channels = 0;
    std::vector<float> samples; // frameCount() * channels values

    qint64 frameCount() const { return channels > 0 ? qint64(samples.size()) / channels : 0; }
    double seconds() const { return sampleRate > 0 ? double(frameCount()) / sampleRate : 0.0; }
};
