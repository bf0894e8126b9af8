// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <vector>

// Brings sound to another sample rate or channel count. Good enough for speech on a transmitter:
// a windowed-sinc filter that keeps the band below 0.9 of the lower Nyquist frequency flat and
// removes what would alias. Pure functions over interleaved float frames.
namespace Resampler {

// `frames` frames of `channels` channels at `fromRate` Hz, at `toRate` Hz instead. The length
// becomes frames * toRate / fromRate, rounded; a sound at the same rate is copied unchanged.
std::vector<float> resample(const float *samples, qint64 frames, int channels, int fromRate,
                            int toRate);

// The same frames with `toChannels` channels: a sound with as many is copied unchanged; else each
// new channel carries the mean of the old ones (mono duplicated, stereo mixed).
std::vector<float> remix(const float *samples, qint64 frames, int channels, int toChannels);

} // namespace Resampler
