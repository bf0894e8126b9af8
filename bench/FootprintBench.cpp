// SPDX-License-Identifier: GPL-3.0-or-later
// How light the program is on the station computer, seen from outside as the operator starts it:
// the program in a program folder of its own, its settings at their defaults (serial keying), on
// an X server, a PulseAudio server and a session bus of the benchmark's own, beside its peers
// started the same way:
//   - exec to the window mapped, against a minimal Qt Widgets program (11 alternating pairs);
//   - resident memory, threads and CPU spent 3 s after exec, against the same program;
//   - CPU over a 30 s message that voicevocta-send plays, against paplay playing the same file
//     on the same server (3 alternating pairs), and what each of its threads spent of it; beside
//     them the minimal window counting the same 30 s on screen as the program's status does
//     (the least the toolkit spends to show it).
// It notes which optional parts (hamlib, FluidSynth, SDL) are mapped once the window is up.

#include "bench/BenchReport.h"
#include "bench/BenchSounds.h"
#include "bench/BenchStation.h"
#include "bench/WindowWatch.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/PrivateSoundServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <map>
#include <optional>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
const QString Section = QStringLiteral("footprint");
constexpr int StartPairs = 11;
constexpr int PlayPairs = 3;
constexpr auto SettleAfterExec = std::chrono::seconds(3);

double milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

// What a running process holds and has spent.
struct ProcessFigures
{
    double residentMb = -1;
    int threads = -1;
    double cpuMs = -1; // user and system, all its threads, since exec
    int sharedObjects = -1;
    QStringList optionalParts; // those of hamlib, FluidSynth and SDL that are mapped
};

ProcessFigures figuresOf(qint64 pid)
{
    ProcessFigures figures;
    const QString proc = QStringLiteral("/proc/%1/").arg(pid);
    QFile status(proc + QStringLiteral("status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            const QByteArray value = line.mid(line.indexOf(':') + 1).trimmed();
            if (line.startsWith("VmRSS:"))
                figures.residentMb = value.split(' ').value(0).toDouble() / 1024;
            else if (line.startsWith("Threads:"))
                figures.threads = value.toInt();
        }
    }
    QFile stat(proc + QStringLiteral("stat"));
    if (stat.open(QIODevice::ReadOnly)) {
        // After the name in parentheses: fields 3 onwards; utime and stime are fields 14 and 15.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 13) {
            const double ticks = fields.at(11).toDouble() + fields.at(12).toDouble();
            figures.cpuMs = ticks * 1000 / double(::sysconf(_SC_CLK_TCK));
        }
    }
    QFile maps(proc + QStringLiteral("maps"));
    if (maps.open(QIODevice::ReadOnly)) {
        QSet<QByteArray> objects;
        for (const QByteArray &line : maps.readAll().split('\n')) {
            const int slash = line.indexOf('/');
            if (slash >= 0 && line.contains(".so"))
                objects.insert(line.mid(slash));
        }
        figures.sharedObjects = int(objects.size());
        for (const char *part : {"libhamlib", "libfluidsynth", "libSDL2"}) {
            for (const QByteArray &object : std::as_const(objects)) {
                if (object.contains(part)) {
                    figures.optionalParts << QString::fromLatin1(part);
                    break;
                }
            }
        }
    }
    return figures;
}

// The CPU time each thread of a process has spent (user and system, in ms), summed by thread name;
// the main thread, which carries the program's name, as "main".
std::map<QString, double> cpuByThread(qint64 pid)
{
    std::map<QString, double> cpu;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(tasks.filePath(tid + QStringLiteral("/comm")));
        QFile run(tasks.filePath(tid + QStringLiteral("/schedstat"))); // nanoseconds first
        if (!name.open(QIODevice::ReadOnly) || !run.open(QIODevice::ReadOnly))
            continue;
        const QString thread = tid.toLongLong() == pid
                                   ? QStringLiteral("main")
                                   : QString::fromUtf8(name.readAll().trimmed());
        cpu[thread] += run.readAll().split(' ').value(0).toDouble() / 1e6;
    }
    return cpu;
}

// Ends a program as the desktop does at logout, and waits for its end.
void end(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(process.processId()), SIGTERM);
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

double cpuOfChildren()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

class FootprintBench
{
public:
    explicit FootprintBench(BenchReport &report) : m_report(report) { }

    void run()
    {
        QString error;
        if (!m_x.start(&error) || !m_sound.start(&error) || !startBus(&error)
            || !makeProgramFolder(&error)) {
            m_report.note(Section + QStringLiteral(": ") + error);
            return;
        }
        m_watch = std::make_unique<WindowWatch>(m_x.display());
        if (!m_watch->isConnected()) {
            m_report.note(Section + QStringLiteral(": cannot watch the X server"));
            return;
        }
        // The children find the X server, the sound server (this process points at it) and the
        // bus; SDL, should it be asked, plays into nothing.
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        m_env.insert(QStringLiteral("DISPLAY"), m_x.display());
        m_env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
        startUp();
        cpuWhilePlaying();
    }

private:
    bool startBus(QString *error)
    {
        if (m_bus.start())
            return true;
        *error = m_bus.errorString();
        return false;
    }

    // The program, its helpers and its pictures and sounds, as an installed program folder.
    bool makeProgramFolder(QString *error)
    {
        const QDir build(QStringLiteral(VV_PROGRAM_DIR));
        const QStringList files = build.entryList({QStringLiteral("voicevocta*")}, QDir::Files);
        for (const QString &name : files) {
            const QString copy = m_folder.filePath(name);
            if (!QFile::copy(build.filePath(name), copy)
                || !QFile::setPermissions(copy, QFile::permissions(build.filePath(name)))) {
                *error = QStringLiteral("cannot copy %1 to a program folder").arg(name);
                return false;
            }
        }
        populateProgramFolder(m_folder.path());
        m_program = m_folder.filePath(QStringLiteral("voicevocta"));
        if (!QFileInfo(m_program).isExecutable()) {
            *error = QStringLiteral("no program in %1").arg(build.path());
            return false;
        }
        return true;
    }

    struct Start
    {
        double mappedMs = -1;
        ProcessFigures settled;
    };

    // One start of `program`: exec to its window mapped, and its figures 3 s after exec.
    Start startOnce(const QString &program)
    {
        Start start;
        QProcess process;
        process.setProcessEnvironment(m_env);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        m_watch->clear();
        const Clock::time_point spawned = Clock::now();
        process.start(program, {});
        process.waitForStarted(10000);
        if (const auto mapped = m_watch->waitForMap(20000))
            start.mappedMs = milliseconds(*mapped - spawned);
        std::this_thread::sleep_until(spawned + SettleAfterExec);
        if (process.state() == QProcess::Running)
            start.settled = figuresOf(process.processId());
        end(process);
        return start;
    }

    void startUp()
    {
        const QString minimal = QStringLiteral(VV_MINIMAL_PROGRAM);
        // Once each first, so that both find the shared libraries in the page cache.
        startOnce(m_program);
        startOnce(minimal);
        std::vector<Start> ours;
        std::vector<Start> theirs;
        for (int pair = 0; pair < StartPairs; ++pair) {
            // Which one goes first alternates too, so that neither always follows the other.
            if (pair % 2 == 0) {
                ours.push_back(startOnce(m_program));
                theirs.push_back(startOnce(minimal));
            } else {
                theirs.push_back(startOnce(minimal));
                ours.push_back(startOnce(m_program));
            }
        }
        const auto figure = [](const std::vector<Start> &starts, auto field) {
            std::vector<double> values;
            for (const Start &start : starts)
                if (double value = field(start); value >= 0)
                    values.push_back(value);
            return values.empty() ? -1.0 : median(values);
        };
        const auto mapped = [](const Start &s) {
            return s.mappedMs;
        };
        const auto resident = [](const Start &s) {
            return s.settled.residentMb;
        };
        const auto cpu = [](const Start &s) {
            return s.settled.cpuMs;
        };
        const auto threads = [](const Start &s) {
            return double(s.settled.threads);
        };
        const auto objects = [](const Start &s) {
            return double(s.settled.sharedObjects);
        };
        const double ourStart = figure(ours, mapped);
        const double theirStart = figure(theirs, mapped);
        if (ourStart < 0 || theirStart < 0) {
            m_report.note(Section + QStringLiteral(": a window was never mapped"));
            return;
        }
        m_report.add(Section, QStringLiteral("exec to window mapped, program, median"), ourStart,
                     QStringLiteral("<= 1.5 x minimal"));
        m_report.add(Section, QStringLiteral("exec to window mapped, minimal Qt, median"),
                     theirStart);
        m_report.add(Section, QStringLiteral("start-up, program / minimal (ratio, not ms)"),
                     ourStart / theirStart, QStringLiteral("<= 1.5"));
        const double ourMemory = figure(ours, resident);
        const double theirMemory = figure(theirs, resident);
        m_report.add(Section, QStringLiteral("resident 3 s after exec, program (MB, not ms)"),
                     ourMemory, QStringLiteral("<= 1.5 x minimal"));
        m_report.add(Section, QStringLiteral("resident 3 s after exec, minimal Qt (MB, not ms)"),
                     theirMemory);
        if (theirMemory > 0)
            m_report.add(Section, QStringLiteral("memory, program / minimal (ratio, not ms)"),
                         ourMemory / theirMemory, QStringLiteral("<= 1.5"));
        m_report.add(Section, QStringLiteral("CPU in the first 3 s, program"), figure(ours, cpu));
        m_report.add(Section, QStringLiteral("CPU in the first 3 s, minimal Qt"),
                     figure(theirs, cpu));
        m_report.note(QStringLiteral("footprint 3 s after exec: program %1 threads, %2 shared "
                                     "objects, mapped of hamlib/FluidSynth/SDL: %3; minimal Qt "
                                     "%4 threads, %5 shared objects")
                          .arg(figure(ours, threads))
                          .arg(figure(ours, objects))
                          .arg(ours.back().settled.optionalParts.isEmpty()
                                   ? QStringLiteral("none")
                                   : ours.back().settled.optionalParts.join(QLatin1Char(' ')))
                          .arg(figure(theirs, threads))
                          .arg(figure(theirs, objects)));
    }

    // The program plays a 30 s message through voicevocta-send (as a logger would): memory 1,
    // its file replaced by the message; paplay plays the same file on the same server. The
    // program's CPU is read from /proc around the message, paplay's from the children's account
    // once it has ended.
    void cpuWhilePlaying()
    {
        const QString file = m_folder.filePath(QStringLiteral("Wav/1.wav"));
        if (!QFile::remove(file) || !BenchSounds::writeWav(file, 44100, 30)) {
            m_report.note(Section + QStringLiteral(": cannot write the test file"));
            return;
        }
        QProcess program;
        program.setProcessEnvironment(m_env);
        program.setStandardOutputFile(QProcess::nullDevice());
        program.setStandardErrorFile(QProcess::nullDevice());
        m_watch->clear();
        program.start(m_program, {});
        program.waitForStarted(10000);
        const bool shown = m_watch->waitForMap(20000).has_value();
        std::this_thread::sleep_for(SettleAfterExec);
        if (!shown || program.state() != QProcess::Running) {
            m_report.note(Section + QStringLiteral(": the program did not start"));
            return;
        }
        std::vector<double> ours;
        std::vector<double> theirs;
        std::vector<double> counting;
        std::map<QString, std::vector<double>> threads;
        for (int pair = 0; pair < PlayPairs; ++pair) {
            const double before = figuresOf(program.processId()).cpuMs;
            const std::map<QString, double> threadsBefore = cpuByThread(program.processId());
            QProcess send;
            send.setProcessEnvironment(m_env);
            send.start(m_folder.filePath(QStringLiteral("voicevocta-send")),
                       {QStringLiteral("--wait"), QStringLiteral("play"), QStringLiteral("1")});
            if (send.waitForFinished(60000) && send.exitCode() == 0) {
                ours.push_back(figuresOf(program.processId()).cpuMs - before);
                for (const auto &[thread, ms] : cpuByThread(program.processId())) {
                    const auto was = threadsBefore.find(thread);
                    threads[thread].push_back(ms - (was == threadsBefore.end() ? 0 : was->second));
                }
            } else
                m_report.note(Section + QStringLiteral(": voicevocta-send: ")
                              + QString::fromLocal8Bit(send.readAllStandardError()).trimmed());

            const double childrenBefore = cpuOfChildren();
            QProcess paplay;
            paplay.setProcessEnvironment(m_env);
            paplay.start(QStringLiteral("paplay"), {file});
            if (paplay.waitForFinished(60000) && paplay.exitCode() == 0)
                theirs.push_back(cpuOfChildren() - childrenBefore);

            if (const std::optional<double> count = minimalCounting())
                counting.push_back(*count);
        }
        end(program);
        if (ours.empty() || theirs.empty()) {
            m_report.note(Section + QStringLiteral(": no message was played to its end"));
            return;
        }
        const double our = median(ours);
        const double their = median(theirs);
        QStringList byThread;
        for (const auto &[thread, values] : threads)
            byThread << QStringLiteral("%1 %2").arg(thread).arg(median(values), 0, 'f', 1);
        m_report.note(QStringLiteral("footprint: CPU over the message by thread (ms, median): ")
                      + byThread.join(QStringLiteral(", ")));
        m_report.add(Section, QStringLiteral("CPU over a 30 s message, program, median"), our,
                     QStringLiteral("<= 2 x paplay"));
        m_report.add(Section, QStringLiteral("CPU over a 30 s message, paplay, median"), their);
        if (their > 0)
            m_report.add(Section,
                         QStringLiteral("CPU while playing, program / paplay (ratio, not "
                                        "ms)"),
                         our / their, QStringLiteral("<= 2"));
        if (counting.empty())
            return;
        const double counted = median(counting);
        m_report.add(Section, QStringLiteral("CPU over a 30 s count on screen, minimal Qt, median"),
                     counted);
        if (counted > 0)
            m_report.add(Section,
                         QStringLiteral("CPU, program / minimal Qt counting (ratio, not ms)"),
                         our / counted);
    }

    // The CPU the minimal window spends counting 30 s on screen, as it reports it.
    std::optional<double> minimalCounting()
    {
        QProcess minimal;
        minimal.setProcessEnvironment(m_env);
        minimal.setStandardErrorFile(QProcess::nullDevice());
        minimal.start(QStringLiteral(VV_MINIMAL_PROGRAM),
                      {QStringLiteral("--count"), QStringLiteral("30")});
        if (!minimal.waitForFinished(60000)) {
            end(minimal);
            m_report.note(Section + QStringLiteral(": the minimal window did not end its count"));
            return std::nullopt;
        }
        const QByteArray said = minimal.readAllStandardOutput().trimmed();
        bool ok = false;
        const double ms = said.startsWith("cpu-ms ") ? said.mid(7).toDouble(&ok) : 0;
        if (ok)
            return ms;
        m_report.note(Section + QStringLiteral(": the minimal window's count said nothing"));
        return std::nullopt;
    }

    BenchReport &m_report;
    PrivateXServer m_x;
    PrivateSoundServer m_sound;
    PrivateBus m_bus;
    std::unique_ptr<WindowWatch> m_watch;
    QProcessEnvironment m_env;
    QTemporaryDir m_folder;
    QString m_program;
};

} // namespace

void runFootprintBench(BenchReport &report)
{
    FootprintBench bench(report);
    bench.run();
}
