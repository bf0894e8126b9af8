// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/audio/AudioSource.h"
#include "station/Result.h"

#include <memory>

struct sf_private_tag;

// A sound file read through libsndfile: WAV and every other format the library knows.
class SoundFileSource : public AudioSource
{
public:
    ~SoundFileSource() override;

    // Opens path and checks that it holds playable sound: the header must be sound, the data it
    // announces must be in the file, and the first frames must decode. A failure with the reason
    // otherwise.
    static ResultOf<std::unique_ptr<SoundFileSource>> open(const QString &path);
    // Opens the sound-file library now rather than at the first open(), which then need not wait.
    static void loadLibrary();

    int sampleRate() const override { return m_sampleRate; }
    int channels() const override { return m_channels; }
    qint64 frameCount() const override { return m_frames; }
    qint64 read(float *buffer, qint64 frames) override;
    bool seek(qint64 frame) override;
    QString errorString() const override { return m_error; }

    static constexpr int MaxChannels = 8;

private:
    SoundFileSource() = default;

    sf_private_tag *m_file = nullptr;
    int m_sampleRate = 0;
    int m_channels = 0;
    qint64 m_frames = 0;
    qint64 m_position = 0;
    QString m_error;
};
