// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/kit/Resampler.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace {

// Zero crossings of the sinc on each side of a sample, and table steps between two crossings.
constexpr int HalfWidth = 16;
constexpr int Steps = 256;
// The pass band's edge as a share of the lower Nyquist frequency.
constexpr double PassBand = 0.9;

// The filter's kernel: sinc under a Blackman window, from 0 to HalfWidth crossings.
const std::array<float, HalfWidth * Steps + 2> &kernel()
{
    static const std::array<float, HalfWidth *Steps + 2> table = [] {
        std::array<float, HalfWidth * Steps + 2> values{};
        const double pi = std::numbers::pi;
        for (int i = 0; i <= HalfWidth * Steps; ++i) {
            const double t = double(i) / Steps;
            const double sinc = i == 0 ? 1.0 : std::sin(pi * t) / (pi * t);
            const double w = 0.5 + 0.5 * t / HalfWidth; // 0.5 .. 1: the window's falling half
            const double window = 0.42 - 0.5 * std::cos(2 * pi * w) + 0.08 * std::cos(4 * pi * w);
            values[size_t(i)] = float(sinc * window);
        }
        return values;
    }();
    return table;
}

// The kernel at distance `t` (in crossings), interpolated; 0 beyond its width.
float kernelAt(double t)
{
    t = std::fabs(t) * Steps;
    const auto index = size_t(t);
    if (index >= size_t(HalfWidth * Steps))
        return 0.0f;
    const float fraction = float(t - double(index));
    const auto &table = kernel();
    return table[index] + (table[index + 1] - table[index]) * fraction;
}

} // namespace

std::vector<float> Resampler::resample(const float *samples, qint64 frames, int channels,
                                       int fromRate, int toRate)
{
    if (fromRate == toRate || frames <= 0 || channels <= 0)
        return std::vector<float>(samples, samples + std::max<qint64>(frames, 0) * channels);
    const double step = double(fromRate) / toRate; // input frames per output frame
    const qint64 outFrames = std::llround(double(frames) / step);
    // Going down, the filter is stretched so that it cuts below the new Nyquist frequency.
    const double scale = std::min(1.0, double(toRate) / fromRate) * PassBand;
    const double reach = HalfWidth / scale; // input frames on each side that count
    std::vector<float> out(size_t(outFrames) * size_t(channels), 0.0f);
    std::vector<float> weights;
    for (qint64 n = 0; n < outFrames; ++n) {
        const double x = double(n) * step;
        const qint64 first = std::max<qint64>(0, qint64(std::ceil(x - reach)));
        const qint64 last = std::min<qint64>(frames - 1, qint64(std::floor(x + reach)));
        weights.clear();
        double sum = 0;
        for (qint64 k = first; k <= last; ++k) {
            weights.push_back(kernelAt((x - double(k)) * scale));
            sum += weights.back();
        }
        // Normalised, so that a steady level stays that level, at the ends as well.
        const float gain = sum > 1e-9 ? float(1.0 / sum) : 0.0f;
        float *to = out.data() + n * channels;
        for (qint64 k = first; k <= last; ++k) {
            const float w = weights[size_t(k - first)] * gain;
            const float *from = samples + k * channels;
            for (int c = 0; c < channels; ++c)
                to[c] += w * from[c];
        }
    }
    return out;
}

std::vector<float> Resampler::remix(const float *samples, qint64 frames, int channels,
                                    int toChannels)
{
    if (channels == toChannels || frames <= 0 || channels <= 0)
        return std::vector<float>(samples, samples + std::max<qint64>(frames, 0) * channels);
    std::vector<float> out(size_t(frames) * size_t(toChannels));
    for (qint64 f = 0; f < frames; ++f) {
        float sum = 0;
        for (int c = 0; c < channels; ++c)
            sum += samples[f * channels + c];
        std::fill_n(out.begin() + f * toChannels, toChannels, sum / float(channels));
    }
    return out;
}
