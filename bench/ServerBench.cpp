// SPDX-License-Identifier: GPL-3.0-or-later
// The station on a sound server of the benchmark's own (PulseAudio with null sinks, as the tests
// start it), side by side with paplay on the same sink, listened to on the sink's monitor:
//   - click on a memory to its first sound on the monitor, against paplay's start to its first
//     sound (9 pairs, alternating);
//   - the last sample heard on the monitor to Done (never before it), also through a tunnel sink
//     to a second server, heard on that server's sink (by the sink's clock);
//   - wake-ups of all the program's threads while it stands idle;
//   - CPU time over a 30 s message, against paplay's over the same file.

#include "bench/BenchReport.h"
#include "bench/BenchSounds.h"
#include "bench/BenchStation.h"
#include "playback/audio/PulseConnection.h"
#include "playback/audio/SoundDevice.h"
#include "tests/support/MonitorCapture.h"
#include "tests/support/PrivateSoundServer.h"
#include "ui/PictureButton.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <map>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

using Steady = std::chrono::steady_clock;
const QString Section = QStringLiteral("server");
constexpr int Pairs = 9;

double milliseconds(Steady::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

double cpuMilliseconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

// Context switches of each of the process's threads so far, by thread: "name (id)".
std::map<QString, qint64> contextSwitches()
{
    std::map<QString, qint64> switches;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status(tasks.filePath(task + QStringLiteral("/status")));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        QString name;
        qint64 count = 0;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("Name:"))
                name = QString::fromUtf8(line.mid(5).trimmed());
            if (line.startsWith("voluntary_ctxt_switches:")
                || line.startsWith("nonvoluntary_ctxt_switches:"))
                count += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
        switches[QStringLiteral("%1 (%2)").arg(name, task)] = count;
    }
    return switches;
}

class ServerBench
{
public:
    explicit ServerBench(BenchReport &report) : m_report(report) { }

    void run()
    {
        QString error;
        if (!m_server.start(&error)) {
            m_report.note(Section + QStringLiteral(": no private PulseAudio server: ") + error);
            return;
        }
        const QString first = m_files.filePath(QStringLiteral("first.wav"));
        const QString shortWav = m_files.filePath(QStringLiteral("short.wav"));
        const QString thirty = m_files.filePath(QStringLiteral("thirty.wav"));
        if (!BenchSounds::writeWav(first, 44100, 2) || !BenchSounds::writeWav(shortWav, 44100, 0.5)
            || !BenchSounds::writeWav(thirty, 44100, 30)) {
            m_report.note(Section + QStringLiteral(": cannot write the test files"));
            return;
        }

        PulseConnection connection;
        m_connection = &connection;
        longestStallWhile([&] { return connection.state() == PulseConnection::Ready; }, 10000);
        if (connection.state() != PulseConnection::Ready) {
            m_report.note(Section + QStringLiteral(": the server does not answer"));
            return;
        }
        populateProgramFolder(m_folder.path());
        BenchStation s(connection, m_folder.path());
        m_station = &s;
        s.station.Form_Load();
        s.station.window().show();
        // The rig's output, as the Sound dialog stores it.
        s.device.setOutput(PrivateSoundServer::Rig);
        s.station.state().Memories.MemFile[0] = first;
        s.station.state().Memories.MemFile[1] = shortWav;
        s.station.state().Memories.MemFile[2] = thirty;

        m_capture = std::make_unique<MonitorCapture>(PrivateSoundServer::Rig + ".monitor");
        if (!m_capture->start(&error)) {
            m_report.note(Section + QStringLiteral(": cannot listen to the monitor: ") + error);
            return;
        }
        // The first play of a run waits for the soundfont that loads in the background.
        click(memory(0), Qt::LeftButton);
        longestStallWhile([this] { return m_capture->firstSound() != Steady::time_point{}; },
                          10000);
        click(memory(0), Qt::LeftButton);
        settle();
        firstSound(first);
        lastSampleToDone();
        m_capture.reset();
        idleWakeUps();
        cpuWhilePlaying(thirty);
        tunnelLastSampleToDone(shortWav);
        m_station = nullptr;
    }

private:
    PictureButton *memory(int index) { return m_station->station.window().Command3d1(index); }
    bool idle() { return m_station->station.station().state().playing() == 0; }

    // Waits until the monitor hears something, up to 5 s; the time from start, or -1.
    double untilHeard(Steady::time_point start)
    {
        longestStallWhile([this] { return m_capture->firstSound() != Steady::time_point{}; }, 5000);
        const Steady::time_point heard = m_capture->firstSound();
        return heard == Steady::time_point{} ? -1 : milliseconds(heard - start);
    }

    void settle()
    {
        longestStallWhile([] { return false; }, 300);
    }

    void firstSound(const QString &file)
    {
        std::vector<double> program;
        std::vector<double> paplay;
        for (int pair = 0; pair < Pairs; ++pair) {
            m_capture->clear();
            const Steady::time_point clicked = Steady::now();
            click(memory(0), Qt::LeftButton);
            const double heard = untilHeard(clicked);
            if (heard >= 0)
                program.push_back(heard);
            click(memory(0), Qt::LeftButton); // stop
            settle();

            m_capture->clear();
            QProcess player;
            const Steady::time_point spawned = Steady::now();
            player.start(QStringLiteral("paplay"),
                         {QStringLiteral("-d"), PrivateSoundServer::Rig, file});
            const double paplayHeard = untilHeard(spawned);
            if (paplayHeard >= 0)
                paplay.push_back(paplayHeard);
            player.terminate();
            player.waitForFinished(5000);
            settle();
        }
        if (qEnvironmentVariableIsSet("VVBENCH_VERBOSE")) {
            QStringList a;
            QStringList b;
            for (double value : program)
                a << QString::number(value, 'f', 2);
            for (double value : paplay)
                b << QString::number(value, 'f', 2);
            m_report.note(QStringLiteral("click to first sound: ") + a.join(' '));
            m_report.note(QStringLiteral("paplay to first sound: ") + b.join(' '));
        }
        if (program.empty() || paplay.empty()) {
            m_report.note(Section + QStringLiteral(": the first sound was not heard"));
            return;
        }
        const double ours = median(program);
        const double theirs = median(paplay);
        m_report.add(Section, QStringLiteral("click to first sound on the monitor, median"), ours,
                     QStringLiteral("<= 1.2 x paplay"));
        m_report.add(Section, QStringLiteral("paplay start to first sound, median"), theirs);
        m_report.add(Section, QStringLiteral("first sound, program / paplay (ratio, not ms)"),
                     ours / theirs, QStringLiteral("<= 1.2"));
    }

    void lastSampleToDone()
    {
        std::vector<double> after;
        for (int run = 0; run < Pairs; ++run) {
            m_capture->clear();
            click(memory(1), Qt::LeftButton);
            longestStallWhile([this] { return idle(); }, 5000);
            const Steady::time_point done = m_station->device.timings().done;
            settle(); // anything the monitor heard after Done shows now
            const Steady::time_point last = m_capture->lastSound();
            if (idle() && last != Steady::time_point{})
                after.push_back(milliseconds(done - last));
        }
        if (after.empty()) {
            m_report.note(Section + QStringLiteral(": no message was heard to its end"));
            return;
        }
        std::sort(after.begin(), after.end());
        m_report.add(Section, QStringLiteral("last sample heard to Done, median"), median(after),
                     QStringLiteral("0 .. 10"));
        m_report.add(Section, QStringLiteral("last sample heard to Done, earliest"), after.front(),
                     QStringLiteral(">= 0"));
        m_report.add(Section, QStringLiteral("last sample heard to Done, latest"), after.back(),
                     QStringLiteral("<= 10"));
    }

    // Through a tunnel sink: the far server's sink is where the last sample is heard.
    void tunnelLastSampleToDone(const QString &file)
    {
        PrivateSoundServer far(PrivateSoundServer::PulseAudio, false);
        QString error;
        if (!far.start(&error)
            || m_server
                   .pactl({QStringLiteral("load-module"), QStringLiteral("module-tunnel-sink-new"),
                           QStringLiteral("server=") + far.address(), QStringLiteral("sink=rig"),
                           QStringLiteral("sink_name=far")})
                   .isNull()) {
            m_report.note(Section + QStringLiteral(": no tunnel to a second server: ") + error);
            return;
        }
        longestStallWhile([this] { return m_connection->hasSink(QStringLiteral("far")); }, 10000);
        MonitorCapture there(PrivateSoundServer::Rig + QStringLiteral(".monitor"),
                             MonitorCapture::SampleRate, far.address());
        if (!there.start(&error)) {
            m_report.note(Section + QStringLiteral(": cannot listen to the far sink: ") + error);
            return;
        }
        SoundDevice device(*m_connection);
        device.setOutput(QStringLiteral("far"));
        std::vector<double> after;
        for (int run = 0; run < Pairs; ++run) {
            there.clear();
            device.open(file);
            Steady::time_point done;
            QObject::connect(&device, &SoundPlayer::finished, [&done] { done = Steady::now(); });
            device.play();
            longestStallWhile([&done] { return done != Steady::time_point{}; }, 10000);
            QObject::disconnect(&device, &SoundPlayer::finished, nullptr, nullptr);
            settle(); // the far end plays the rest
            there.catchUp();
            const std::vector<float> heard = there.samples();
            const auto last = std::find_if(heard.rbegin(), heard.rend(),
                                           [](float sample) { return sample != 0; });
            const qint64 atDone = there.positionAt(done);
            if (done != Steady::time_point{} && last != heard.rend() && atDone >= 0)
                after.push_back(double(atDone - (heard.rend() - last - 1)) * 1000
                                / MonitorCapture::SampleRate);
        }
        if (after.empty()) {
            m_report.note(Section + QStringLiteral(": nothing was heard through the tunnel"));
            return;
        }
        std::sort(after.begin(), after.end());
        m_report.add(Section, QStringLiteral("tunnel: last sample heard far to Done, median"),
                     median(after), QStringLiteral(">= 0"));
        m_report.add(Section, QStringLiteral("tunnel: last sample heard far to Done, earliest"),
                     after.front(), QStringLiteral(">= 0"));
    }

    void idleWakeUps()
    {
        // The sink's own state settles a moment after the last message.
        longestStallWhile([] { return false; }, 3000);
        constexpr int Seconds = 10;
        // The event loop stands idle as the program's does. A thread of the benchmark's own counts
        // once the loop has gone to sleep (going to sleep is a switch too) and before it wakes the
        // loop to end it, and leaves itself out.
        std::map<QString, qint64> before;
        std::map<QString, qint64> after;
        QEventLoop loop;
        std::thread watch([&] {
            const QString self = QStringLiteral("(%1)").arg(::gettid());
            auto others = [&self] {
                auto switches = contextSwitches();
                std::erase_if(switches,
                              [&self](const auto &entry) { return entry.first.endsWith(self); });
                return switches;
            };
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            before = others();
            std::this_thread::sleep_for(std::chrono::seconds(Seconds));
            after = others();
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        watch.join();
        qint64 total = 0;
        QStringList busy;
        for (const auto &[thread, count] : after) {
            const auto was = before.find(thread);
            const qint64 woke = count - (was == before.end() ? 0 : was->second);
            total += woke;
            if (woke > 0)
                busy << QStringLiteral("%1: %2").arg(thread).arg(woke);
        }
        m_report.add(Section,
                     QStringLiteral("idle wake-ups per second, all %1 threads (count, not ms)")
                         .arg(after.size()),
                     double(total) / Seconds, QStringLiteral("0"));
        m_report.note(
            QStringLiteral("context switches over %1 s idle: %2")
                .arg(Seconds)
                .arg(busy.isEmpty() ? QStringLiteral("none") : busy.join(QStringLiteral(", "))));
    }

    void cpuWhilePlaying(const QString &file)
    {
        // The event loop waits for the end without turning on a timer of its own.
        const double before = cpuMilliseconds(RUSAGE_SELF);
        {
            QEventLoop loop;
            QObject::connect(&m_station->device, &SoundPlayer::finished, &loop, &QEventLoop::quit,
                             Qt::QueuedConnection);
            QTimer::singleShot(40000, &loop, &QEventLoop::quit);
            click(memory(2), Qt::LeftButton);
            loop.exec();
        }
        const double ours = cpuMilliseconds(RUSAGE_SELF) - before;

        // The sound device alone, without the window that shows the progress.
        const double deviceBefore = cpuMilliseconds(RUSAGE_SELF);
        {
            SoundDevice device(*m_connection);
            device.setOutput(PrivateSoundServer::Rig);
            device.open(file);
            bool done = false;
            QObject::connect(&device, &SoundPlayer::finished, [&done] { done = true; });
            device.play();
            QEventLoop loop;
            QObject::connect(&device, &SoundPlayer::finished, &loop, &QEventLoop::quit);
            QTimer::singleShot(40000, &loop, &QEventLoop::quit);
            if (!done)
                loop.exec();
        }
        const double device = cpuMilliseconds(RUSAGE_SELF) - deviceBefore;
        m_report.add(Section, QStringLiteral("CPU over a 30 s message, the device alone"), device,
                     QStringLiteral("<= 2 x paplay"));

        const double childrenBefore = cpuMilliseconds(RUSAGE_CHILDREN);
        QProcess player;
        player.start(QStringLiteral("paplay"),
                     {QStringLiteral("-d"), PrivateSoundServer::Rig, file});
        player.waitForFinished(40000);
        const double theirs = cpuMilliseconds(RUSAGE_CHILDREN) - childrenBefore;

        m_report.add(Section, QStringLiteral("CPU over a 30 s message, program"), ours,
                     QStringLiteral("<= 2 x paplay"));
        m_report.add(Section, QStringLiteral("CPU over a 30 s message, paplay"), theirs);
        if (theirs > 0)
            m_report.add(Section, QStringLiteral("CPU, program / paplay (ratio, not ms)"),
                         ours / theirs, QStringLiteral("<= 2"));
    }

    BenchReport &m_report;
    PrivateSoundServer m_server;
    QTemporaryDir m_files;
    QTemporaryDir m_folder;
    std::unique_ptr<MonitorCapture> m_capture;
    BenchStation *m_station = nullptr;
    PulseConnection *m_connection = nullptr;
};

} // namespace

void runServerBench(BenchReport &report)
{
    ServerBench bench(report);
    bench.run();
}
