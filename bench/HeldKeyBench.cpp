// SPDX-License-Identifier: GPL-3.0-or-later
// A key held on a real X server (Xvfb, which repeats a held key as an operator's keyboard does):
// how many keyings one hold of F1 gives. The window needs the X server from its start, so the
// figures come from a second run of this program ("vvbench --held-key"), which prints them.

#include "bench/BenchReport.h"
#include "bench/BenchSounds.h"
#include "bench/BenchStation.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/XServer.h"

#include <QApplication>
#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QWindow>

#include <algorithm>
#include <cstdio>

namespace {

const QString Section = QStringLiteral("heldkey");
constexpr int Holds = 5;
constexpr int HoldMs = 3000;

bool xdotool(const QStringList &arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs = 20000)
{
    longestStallWhile(condition, timeoutMs);
    return condition();
}

} // namespace

int runHeldKeyChild(int argc, char **argv)
{
    XServer server;
    if (!server.running()) {
        std::puts("error Xvfb did not start");
        return 1;
    }
    QApplication application(argc, argv);
    QTemporaryDir folder;
    populateProgramFolder(folder.path());
    const QString wav = folder.filePath(QStringLiteral("Wav/long.wav"));
    PseudoTerminal pty;
    if (!BenchSounds::writeWav(wav, 44100, 4.0) || !pty.isValid()) {
        std::puts("error no test file or pseudo-terminal");
        return 1;
    }
    BenchStation s(folder.path());
    s.station.Form_Load();
    AppState &state = s.station.state();
    state.Memories.MemFile[0] = wav;
    state.Ptt.PttMethod = KeyingMethod::Serial;
    state.Ptt.RtsOn = true;
    state.Ptt.RtsPos = true;
    state.Ptt.SerialDevice = pty.name();
    s.station.keyers().apply();
    s.station.serialKeyer().open();
    s.station.window().show();
    s.station.window().activateWindow();
    if (!waitFor([&] { return s.station.window().isActiveWindow(); })) {
        std::puts("error the window never became active");
        return 1;
    }
    const auto playing = [&] {
        return s.station.station().state().playing() != 0;
    };
    std::printf("keyings");
    for (int hold = 0; hold < Holds; ++hold) {
        const int before = s.lines.rtsCount(true);
        if (!xdotool({"keydown", "F1"})) {
            std::puts("\nerror xdotool is needed");
            return 1;
        }
        longestStallWhile([] { return false; }, HoldMs);
        xdotool({"keyup", "F1"});
        longestStallWhile([] { return false; }, 200);
        std::printf(" %d", s.lines.rtsCount(true) - before);
        xdotool({"key", "Escape"});
        waitFor([&] { return !playing(); });
    }
    std::puts("");
    s.station.Form_Terminate();
    return 0;
}

void runHeldKeyBench(BenchReport &report)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--held-key")});
    if (!child.waitForFinished(180000)) {
        child.kill();
        child.waitForFinished();
        report.note(Section + QStringLiteral(": the run on Xvfb did not finish"));
        return;
    }
    const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
    const QString line = out.section(QStringLiteral("keyings"), 1).section(QLatin1Char('\n'), 0, 0);
    const QStringList counts = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (counts.size() != Holds || out.contains(QLatin1String("error"))) {
        report.note(Section + QStringLiteral(": ") + out.trimmed());
        return;
    }
    std::vector<double> keyings;
    for (const QString &count : counts)
        keyings.push_back(count.toDouble());
    report.note(Section
                + QStringLiteral(": F1 held %1 s on Xvfb (key repeat after 250 ms, every 30 ms), "
                                 "%2 times; the keyings are RTS changes to keyed on a "
                                 "pseudo-terminal.")
                      .arg(HoldMs / 1000)
                      .arg(Holds));
    report.add(Section,
               QStringLiteral("keyings per held F1, most of %1 holds (count, not ms)").arg(Holds),
               *std::max_element(keyings.begin(), keyings.end()), "1");
}
