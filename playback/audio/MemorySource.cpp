// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/MemorySource.h"

#include <algorithm>
#include <cstring>

MemorySource::MemorySource(std::shared_ptr<const SoundBuffer> sound) : m_sound(std::move(sound))
{
    if (!m_sound)
        m_sound = std::make_shared<const SoundBuffer>();
}

qint64 MemorySource::read(float *buffer, qint64 frames)
{
    const qint64 count = std::clamp<qint64>(m_sound->frameCount() - m_position, 0, frames);
    if (count > 0) {
        const size_t channels = size_t(m_sound->channels);
        std::memcpy(buffer, m_sound->samples.data() + size_t(m_position) * channels,
                    size_t(count) * channels * sizeof(float));
    }
    m_position += count;
    return count;
}

bool MemorySource::seek(qint64 frame)
{
    m_position = std::clamp<qint64>(frame, 0, m_sound->frameCount());
    return true;
}
