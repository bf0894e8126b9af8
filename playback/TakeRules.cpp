// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/TakeRules.h"

#include <QDateTime>
#include <cmath>
#include <limits>

double TakeRules::peakDbfs(const float *samples, qsizetype count)
{
    float peak = 0;
    for (qsizetype i = 0; i < count; ++i)
        peak = std::max(peak, std::fabs(samples[i]));
    if (peak <= 0)
        return -std::numeric_limits<double>::infinity();
    return 20.0 * std::log10(double(peak));
}

TakeRules::Verdict TakeRules::judge(const QVector<float> &take, int sampleRate)
{
    const float threshold = float(std::pow(10.0, SilenceDbfs / 20.0));
    qsizetype first = -1;
    qsizetype last = -1;
    for (qsizetype i = 0; i < take.size(); ++i) {
        if (std::fabs(take[i]) >= threshold) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    Verdict verdict;
    if (first < 0)
        return verdict; // Silent

    const qsizetype kept = qsizetype(sampleRate) * KeptSilenceMs / 1000;
    verdict.begin = std::max<qsizetype>(0, first - kept);
    verdict.end = std::min<qsizetype>(take.size(), last + 1 + kept);
    qsizetype clipped = 0;
    for (qsizetype i = verdict.begin; i < verdict.end; ++i) {
        if (std::fabs(take[i]) >= ClipLevel)
            ++clipped;
    }
    verdict.clippedShare = double(clipped) / double(verdict.end - verdict.begin);
    verdict.kind = verdict.clippedShare > MaxClippedShare ? Verdict::Clipped : Verdict::Fit;
    return verdict;
}

QString TakeRules::fileName(int memory, const QDateTime &when, int attempt)
{
    QString name = QStringLiteral("Memory %1 %2")
                       .arg(memory)
                       .arg(when.toString(QStringLiteral("yyyy-MM-dd HHmmss")));
    if (attempt > 1)
        name += QStringLiteral(" (%1)").arg(attempt);
    return name + QStringLiteral(".wav");
}
