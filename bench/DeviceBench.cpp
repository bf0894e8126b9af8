// SPDX-License-Identifier: GPL-3.0-or-later
// The multimedia device: how long "Open" takes, how soon "Play" is heard, how soon Done follows
// the end of the sound, and the longest time any command held the UI thread.

#include "bench/BenchReport.h"
#include "bench/BenchSounds.h"
#include "playback/audio/SoundDevice.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <functional>

namespace {

using Steady = std::chrono::steady_clock;
const QString Section = QStringLiteral("device");
constexpr int Runs = 7;

double milliseconds(Steady::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

class DeviceBench
{
public:
    explicit DeviceBench(BenchReport &report) : m_report(report)
    {
        QObject::connect(&m_device, &SoundPlayer::finished, [this](SoundPlayer::Outcome outcome) {
            ++m_dones;
            m_lastDone = outcome;
        });
    }

    void run()
    {
        const QString wav = m_dir.filePath("ten.wav");
        const QString shortWav = m_dir.filePath("short.wav");
        const QString midi = m_dir.filePath("thirty.mid");
        if (!BenchSounds::writeWav(wav, 44100, 10) || !BenchSounds::writeWav(shortWav, 44100, 0.5)
            || !BenchSounds::writeMidi(midi, 30)) {
            m_report.note(QStringLiteral("device: cannot write the test files"));
            return;
        }

        // As the program does at start-up: the sound output and the soundfont get ready in the
        // background while the window comes up.
        m_device.preload();
        QThread::msleep(500);

        m_report.add(Section, "\"Open\" 10 s WAV, first", open(wav), "< 20");
        m_report.add(Section, "\"Open\" 10 s WAV, second", open(wav), "< 20");
        m_report.add(Section, "\"Open\" 30 s MIDI, first", open(midi), "< 20");
        m_report.add(Section, "\"Open\" 30 s MIDI, second", open(midi), "< 20");

        m_report.addSpread(Section, "\"Open\"+\"Play\" to first sound, 10 s WAV", firstSound(wav),
                           "< 15");

        firstSound(midi, 1); // the first MIDI play of a run
        m_report.addSpread(Section, "\"Open\"+\"Play\" to first sound, 30 s MIDI", firstSound(midi),
                           "< 40");

        m_report.addSpread(Section, "last sample handed to the driver to Done",
                           lastSampleToDone(shortWav), "~30");

        m_report.add(Section, "longest command (" + m_longestCommand + ")", m_longest, "< 20");
    }

private:
    // One call of the player, timed, under the transport bar's name for it.
    double command(const QString &name, const std::function<void()> &call)
    {
        const auto start = Steady::now();
        call();
        const double took = milliseconds(Steady::now() - start);
        if (took > m_longest) {
            m_longest = took;
            m_longestCommand = name;
        }
        return took;
    }

    double close()
    {
        return command("Close", [this] { m_device.close(); });
    }

    double open(const QString &file)
    {
        close();
        return command("Open", [this, &file] { m_device.open(file); });
    }

    double play()
    {
        return command("Play", [this] { m_device.play(); });
    }

    bool waitFor(const std::function<bool()> &condition, int timeoutMs = 5000)
    {
        const auto deadline = Steady::now() + std::chrono::milliseconds(timeoutMs);
        while (!condition()) {
            if (Steady::now() > deadline)
                return false;
            QCoreApplication::processEvents();
            QThread::usleep(200);
        }
        return true;
    }

    std::vector<double> firstSound(const QString &file, int runs = Runs)
    {
        std::vector<double> results;
        for (int i = 0; i < runs; ++i) {
            close();
            const auto start = Steady::now();
            command("Open", [this, &file] { m_device.open(file); });
            play();
            if (waitFor([this] { return m_device.timings().firstSound != Steady::time_point{}; }))
                results.push_back(milliseconds(m_device.timings().firstSound - start));
            command("Stop", [this] { m_device.stop(); });
            QThread::msleep(30);
        }
        return results;
    }

    std::vector<double> lastSampleToDone(const QString &file)
    {
        std::vector<double> results;
        for (int i = 0; i < Runs; ++i) {
            open(file);
            const int dones = m_dones;
            play();
            if (waitFor([&] { return m_dones > dones; })
                && m_lastDone == SoundPlayer::Outcome::Ended) {
                const SoundDevice::Timings times = m_device.timings();
                results.push_back(milliseconds(times.done - times.lastSample));
            }
        }
        return results;
    }

    BenchReport &m_report;
    QTemporaryDir m_dir;
    SoundDevice m_device;
    int m_dones = 0;
    SoundPlayer::Outcome m_lastDone = SoundPlayer::Outcome::Failed;
    double m_longest = 0;
    QString m_longestCommand;
};

} // namespace

void runDeviceBench(BenchReport &report)
{
    DeviceBench bench(report);
    bench.run();
}
