// SPDX-License-Identifier: GPL-3.0-or-later
// The key to the first sample heard, on a PulseAudio and on a PipeWire server of the benchmark's
// own (each started and ended by its PIDs, as the tests start them), with the null sink "rig" as
// the rig's output: the whole station keys through the serial lines (a pseudo-terminal as the
// port; the key is the moment the RTS ioctl has returned) and plays memory 1, a short tone, for
// the first message after the sink has idled into suspend and for a later one. Beside it, in
// turn, paplay (and pw-play on PipeWire) play the same file on the same sink, from the spawn of
// the process. 9 pairs of each.
//
// The sink's monitor is listened to by a capture that does not keep the sink awake (a passive
// one), so the sink still suspends while it listens. Times are read on the sink's clock: where
// the capture stood at the key (or the spawn) by the server's count of what it has handed over,
// against the index of the first sample that is not silent.

#include "bench/BenchReport.h"
#include "bench/BenchSounds.h"
#include "bench/BenchStation.h"
#include "bench/PassiveCapture.h"
#include "playback/audio/PulseConnection.h"
#include "tests/support/PrivateSoundServer.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/SetUp.h"
#include "ui/PictureButton.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;
const QString Section = QStringLiteral("firstsample");
constexpr int Pairs = 9;
constexpr double NoResult = std::numeric_limits<double>::quiet_NaN();

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    longestStallWhile(condition, timeoutMs);
    return condition();
}

struct Figures
{
    QString who;
    std::vector<double> first; // after the sink suspended
    std::vector<double> later;
};

class FirstSampleBench
{
public:
    FirstSampleBench(BenchReport &report, PrivateSoundServer &server, BenchStation &s,
                     PassiveCapture &capture, const QString &file)
        : m_report(report), m_server(server), m_s(s), m_capture(capture), m_file(file)
    { }

    void run()
    {
        std::vector<Figures> peers{{QStringLiteral("paplay"), {}, {}}};
        if (m_server.kind() == PrivateSoundServer::PipeWire) {
            if (QStandardPaths::findExecutable(QStringLiteral("pw-play")).isEmpty())
                m_report.note(Section + QStringLiteral(": pw-play is not installed"));
            else
                peers.push_back({QStringLiteral("pw-play"), {}, {}});
        }
        if (QStandardPaths::findExecutable(QStringLiteral("paplay")).isEmpty()) {
            m_report.note(Section + QStringLiteral(": paplay is not installed"));
            peers.erase(peers.begin());
        }
        // The first play of a run waits for what loads in the background; not counted.
        playMemory();
        Figures program{QStringLiteral("program"), {}, {}};
        bool suspends = true;
        for (int pair = 0; pair < Pairs; ++pair) {
            suspends = untilSuspended() && suspends;
            program.first.push_back(playMemory());
            for (Figures &peer : peers) {
                suspends = untilSuspended() && suspends;
                peer.first.push_back(playPeer(peer.who));
            }
        }
        if (!suspends)
            m_report.note(Section + QStringLiteral(": ") + m_server.name()
                          + QStringLiteral(": the sink did not always suspend in 30 s"));
        for (int pair = 0; pair < Pairs; ++pair) {
            program.later.push_back(playMemory());
            for (Figures &peer : peers)
                peer.later.push_back(playPeer(peer.who));
        }
        report(program, peers);
    }

private:
    QString sinkState()
    {
        for (const QByteArray &line : m_server.pactl({"list", "sinks", "short"}).split('\n')) {
            const QList<QByteArray> fields = line.split('\t');
            if (fields.size() >= 5 && fields.at(1) == PrivateSoundServer::Rig.toUtf8())
                return QString::fromUtf8(fields.last().trimmed());
        }
        return QString();
    }

    bool untilSuspended()
    {
        for (int tries = 0; tries < 60; ++tries) {
            if (sinkState() == QStringLiteral("SUSPENDED"))
                return true;
            longestStallWhile([] { return false; }, 500);
        }
        return false;
    }

    // Memory 1 played to its end: the key to its first sample, or NaN.
    double playMemory()
    {
        const int keyed = m_s.lines.rtsCount(true);
        const int released = m_s.lines.rtsCount(false);
        m_capture.reset();
        click(m_s.station.window().Command3d1(0), Qt::LeftButton);
        const double heard = waitFor([&] { return m_s.lines.rtsCount(true) > keyed; }, 10000)
                                 ? m_capture.fromTo(m_s.lines.rtsAt(true))
                                 : NoResult;
        waitFor(
            [&] {
                return m_s.lines.rtsCount(false) > released
                       && m_s.station.station().state().playing() == 0;
            },
            10000);
        longestStallWhile([] { return false; }, 200);
        return heard;
    }

    // The peer played to its end: its spawn to its first sample, or NaN.
    double playPeer(const QString &who)
    {
        const QStringList arguments
            = who == QStringLiteral("paplay")
                  ? QStringList{QStringLiteral("-d"), PrivateSoundServer::Rig}
                  : QStringList{QStringLiteral("--target"), PrivateSoundServer::Rig};
        m_capture.reset();
        QProcess player;
        const Steady::time_point spawned = Steady::now();
        player.start(who, arguments + QStringList{m_file});
        const double heard = m_capture.fromTo(spawned);
        player.waitForFinished(10000);
        longestStallWhile([] { return false; }, 200);
        return heard;
    }

    // The median, the latest and, when some came before the start, the earliest (the capture
    // hears the sink in blocks of a millisecond: a fraction of one either way is no more than
    // that). Every figure with VVBENCH_VERBOSE=1. The median, or NaN.
    double add(const QString &measure, std::vector<double> values, const QString &target)
    {
        std::erase_if(values, [](double v) { return std::isnan(v); });
        if (values.empty()) {
            m_report.note(Section + QStringLiteral(": no result for ") + measure);
            return NoResult;
        }
        if (qEnvironmentVariableIsSet("VVBENCH_VERBOSE")) {
            QStringList all;
            for (double value : values)
                all << QString::number(value, 'f', 2);
            m_report.note(measure + QStringLiteral(": ") + all.join(QLatin1Char(' ')));
        }
        std::sort(values.begin(), values.end());
        const double middle = values[values.size() / 2];
        m_report.add(Section, measure + QStringLiteral(", median of %1").arg(values.size()), middle,
                     target);
        m_report.add(Section, measure + QStringLiteral(", latest"), values.back(), target);
        if (values.front() < 0)
            m_report.add(Section, measure + QStringLiteral(", earliest"), values.front(),
                         QStringLiteral(">= -1"));
        return middle;
    }

    void report(const Figures &program, const std::vector<Figures> &peers)
    {
        const QString server = m_server.name() + QStringLiteral(", ");
        for (auto [message, figures] :
             {std::pair{QStringLiteral("first message"), &Figures::first},
              std::pair{QStringLiteral("later message"), &Figures::later}}) {
            const QString measure = server + message;
            const double ours = add(measure + QStringLiteral(": key to first sample"),
                                    program.*figures, QStringLiteral("<= 20"));
            for (const Figures &peer : peers) {
                const double theirs
                    = add(measure + QStringLiteral(": %1 spawn to first sample").arg(peer.who),
                          peer.*figures, QString());
                if (!std::isnan(ours) && !std::isnan(theirs) && theirs > 0)
                    m_report.add(
                        Section,
                        measure + QStringLiteral(": program / %1 (ratio, not ms)").arg(peer.who),
                        ours / theirs);
            }
        }
    }

    BenchReport &m_report;
    PrivateSoundServer &m_server;
    BenchStation &m_s;
    PassiveCapture &m_capture;
    QString m_file;
};

void runOn(BenchReport &report, PrivateSoundServer::Kind kind)
{
    PrivateSoundServer server(kind);
    QString error;
    if (!server.start(&error)) {
        report.note(Section + QStringLiteral(": no private %1: ").arg(server.name()) + error);
        return;
    }
    // A desktop's PulseAudio suspends an idle sink (after 5 s; here after 1 s, to save time);
    // WirePlumber does so on its own after 5 s.
    if (kind == PrivateSoundServer::PulseAudio
        && server.pactl({"load-module", "module-suspend-on-idle", "timeout=1"}).isNull()) {
        report.note(Section + QStringLiteral(": PulseAudio cannot suspend its sinks"));
        return;
    }
    QTemporaryDir folder;
    populateProgramFolder(folder.path());
    const QString file = folder.filePath(QStringLiteral("Wav/tone.wav"));
    const QString wake = folder.filePath(QStringLiteral("wake.wav"));
    if (!BenchSounds::writeWav(file, server.sampleRate(), 0.3)
        || !BenchSounds::writeWav(wake, server.sampleRate(), 2)) {
        report.note(Section + QStringLiteral(": cannot write the test file"));
        return;
    }
    // PipeWire gives a passive capture its start only while the sink runs: something plays.
    QProcess waking;
    waking.start(QStringLiteral("paplay"), {QStringLiteral("-d"), PrivateSoundServer::Rig, wake});
    PassiveCapture capture(PrivateSoundServer::Rig + QStringLiteral(".monitor"),
                           server.sampleRate());
    const bool listening = capture.start(&error);
    waking.waitForFinished(10000);
    if (!listening) {
        report.note(Section + QStringLiteral(": cannot listen to the monitor: ") + error);
        return;
    }
    PulseConnection connection;
    if (!waitFor(
            [&] {
                return connection.state() == PulseConnection::Ready
                       && connection.hasSink(PrivateSoundServer::Rig);
            },
            30000)) {
        report.note(Section + QStringLiteral(": %1 does not answer").arg(server.name()));
        return;
    }
    // The serial port outlives the station, which lets it go at its end.
    PseudoTerminal pty;
    BenchStation s(connection, folder.path());
    s.station.Form_Load();
    AppState &state = setUp(s.station);
    state.Memories.MemFile[0] = file;
    state.Audio.AudioOutput = PrivateSoundServer::Rig;
    s.device.setOutput(PrivateSoundServer::Rig);
    state.Ptt.PttMethod = KeyingMethod::Serial;
    state.Ptt.RtsOn = true;
    state.Ptt.RtsPos = true;
    state.Ptt.SerialDevice = pty.name();
    s.station.keyers().apply();
    if (!s.lines.isOpen())
        s.station.serialKeyer().open();
    s.station.window().show();
    if (!pty.isValid() || !s.lines.isOpen()) {
        report.note(Section + QStringLiteral(": no pseudo-terminal for the serial lines"));
        return;
    }
    FirstSampleBench(report, server, s, capture, file).run();
    s.station.Form_Terminate();
}

} // namespace

void runFirstSampleBench(BenchReport &report)
{
    report.note(
        Section
        + QStringLiteral(": the station keys through a pseudo-terminal (the key: the RTS ioctl "
                         "returned; \"cannot set RTS\" is expected) and plays a 0.3 s tone on the "
                         "null sink \"rig\"; paplay and pw-play play the file on the same sink, "
                         "from their spawn. The first sample is the first one not silent at the "
                         "sink's monitor (a passive capture, which lets the sink suspend), placed "
                         "on the sink's clock by the server's timing info. First message: after "
                         "the sink was seen SUSPENDED; later: right after another play."));
    runOn(report, PrivateSoundServer::PulseAudio);
    runOn(report, PrivateSoundServer::PipeWire);
}
