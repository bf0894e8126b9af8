// SPDX-License-Identifier: GPL-3.0-or-later
// The whole station as the program builds it (the real sound device and serial lines, the
// window offscreen): how long start-up takes to a shown window, what one status report costs, and
// how long the UI thread is held by a click on a memory, by choosing a memory's file and by a
// save of the settings.

#include "bench/BenchReport.h"
#include "bench/BenchSounds.h"
#include "bench/BenchStation.h"
#include "ui/PictureButton.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMouseEvent>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

const QString Section = QStringLiteral("station");
constexpr int Runs = 7;

double milliseconds(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// How long a click's handlers hold the UI thread.
double timedClick(QWidget *widget, Qt::MouseButton button)
{
    QElapsedTimer timer;
    timer.start();
    click(widget, button);
    return milliseconds(timer);
}

class StationBench
{
public:
    explicit StationBench(BenchReport &report) : m_report(report) { }

    void run()
    {
        startUp();

        populateProgramFolder(m_folder.path());
        const QString wav = m_files.filePath(QStringLiteral("ten.wav"));
        const QString shortWav = m_files.filePath(QStringLiteral("short.wav"));
        const QString midi = m_files.filePath(QStringLiteral("thirty.mid"));
        if (!BenchSounds::writeWav(wav, 44100, 10) || !BenchSounds::writeWav(shortWav, 44100, 0.5)
            || !BenchSounds::writeMidi(midi, 30)) {
            m_report.note(QStringLiteral("station: cannot write the test files"));
            return;
        }
        BenchStation s(m_folder.path());
        m_station = &s;
        s.station.Form_Load();
        s.station.window().show();
        longestStallWhile([&] { return s.station.window().windowHandle()->isExposed(); }, 5000);

        fileChoice({wav, midi, shortWav});
        saves();

        // The soundfont is loaded once per run, on the worker thread; the clicks are timed after.
        if (!playUntilHeard(1)) {
            m_report.note(QStringLiteral("station: the MIDI file was not heard; no soundfont?"));
            return;
        }
        clicks(0, QStringLiteral("WAV"));
        clicks(1, QStringLiteral("MIDI"));
        messageEnd(2);
        statusReport(0);
        m_station = nullptr;
    }

private:
    AppState &state() { return m_station->station.state(); }
    Form1 &window() { return m_station->station.window(); }

    // Start-up to the window shown: the station built with the real device, Form_Load, show,
    // until the window system has exposed the window. The first run pays for what Qt loads once.
    void startUp()
    {
        std::vector<double> again;
        for (int run = 0; run < Runs; ++run) {
            QTemporaryDir folder;
            populateProgramFolder(folder.path());
            QElapsedTimer timer;
            timer.start();
            auto s = std::make_unique<BenchStation>(folder.path());
            s->station.Form_Load();
            s->station.window().show();
            QWindow *window = s->station.window().windowHandle();
            longestStallWhile([window] { return window->isExposed(); }, 5000);
            const double took = milliseconds(timer);
            if (run == 0)
                m_report.add(Section, QStringLiteral("start-up to window shown, first"), took,
                             QStringLiteral("< 250"));
            else
                again.push_back(took);
        }
        m_report.add(Section, QStringLiteral("start-up to window shown, again (median)"),
                     median(again), QStringLiteral("< 250"));
    }

    // A right click on a memory, the file dialog answering at once: the handler stores the file
    // and saves the settings.
    void fileChoice(const QStringList &files)
    {
        std::vector<double> took;
        for (int run = 0; run < Runs; ++run) {
            for (int memory = 0; memory < files.size(); ++memory) {
                // Another file each time, so that every save writes.
                m_station->dialogs.answer = files.at((memory + run) % files.size());
                took.push_back(timedClick(window().Command3d1(memory), Qt::RightButton));
            }
        }
        // The memories end up with these files.
        for (int memory = 0; memory < files.size(); ++memory) {
            m_station->dialogs.answer = files.at(memory);
            click(window().Command3d1(memory), Qt::RightButton);
        }
        m_report.add(Section, QStringLiteral("right click, file chosen and saved, median"),
                     median(took), QStringLiteral("< 20"));
        m_report.add(Section, QStringLiteral("right click, file chosen and saved, worst"),
                     worst(took), QStringLiteral("< 20"));
    }

    void saves()
    {
        std::vector<double> took;
        for (int run = 0; run < 3 * Runs; ++run) {
            // A changed delay, so that every save writes.
            state().Memories.MemDelay[5] = 4500 + run % 2;
            QElapsedTimer timer;
            timer.start();
            m_station->station.settings().WriteMem();
            took.push_back(milliseconds(timer));
        }
        m_report.add(Section, QStringLiteral("save (WriteMem), median"), median(took),
                     QStringLiteral("< 20"));
        m_report.add(Section, QStringLiteral("save (WriteMem), worst"), worst(took),
                     QStringLiteral("< 20"));
    }

    // Plays a memory until its first sound has gone to the output, then stops it.
    bool playUntilHeard(int memory)
    {
        click(window().Command3d1(memory), Qt::LeftButton);
        longestStallWhile(
            [this] {
                return m_station->device.timings().firstSound
                       != std::chrono::steady_clock::time_point{};
            },
            10000);
        const bool heard
            = m_station->device.timings().firstSound != std::chrono::steady_clock::time_point{};
        click(window().Command3d1(memory), Qt::LeftButton);
        longestStallWhile([] { return false; }, 100);
        return heard;
    }

    // Left clicks that start a memory and, a moment later, stop it; and the longest the UI thread
    // was held in between, by anything.
    void clicks(int memory, const QString &kind)
    {
        std::vector<double> starts;
        std::vector<double> stops;
        std::vector<double> stalls;
        for (int run = 0; run < Runs; ++run) {
            starts.push_back(timedClick(window().Command3d1(memory), Qt::LeftButton));
            stalls.push_back(longestStallWhile([] { return false; }, 300));
            stops.push_back(timedClick(window().Command3d1(memory), Qt::LeftButton));
            stalls.push_back(longestStallWhile([] { return false; }, 100));
        }
        m_report.add(Section, QStringLiteral("click starting a %1 memory, median").arg(kind),
                     median(starts), QStringLiteral("< 20"));
        m_report.add(Section, QStringLiteral("click starting a %1 memory, worst").arg(kind),
                     worst(starts), QStringLiteral("< 20"));
        m_report.add(Section, QStringLiteral("click stopping a %1 memory, worst").arg(kind),
                     worst(stops), QStringLiteral("< 20"));
        m_report.add(Section, QStringLiteral("longest UI stall while a %1 plays").arg(kind),
                     worst(stalls), QStringLiteral("< 20"));
    }

    // A message played to its end: the end's handling (Done, the transmitter released) is on the
    // UI thread too.
    void messageEnd(int memory)
    {
        std::vector<double> stalls;
        for (int run = 0; run < 3; ++run) {
            click(window().Command3d1(memory), Qt::LeftButton);
            stalls.push_back(longestStallWhile(
                [this] { return m_station->station.station().state().playing() == 0; }, 5000));
        }
        m_report.add(Section, QStringLiteral("longest UI stall over a play to its end"),
                     worst(stalls), QStringLiteral("< 20"));
    }

    // One status report through the whole window: the elapsed time and the progress bar updated
    // by the handler, then painted.
    void statusReport(int memory)
    {
        click(window().Command3d1(memory), Qt::LeftButton);
        constexpr int Reports = 400;
        std::vector<double> handler;
        std::vector<double> painted;
        // A report is the station's count moving on: its change is shown in the window and read by
        // the bus, as the station says it.
        Station &station = m_station->station.station();
        StationState report = station.state();
        for (int i = 0; i < Reports; ++i) {
            report.playTime = (i * 55) % 9000 + 55;
            QElapsedTimer timer;
            timer.start();
            emit station.changed(report);
            handler.push_back(milliseconds(timer));
            // The controls it changed, painted now rather than at the next frame.
            window().Panel3d1()->repaint();
            window().Gauge1()->repaint();
            painted.push_back(milliseconds(timer));
        }
        click(window().Command3d1(memory), Qt::LeftButton);
        const auto mean = [](const std::vector<double> &values) {
            double sum = 0;
            for (double value : values)
                sum += value;
            return sum / double(values.size());
        };
        m_report.add(Section, QStringLiteral("status report, handler only (mean)"), mean(handler));
        m_report.add(Section, QStringLiteral("status report, handler and paint (mean)"),
                     mean(painted));
        m_report.add(Section, QStringLiteral("status report, handler and paint (worst)"),
                     worst(painted));
    }

    BenchReport &m_report;
    QTemporaryDir m_folder;
    QTemporaryDir m_files;
    BenchStation *m_station = nullptr;
};

} // namespace

void runStationBench(BenchReport &report)
{
    StationBench bench(report);
    bench.run();
}
