// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/loudness/Loudness.h"
#include "station/Result.h"

#include <QString>

#include <atomic>

class AudioSource;

// Measures a sound with libebur128 (opened when first used): its integrated loudness and, when
// asked, its true peak. Frames go in as they come; the result is ready at any time. A sound
// shorter than the standard's 400 ms block has no gated loudness: it is measured ungated, as the
// K-weighted mean square over its whole length.
class LoudnessMeter
{
public:
    enum Peak { WithoutTruePeak, WithTruePeak };

    LoudnessMeter(int sampleRate, int channels, Peak peak = WithTruePeak);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter &) = delete;
    LoudnessMeter &operator=(const LoudnessMeter &) = delete;

    // False, with the reason in error(), when the library cannot be opened or the format is not
    // one it measures.
    bool isValid() const { return m_state != nullptr; }
    QString error() const { return m_error; }

    // Interleaved frames, in order.
    void add(const float *frames, qint64 count);
    Loudness result() const;

    // The whole of `source` from where it stands, read to its end and then put back at its start.
    // Null-free: a failure, with the reason, when it cannot be read or measured, or when
    // `abandon` turns true meanwhile.
    static Result measure(AudioSource &source, Loudness *loudness,
                          const std::atomic<bool> *abandon = nullptr);
    // A sound held in memory (interleaved frames).
    static Loudness measure(const float *frames, qint64 count, int sampleRate, int channels,
                            Peak peak);

    // The standard's gating block: a shorter sound is measured ungated.
    static constexpr int BlockMs = 400;

private:
    void *m_state = nullptr; // libebur128's ebur128_state, whose header stays out of here
    int m_sampleRate = 0;
    int m_channels = 0;
    bool m_truePeak = false;
    qint64 m_frames = 0;
    QString m_error;
};
