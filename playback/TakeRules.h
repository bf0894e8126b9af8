// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QVector>

class QDateTime;

// What makes a recorded take fit to be saved as a memory, and how it is trimmed and named. Pure
// functions over mono samples in -1..1.
namespace TakeRules {

// Sound below this level is silence: it is trimmed off both ends of a take.
constexpr double SilenceDbfs = -45.0;
// Silence kept before the first and after the last sound, in milliseconds.
constexpr int KeptSilenceMs = 50;
// A sample at or above this magnitude is clipped.
constexpr float ClipLevel = 0.999f;
// A take with more than this share of clipped samples is refused.
constexpr double MaxClippedShare = 0.01;

// The peak of the samples in dBFS; minus infinity for silence.
double peakDbfs(const float *samples, qsizetype count);

struct Verdict
{
    enum Kind { Fit, Silent, Clipped };
    Kind kind = Silent;
    // The part to keep: samples [begin, end) of the take.
    qsizetype begin = 0;
    qsizetype end = 0;
    // The share of clipped samples in that part (0..1).
    double clippedShare = 0;
};

// Judges a take recorded at sampleRate: Silent when nothing reaches SilenceDbfs; otherwise the
// part from KeptSilenceMs before its first sound to KeptSilenceMs after its last, which is
// Clipped when more than MaxClippedShare of it is clipped, else Fit.
Verdict judge(const QVector<float> &take, int sampleRate);

// "Memory <n> <yyyy-MM-dd HHmmss>.wav"; from the second attempt on, " (<attempt>)" goes before
// ".wav" so that an existing file is never overwritten.
QString fileName(int memory, const QDateTime &when, int attempt = 1);

} // namespace TakeRules
