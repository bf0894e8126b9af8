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

using Clock = std::chrono::steady_clock;
const QString Section = QStringLiteral("device");
constexpr int Runs = 7;

double milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

class DeviceBench
{
public:
    explicit DeviceBench(BenchReport &report) : m_report(report)
    {
        QObject::connect(&m_device, &MediaDevice::Done, [this](int code) {
            ++m_dones;
            m_lastDone = code;
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
    double command(const QString &name)
    {
        const auto start = Clock::now();
        m_device.setCommand(name);
        const double took = milliseconds(Clock::now() - start);
        if (took > m_longest) {
            m_longest = took;
            m_longestCommand = name;
        }
        return took;
    }

    double open(const QString &file)
    {
        command("Close");
        m_device.setFileName(file);
        return command("Open");
    }

    bool waitFor(const std::function<bool()> &condition, int timeoutMs = 5000)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!condition()) {
            if (Clock::now() > deadline)
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
            command("Close");
            m_device.setFileName(file);
            const auto start = Clock::now();
            command("Open");
            command("Play");
            if (waitFor([this] { return m_device.timings().firstSound != Clock::time_point{}; }))
                results.push_back(milliseconds(m_device.timings().firstSound - start));
            command("Stop");
            QThread::msleep(30);
        }
        return results;
    }

    std::vector<double> lastSampleToDone(const QString &file)
    {
        std::vector<double> results;
        for (int i = 0; i < Runs; ++i) {
            command("Close");
            m_device.setFileName(file);
            command("Open");
            const int dones = m_dones;
            command("Play");
            if (waitFor([&] { return m_dones > dones; }) && m_lastDone == MediaDevice::Successful) {
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
    int m_lastDone = 0;
    double m_longest = 0;
    QString m_longestCommand;
};

} // namespace

void runDeviceBench(BenchReport &report)
{
    DeviceBench bench(report);
    bench.run();
}
