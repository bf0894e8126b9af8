// SPDX-License-Identifier: GPL-3.0-or-later
// The loudness of the messages: measuring a minute of a message (libebur128, beside ffmpeg's
// ebur128 filter on the same file, its start included), and "Open"+"Play" to the first sound of a
// 10 s WAV without a loudness target, with one, and for a file not measured yet.

#include "bench/BenchReport.h"
#include "bench/BenchSounds.h"
#include "playback/audio/SoundDevice.h"
#include "playback/audio/SoundFileSource.h"
#include "playback/loudness/LoudnessBook.h"
#include "playback/loudness/LoudnessMeter.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <chrono>

namespace {

using Steady = std::chrono::steady_clock;
const QString Section = QStringLiteral("loudness");
constexpr int Runs = 7;

double since(Steady::time_point start, Steady::time_point end = Steady::now())
{
    return end < start ? -1 : std::chrono::duration<double, std::milli>(end - start).count();
}

// Measuring `file` with the program's meter, or with the peer.
std::vector<double> measureRuns(const QString &file, bool peer)
{
    std::vector<double> results;
    for (int i = 0; i < Runs; ++i) {
        const auto start = Steady::now();
        Loudness loudness;
        QProcess ffmpeg;
        if (peer)
            ffmpeg.start(QStringLiteral("ffmpeg"), {"-nostats", "-hide_banner", "-i", file, "-af",
                                                    "ebur128=peak=true", "-f", "null", "-"});
        const std::unique_ptr<SoundFileSource> source
            = peer ? nullptr : SoundFileSource::open(file).value;
        const bool measured = peer ? ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0
                                   : source && LoudnessMeter::measure(*source, &loudness);
        results.push_back(measured ? since(start) : -1);
    }
    return results;
}

// "Open"+"Play" to the first sound handed to the output; `fresh` writes the file anew before each
// run, so that it is not measured yet.
std::vector<double> firstSound(SoundDevice &device, const QString &file, bool fresh)
{
    std::vector<double> results;
    for (int i = 0; i < Runs; ++i) {
        if (fresh)
            BenchSounds::writeWav(file, 44100, 10 + 0.01 * i);
        device.close();
        const auto start = Steady::now();
        device.open(file);
        device.play();
        for (int wait = 0; wait < 25000 && device.timings().firstSound == Steady::time_point{};
             ++wait) {
            QCoreApplication::processEvents();
            QThread::usleep(200);
        }
        results.push_back(since(start, device.timings().firstSound));
        device.stop();
        QThread::msleep(30);
    }
    return results;
}

} // namespace

void runLoudnessBench(BenchReport &report)
{
    QTemporaryDir dir;
    const QString minute = dir.filePath(QStringLiteral("minute.wav"));
    const QString message = dir.filePath(QStringLiteral("ten.wav"));
    if (!BenchSounds::writeWav(minute, 44100, 60) || !BenchSounds::writeWav(message, 44100, 10)) {
        report.note(QStringLiteral("loudness: cannot write the test files"));
        return;
    }
    report.addSpread(Section, "measure 60 s WAV (44.1 kHz mono)", measureRuns(minute, false));
    report.addSpread(Section, "peer: ffmpeg ebur128=peak=true, same file",
                     measureRuns(minute, true));

    LoudnessBook book(dir.filePath(QStringLiteral("cache/loudness")));
    SoundDevice device;
    device.setLoudness(&book);
    report.addSpread(Section, "\"Open\"+\"Play\" to first sound, 10 s WAV, no target",
                     firstSound(device, message, false));
    book.setTarget(-20, -1);
    book.measureSoon({message});
    book.waitForIdle();
    report.addSpread(Section, "\"Open\"+\"Play\" to first sound, -20 LUFS, measured",
                     firstSound(device, message, false), "no target's + 10 % or 2 ms");
    report.addSpread(Section, "\"Open\"+\"Play\" to first sound, -20 LUFS, not measured yet",
                     firstSound(device, message, true));
}
