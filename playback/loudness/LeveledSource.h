// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/audio/AudioSource.h"

#include <functional>
#include <memory>
#include <optional>

// A message played at one gain, the same for every sample from its first to its last: known when
// it is made, or found by `measure` in settle(), before the first sample is read. What a gain of
// more than 1 takes past full scale is the ceiling's business (LoudnessGain), never clipped here.
class LeveledSource : public AudioSource
{
public:
    // Reads the whole of the source, puts it back at its start and returns the gain for it (1
    // where it cannot tell).
    using Measure = std::function<float(AudioSource &source, const std::atomic<bool> &abandon)>;

    LeveledSource(std::unique_ptr<AudioSource> source, std::optional<float> gain, Measure measure);

    int sampleRate() const override { return m_source->sampleRate(); }
    int channels() const override { return m_source->channels(); }
    qint64 frameCount() const override { return m_source->frameCount(); }
    qint64 read(float *buffer, qint64 frames) override;
    bool seek(qint64 frame) override { return m_source->seek(frame); }
    QString errorString() const override { return m_source->errorString(); }
    void settle(const std::atomic<bool> &abandon) override;

    // The gain; nothing until it is known.
    std::optional<float> gain() const { return m_gain; }

private:
    std::unique_ptr<AudioSource> m_source;
    std::optional<float> m_gain;
    Measure m_measure;
};
