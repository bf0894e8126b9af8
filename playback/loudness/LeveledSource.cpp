// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/loudness/LeveledSource.h"

LeveledSource::LeveledSource(std::unique_ptr<AudioSource> source, std::optional<float> gain,
                             Measure measure)
    : m_source(std::move(source)), m_gain(gain), m_measure(std::move(measure))
{ }

void LeveledSource::settle(const std::atomic<bool> &abandon)
{
    if (!m_gain)
        m_gain = m_measure ? m_measure(*m_source, abandon) : 1.0f;
}

qint64 LeveledSource::read(float *buffer, qint64 frames)
{
    if (!m_gain) {
        const std::atomic<bool> never{false};
        settle(never);
    }
    const qint64 got = m_source->read(buffer, frames);
    const float gain = *m_gain;
    if (got > 0 && gain != 1.0f) {
        const qint64 count = got * m_source->channels();
        for (qint64 i = 0; i < count; ++i)
            buffer[i] *= gain;
    }
    return got;
}
