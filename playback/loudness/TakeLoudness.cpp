// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/loudness/TakeLoudness.h"

#include "playback/loudness/LoudnessMeter.h"

#include <algorithm>

TakeLoudness::~TakeLoudness()
{
    abandon();
}

void TakeLoudness::abandon()
{
    ++m_take;
    m_result.reset();
    if (m_abandon)
        *m_abandon = true;
    if (m_thread.joinable())
        m_thread.join(); // at most one block of the meter
}

void TakeLoudness::clear()
{
    abandon();
}

void TakeLoudness::measure(const QVector<float> &samples, int sampleRate)
{
    abandon();
    const quint64 take = m_take;
    auto abandoned = std::make_shared<std::atomic<bool>>(false);
    m_abandon = abandoned;
    m_thread = std::thread([this, samples, sampleRate, take, abandoned] {
        LoudnessMeter meter(sampleRate, 1);
        constexpr qsizetype Block = 65536;
        for (qsizetype at = 0; at < samples.size() && !*abandoned; at += Block)
            meter.add(samples.constData() + at, std::min(Block, samples.size() - at));
        if (*abandoned || !meter.isValid())
            return;
        const Loudness loudness = meter.result();
        QMetaObject::invokeMethod(
            this,
            [this, take, loudness] {
                if (take != m_take)
                    return;
                m_result = loudness;
                emit measured();
            },
            Qt::QueuedConnection);
    });
}

QString TakeLoudness::note(const Loudness &loudness, double target)
{
    const double off = loudness.lufs - target;
    if (loudness.silent() || std::fabs(off) <= FarFromTarget)
        return QString();
    return QStringLiteral("%1 LU %2 the target of %3 LUFS")
        .arg(std::fabs(off), 0, 'f', 1)
        .arg(off < 0 ? QStringLiteral("below") : QStringLiteral("above"))
        .arg(target);
}
