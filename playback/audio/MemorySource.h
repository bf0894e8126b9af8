// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/audio/AudioSource.h"
#include "playback/audio/SoundBuffer.h"

#include <memory>

// A sound in memory, read as a file's sound is. The sound is shared, never copied: the station
// may keep it (to play it again) while the playback engine reads it.
class MemorySource : public AudioSource
{
public:
    explicit MemorySource(std::shared_ptr<const SoundBuffer> sound);

    int sampleRate() const override { return m_sound->sampleRate; }
    int channels() const override { return m_sound->channels; }
    qint64 frameCount() const override { return m_sound->frameCount(); }
    qint64 read(float *buffer, qint64 frames) override;
    bool seek(qint64 frame) override;
    QString errorString() const override { return QString(); }

private:
    std::shared_ptr<const SoundBuffer> m_sound;
    qint64 m_position = 0;
};
