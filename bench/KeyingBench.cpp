// SPDX-License-Identifier: GPL-3.0-or-later
// Keying through the whole station (the window offscreen, the real sound device and serial lines,
// a real rigctld): how soon a click on a memory reaches each keying method, how closely the lead
// and the tail keep to their settings, and how long the UI thread is held while the rig does
// not answer.
//
// Serial: a pseudo-terminal is the port (it has no modem lines: the port layer's ioctl fails, and
// the program says so once); the figure runs to the moment that ioctl has returned. CAT: to
// rigctld's answer, as the keyer confirms it on the UI thread. None: to the first paint of the
// station picture showing the station on air.

#include "bench/BenchReport.h"
#include "bench/BenchSounds.h"
#include "bench/BenchStation.h"
#include "ptt/HamlibKeyer.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/Rigctld.h"
#include "ui/PictureButton.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QTemporaryDir>

#include <QTimer>
#include <QWindow>
#include <optional>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;
const QString Section = QStringLiteral("keying");
constexpr int Runs = 21;

double milliseconds(Steady::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

// Runs the event loop until `condition` holds; false after `timeoutMs`.
bool waitFor(const std::function<bool()> &condition, int timeoutMs = 5000)
{
    longestStallWhile(condition, timeoutMs);
    return condition();
}

// Lets the event loop run for a while.
void pause(int ms)
{
    longestStallWhile([] { return false; }, ms);
}

// Notes when a widget is painted.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QWidget *widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            paintedAt = Steady::now();
            ++paints;
        }
        return QObject::eventFilter(watched, event);
    }
    Steady::time_point paintedAt;
    int paints = 0;
};

class KeyingBench
{
public:
    KeyingBench(BenchReport &report, BenchStation &s) : m_report(report), m_s(s) { }

    // rigctld outlives the station: its end releases the rig and waits for the keyer's thread.
    void run(const PseudoTerminal &pty, Rigctld &rigctld)
    {
        if (!pty.isValid()) {
            m_report.note(Section + QStringLiteral(": no pseudo-terminal for the serial lines"));
            return;
        }
        m_report.note(
            Section
            + QStringLiteral(": the real sound device on SDL's \"%1\" driver (it plays in real "
                             "time and reports Done once the last sample has left); a "
                             "pseudo-terminal as the serial port (it has no modem lines: the "
                             "program's \"cannot set RTS\" is expected, and the serial figures "
                             "run to the failed ioctl's return); a rigctld of its own (dummy rig, "
                             "-P RIG). The \"PTT:\" lines are the program's own about the silent "
                             "and the stopped rig.")
                  .arg(QString::fromLocal8Bit(qgetenv("SDL_AUDIODRIVER"))));
        useSerial(pty.name());
        if (!m_s.lines.isOpen()) {
            m_report.note(Section + QStringLiteral(": the pseudo-terminal does not open: ")
                          + m_s.lines.errorString());
            return;
        }
        serialKeying();
        leadAndTail(300, 300);
        leadAndTail(100, 100);
        noneKeying();

        if (Rigctld::program().isEmpty()) {
            m_report.note(Section + QStringLiteral(": rigctld is not installed; no CAT figures"));
            return;
        }
        if (!rigctld.start()) {
            m_report.note(Section + QStringLiteral(": rigctld cannot start: ") + rigctld.error());
            return;
        }
        catKeying(rigctld);
        stalls(rigctld);
    }

private:
    AppState &state() { return m_s.station.state(); }
    QWidget *memory() { return m_s.station.window().Command3d1(0); }
    bool playing() { return m_s.station.station().state().playing() != 0; }

    void useSerial(const QString &device)
    {
        state().Ptt.PttMethod = KeyingMethod::Serial;
        state().Ptt.RtsOn = true;
        state().Ptt.RtsPos = true;
        state().Ptt.SerialDevice = device;
        m_s.station.keyers().apply();
        if (!m_s.lines.isOpen())
            m_s.station.serialKeyer().open();
    }

    void useCat(const QString &address)
    {
        state().Ptt.PttMethod = KeyingMethod::Cat;
        state().Ptt.RigModel = HamlibSettings::NetworkModel;
        state().Ptt.RigPort = address;
        m_s.station.keyers().apply();
    }

    // A click on the memory, and the time it was given.
    Steady::time_point clickMemory()
    {
        const Steady::time_point at = Steady::now();
        click(memory(), Qt::LeftButton);
        return at;
    }

    // Click to the RTS ioctl done, keying and release; the message stopped by a second click.
    void serialKeying()
    {
        std::vector<double> keying;
        std::vector<double> release;
        for (int run = 0; run <= Runs; ++run) {
            const int keyed = m_s.lines.rtsCount(true);
            const int released = m_s.lines.rtsCount(false);
            const Steady::time_point start = clickMemory();
            if (!waitFor([&] { return m_s.lines.rtsCount(true) > keyed; })) {
                m_report.note(Section + QStringLiteral(": a click did not key the serial lines"));
                return;
            }
            pause(30);
            const Steady::time_point stop = clickMemory();
            waitFor([&] { return m_s.lines.rtsCount(false) > released && !playing(); });
            // The first run pays for what is loaded once; it is not counted.
            if (run > 0) {
                keying.push_back(milliseconds(m_s.lines.rtsAt(true) - start));
                release.push_back(milliseconds(m_s.lines.rtsAt(false) - stop));
            }
            pause(30);
        }
        m_report.addSpread(Section, "serial: click to RTS ioctl done, keying", keying, "< 5");
        m_report.addSpread(Section, "serial: click to RTS ioctl done, release", release, "< 5");
    }

    // Messages played to their end with a lead and a tail: the keying request (RTS ioctl done)
    // to the device's Play, and the device's Done (Successful: its last sample heard) to the
    // release request; each against its setting.
    void leadAndTail(int leadMs, int tailMs)
    {
        state().Ptt.LeadMs = leadMs;
        state().Ptt.TailMs = tailMs;
        std::optional<SoundPlayer::Outcome> lastCode;
        const QMetaObject::Connection done
            = QObject::connect(&m_s.device, &SoundPlayer::finished,
                               [&](SoundPlayer::Outcome code) { lastCode = code; });
        std::vector<double> lead;
        std::vector<double> tail;
        for (int run = 0; run < Runs; ++run) {
            const int released = m_s.lines.rtsCount(false);
            lastCode.reset();
            clickMemory();
            if (!waitFor([&] { return m_s.lines.rtsCount(false) > released && !playing(); },
                         leadMs + tailMs + 5000)
                || lastCode != SoundPlayer::Outcome::Ended) {
                m_report.note(Section
                              + QStringLiteral(": a message with a lead of %1 ms did not play to "
                                               "its end and release")
                                    .arg(leadMs));
                break;
            }
            const SoundDevice::Timings timings = m_s.device.timings();
            lead.push_back(milliseconds(timings.play - m_s.lines.rtsAt(true)) - leadMs);
            tail.push_back(milliseconds(m_s.lines.rtsAt(false) - timings.done) - tailMs);
            pause(50);
        }
        QObject::disconnect(done);
        state().Ptt.LeadMs = 0;
        state().Ptt.TailMs = 0;
        addError(QStringLiteral("lead %1 ms: keying request to Play").arg(leadMs), lead);
        addError(QStringLiteral("tail %1 ms: Done (last sample heard) to release").arg(tailMs),
                 tail);
    }

    // No keyer: a click only changes the station picture. To its first paint on air.
    void noneKeying()
    {
        state().Ptt.PttMethod = KeyingMethod::None;
        m_s.station.keyers().apply();
        PaintWatch watch(m_s.station.window().Image1());
        std::vector<double> shown;
        for (int run = 0; run <= Runs; ++run) {
            pause(30);
            const int paints = watch.paints;
            const Steady::time_point start = clickMemory();
            const bool painted = waitFor(
                [&] { return watch.paints > paints && m_s.station.station().state().onAir; });
            if (painted && run > 0)
                shown.push_back(milliseconds(watch.paintedAt - start));
            pause(30);
            clickMemory();
            waitFor([&] { return !playing(); });
        }
        m_report.addSpread(Section, "none: click to the on-air picture painted", shown, "< 20");
    }

    // Click to rigctld's answer, keying and release, as the keyer confirms it on the UI thread.
    // The clicks come when the rig has settled after the previous message; then again each
    // 30 ms after the previous release was confirmed, as an operator who starts the next
    // message at once.
    void catKeying(Rigctld &rigctld)
    {
        useCat(rigctld.address());
        HamlibKeyer *keyer = m_s.station.keyers().hamlibKeyer();
        if (!keyer || !waitFor([&] { return keyer->isReady(); }, 8000)) {
            m_report.note(Section + QStringLiteral(": the station does not reach rigctld"));
            return;
        }
        // The benchmark hears the rig's answer before the station does (the station follows the
        // keyer again after it), so that the audio the answer lets go is timed from the answer.
        m_s.station.station().setKeyer(nullptr);
        QObject::connect(keyer, &PttKeyer::confirmed, keyer, [this](bool onAir) {
            m_confirmedAt = Steady::now();
            ++m_confirmations[onAir];
        });
        m_s.station.station().setKeyer(keyer);
        // The release that the station's state gave the rig on connecting is confirmed first.
        pause(500);
        std::vector<double> keying;
        std::vector<double> release;
        if (!catRuns(500, keying, release))
            return;
        m_report.addSpread(Section, "CAT: click to rigctld's answer, keying", keying, "< 10");
        m_report.addSpread(Section, "CAT: click to rigctld's answer, release", release,
                           "~100 (hamlib waits 50 ms after a release)");
        // The audio waits for the rig: never before its answer, and soon after it.
        const auto early = std::count_if(m_answerToPlay.begin(), m_answerToPlay.end(),
                                         [](double ms) { return ms < 0; });
        m_report.add(Section,
                     QStringLiteral("CAT: plays started before rigctld's answer, of %1")
                         .arg(m_answerToPlay.size()),
                     double(early), QStringLiteral("0"));
        m_report.addSpread(Section, "CAT: rigctld's answer to the player's Play", m_answerToPlay,
                           "0 to 10");
        m_report.addSpread(Section, "CAT: rigctld's answer to the first sound handed out",
                           m_answerToSound, ">= 0");
        keying.clear();
        std::vector<double> unused;
        if (!catRuns(30, keying, unused))
            return;
        m_report.addSpread(Section, "CAT: click to rigctld's answer, keying 30 ms after a release",
                           keying, "< 10");
        QObject::disconnect(keyer, &PttKeyer::confirmed, keyer, nullptr);
    }

    // Messages started and, 30 ms after rigctld confirmed the keying, stopped; `restMs` after
    // the release was confirmed the next one starts.
    bool catRuns(int restMs, std::vector<double> &keying, std::vector<double> &release)
    {
        for (int run = 0; run <= Runs; ++run) {
            const int keyed = m_confirmations[1];
            const Steady::time_point start = clickMemory();
            if (!waitFor([&] { return m_confirmations[1] > keyed; })) {
                m_report.note(Section + QStringLiteral(": rigctld did not confirm a keying"));
                return false;
            }
            const double toKeyed = milliseconds(m_confirmedAt - start);
            const Steady::time_point keyedAt = m_confirmedAt;
            const bool sounded = waitFor(
                [&] { return m_s.device.timings().firstSound != Steady::time_point{}; }, 2000);
            if (run > 0 && sounded && restMs > 30) {
                const SoundDevice::Timings timings = m_s.device.timings();
                m_answerToPlay.push_back(milliseconds(timings.play - keyedAt));
                m_answerToSound.push_back(milliseconds(timings.firstSound - keyedAt));
            }
            pause(30);
            const int released = m_confirmations[0];
            const Steady::time_point stop = clickMemory();
            if (!waitFor([&] { return m_confirmations[0] > released; })) {
                m_report.note(Section + QStringLiteral(": rigctld did not confirm a release"));
                return false;
            }
            const double toReleased = milliseconds(m_confirmedAt - stop);
            // The first run pays for what is loaded once; it is not counted.
            if (run > 0) {
                keying.push_back(toKeyed);
                release.push_back(toReleased);
            }
            pause(restMs);
        }
        return true;
    }

    // The station keying through CAT while the operator goes on clicking (a memory every
    // 100 ms, its stop 50 ms later): the longest gap in the UI thread's 1 ms tick beyond the
    // tick itself, towards a server that takes the connection and never answers, towards a
    // stopped rigctld, and towards one that answers; then the same watch idle.
    void stalls(Rigctld &rigctld)
    {
        const QString target = QStringLiteral("< 5");
        SilentServer silent;
        useCat(silent.address());
        m_report.add(Section, QStringLiteral("longest UI-thread stall, rig server never answers"),
                     watchWhileClicking(3000), target);

        useCat(rigctld.address());
        HamlibKeyer *keyer = m_s.station.keyers().hamlibKeyer();
        if (!keyer || !waitFor([&] { return keyer->isReady(); }, 8000)) {
            m_report.note(Section + QStringLiteral(": the station does not reach rigctld again"));
            return;
        }
        clickMemory(); // on air when the rig stops answering
        pause(100);
        rigctld.pause();
        m_report.add(Section, QStringLiteral("longest UI-thread stall, rigctld stopped (SIGSTOP)"),
                     watchWhileClicking(3000), target);
        rigctld.resume();
        if (!waitFor([&] { return keyer->isReady(); }, 8000)) {
            m_report.note(Section + QStringLiteral(": rigctld does not answer again"));
            return;
        }
        m_report.add(Section, QStringLiteral("longest UI-thread stall, rigctld answering"),
                     watchWhileClicking(3000), QStringLiteral("(for comparison)"));
        m_report.add(Section, QStringLiteral("longest UI-thread stall, the same watch idle"),
                     std::max(0.0, longestStallWhile([] { return false; }, 3000) - 1),
                     QStringLiteral("(the machine's own)"));
    }

    double watchWhileClicking(int ms)
    {
        QTimer clicks;
        QObject::connect(&clicks, &QTimer::timeout, [&] { click(memory(), Qt::LeftButton); });
        clicks.start(50);
        const double gap = longestStallWhile([] { return false; }, ms);
        clicks.stop();
        if (playing())
            click(memory(), Qt::LeftButton);
        return std::max(0.0, gap - 1);
    }

    // Errors against a setting: the median of the signed error, and the largest one either way.
    void addError(const QString &measure, const std::vector<double> &errors)
    {
        if (errors.empty()) {
            m_report.note(Section + QStringLiteral(": no result for ") + measure);
            return;
        }
        verbose(measure, errors);
        const auto largest = std::max_element(errors.begin(), errors.end(), [](double a, double b) {
            return std::fabs(a) < std::fabs(b);
        });
        m_report.add(Section, measure + QStringLiteral(", error median"), median(errors),
                     QStringLiteral("within 5"));
        m_report.add(Section, measure + QStringLiteral(", error worst"), *largest,
                     QStringLiteral("within 5"));
    }

    void verbose(const QString &measure, const std::vector<double> &values)
    {
        if (!qEnvironmentVariableIsSet("VVBENCH_VERBOSE"))
            return;
        QStringList all;
        for (double value : values)
            all << QString::number(value, 'f', 2);
        m_report.note(measure + QStringLiteral(": ") + all.join(QLatin1Char(' ')));
    }

    BenchReport &m_report;
    BenchStation &m_s;
    Steady::time_point m_confirmedAt;
    std::vector<double> m_answerToPlay;
    std::vector<double> m_answerToSound;
    int m_confirmations[2] = {0, 0};
};

} // namespace

void runKeyingBench(BenchReport &report)
{
    QTemporaryDir folder;
    populateProgramFolder(folder.path());
    const QString wav = folder.filePath(QStringLiteral("Wav/short.wav"));
    if (!BenchSounds::writeWav(wav, 44100, 0.2)) {
        report.note(Section + QStringLiteral(": cannot write the test file"));
        return;
    }
    // The serial port and the rig outlive the station, which lets them go at its end.
    PseudoTerminal pty;
    Rigctld rigctld;
    BenchStation s(folder.path());
    s.station.Form_Load();
    s.station.state().Memories.MemFile[0] = wav;
    s.station.window().show();
    waitFor([&] { return s.station.window().windowHandle()->isExposed(); });

    KeyingBench bench(report, s);
    bench.run(pty, rigctld);
    s.station.Form_Terminate();
}
