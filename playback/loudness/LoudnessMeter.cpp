// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/loudness/LoudnessMeter.h"

#include "playback/audio/AudioSource.h"

#include <ebur128.h>

#include <algorithm>
#include <string>
#include <vector>

const std::string &loudnessLibraryProblem(); // Ebur128Calls.cpp

namespace {

double decibels(double linear)
{
    return linear > 0 ? 20 * std::log10(linear) : Loudness::Silent;
}

ebur128_state *meterOf(void *state)
{
    return static_cast<ebur128_state *>(state);
}

} // namespace

LoudnessMeter::LoudnessMeter(int sampleRate, int channels, Peak peak)
    : m_sampleRate(sampleRate), m_channels(channels), m_truePeak(peak == WithTruePeak)
{
    if (sampleRate <= 0 || channels <= 0) {
        m_error = QStringLiteral("a sound of %1 channels at %2 Hz cannot be measured")
                      .arg(channels)
                      .arg(sampleRate);
        return;
    }
    const int mode = EBUR128_MODE_I | (m_truePeak ? EBUR128_MODE_TRUE_PEAK : 0);
    m_state = ebur128_init(unsigned(channels), static_cast<unsigned long>(sampleRate), mode);
    if (!m_state) {
        const std::string &problem = loudnessLibraryProblem();
        m_error = problem.empty() ? QStringLiteral("the loudness meter cannot be made")
                                  : QString::fromLocal8Bit(problem.c_str());
    }
}

LoudnessMeter::~LoudnessMeter()
{
    if (ebur128_state *state = meterOf(m_state))
        ebur128_destroy(&state);
}

void LoudnessMeter::add(const float *frames, qint64 count)
{
    if (!m_state || count <= 0)
        return;
    ebur128_add_frames_float(meterOf(m_state), frames, size_t(count));
    m_frames += count;
}

Loudness LoudnessMeter::result() const
{
    Loudness loudness;
    if (!m_state || m_frames == 0)
        return loudness;
    loudness.seconds = double(m_frames) / m_sampleRate;
    double lufs = Loudness::Silent;
    const qint64 milliseconds = m_frames * 1000 / m_sampleRate;
    // No gating block fits in a shorter sound: the mean square over its whole length.
    const int status = milliseconds >= BlockMs
                           ? ebur128_loudness_global(meterOf(m_state), &lufs)
                           : ebur128_loudness_window(
                               meterOf(m_state), static_cast<unsigned long>(milliseconds), &lufs);
    loudness.lufs = status == EBUR128_SUCCESS && std::isfinite(lufs) ? lufs : Loudness::Silent;
    if (m_truePeak) {
        double peak = 0;
        for (int channel = 0; channel < m_channels; ++channel) {
            double level = 0;
            if (ebur128_true_peak(meterOf(m_state), unsigned(channel), &level) == EBUR128_SUCCESS)
                peak = std::max(peak, level);
        }
        loudness.truePeak = decibels(peak);
    }
    return loudness;
}

Result LoudnessMeter::measure(AudioSource &source, Loudness *loudness,
                              const std::atomic<bool> *abandon)
{
    LoudnessMeter meter(source.sampleRate(), source.channels());
    if (!meter.isValid())
        return Result::failure(meter.error());
    constexpr qint64 Block = 4096;
    std::vector<float> buffer(size_t(Block * source.channels()));
    for (;;) {
        if (abandon && abandon->load())
            return Result::failure(QStringLiteral("abandoned"));
        const qint64 got = source.read(buffer.data(), Block);
        if (got < 0)
            return Result::failure(source.errorString());
        if (got == 0)
            break;
        meter.add(buffer.data(), got);
    }
    if (!source.seek(0))
        return Result::failure(source.errorString());
    *loudness = meter.result();
    return {};
}

Loudness LoudnessMeter::measure(const float *frames, qint64 count, int sampleRate, int channels,
                                Peak peak)
{
    LoudnessMeter meter(sampleRate, channels, peak);
    meter.add(frames, count);
    return meter.result();
}
