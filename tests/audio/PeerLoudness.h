// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/audio/WavWriter.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cmath>
#include <vector>

// Loudness as the peer tool measures it: ffmpeg's ebur128 filter (with peak=true), on mono
// samples written as a 16-bit WAV file. Tests skip where ffmpeg is not installed.
namespace PeerLoudness {

struct Measure
{
    double lufs = NAN;
    double truePeak = NAN; // dBTP
};

inline bool available()
{
    return !QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty();
}

inline Measure measure(const std::vector<float> &samples, int rate, const QString &file)
{
    Measure result;
    QString error;
    if (!WavWriter::write(file, samples.data(), qsizetype(samples.size()), rate, &error))
        return result;
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-nostats", "-hide_banner", "-i", file, "-af",
                                            "ebur128=peak=true", "-f", "null", "-"});
    if (!ffmpeg.waitForFinished(60000))
        return result;
    const QString said = QString::fromUtf8(ffmpeg.readAllStandardError());
    const QString summary = said.mid(said.lastIndexOf(QLatin1String("Summary:")));
    const auto value = [&summary](const char *pattern) {
        const QRegularExpressionMatch match = QRegularExpression(pattern).match(summary);
        return match.hasMatch() ? match.captured(1).toDouble() : NAN;
    };
    result.lufs = value(R"(I:\s+(-?[\d.]+) LUFS)");
    result.truePeak = value(R"(Peak:\s+(-?[\d.]+) dBFS)");
    return result;
}

// A voice-like message: two tones in syllables of 0.2 s with pauses of 0.05 s between them,
// brought to `lufs` as the peer measures it.
inline std::vector<float> syllables(double seconds, int rate, double lufs, const QString &scratch)
{
    std::vector<float> samples(size_t(seconds * rate));
    for (size_t i = 0; i < samples.size(); ++i) {
        const double t = double(i) / rate;
        const double inSyllable = std::fmod(t, 0.25);
        const double envelope
            = inSyllable < 0.2 ? std::pow(std::sin(M_PI * inSyllable / 0.2), 2) : 0;
        samples[i]
            = float(0.1 * envelope
                    * (0.6 * std::sin(2 * M_PI * 300 * t) + 0.4 * std::sin(2 * M_PI * 1200 * t)));
    }
    const float gain = float(std::pow(10.0, (lufs - measure(samples, rate, scratch).lufs) / 20));
    for (float &sample : samples)
        sample *= gain;
    return samples;
}

} // namespace PeerLoudness
