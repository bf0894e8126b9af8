// SPDX-License-Identifier: GPL-3.0-or-later
// The station network on the loopback interface: publish() to the datagram at a peer's socket, a
// peer's datagram to the signal that stops a running station's message, and what a flood of
// 10,000 packets a second (not RadioInfo, and RadioInfo) costs the UI thread and how long it holds
// it. Then the whole program keying a rigctld dummy rig: a click to the datagram that says it
// transmits at a peer, and a search-and-pounce station's packet to the message stopped and to the
// rig read released, beside a click's release at the same rig.

#include "app/NetworkWiring.h"
#include "bench/BenchReport.h"
#include "bench/BenchStation.h"
#include "remote/StationNetwork.h"
#include "station/Clock.h"
#include "tests/support/Rigctld.h"
#include "tests/support/SetUp.h"
#include "ui/PictureButton.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>

#include <atomic>
#include <chrono>
#include <thread>
#include <time.h>

namespace {

const QString Section = QStringLiteral("network");
constexpr int Runs = 201;

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

RadioInfo radio(const QString &name, bool transmitting, bool running)
{
    RadioInfo info;
    info.StationName = name;
    info.Freq = info.TXFreq = 1420500;
    info.IsTransmitting = transmitting;
    info.IsRunning = running;
    return info;
}

// Sends `datagrams` in turn to `port`, 10,000 a second for `seconds`, from a thread of its own;
// meanwhile reports the UI thread's CPU time per second of the flood and its longest stall.
void flood(BenchReport &report, StationNetwork &network, const QList<QByteArray> &datagrams,
           const QString &label)
{
    std::atomic<bool> done = false;
    const quint16 port = network.listeningPort();
    // Each datagram read is dropped or changes what the station is held back by.
    const qint64 droppedBefore = network.droppedCount();
    int changes = 0;
    const auto counting
        = QObject::connect(&network, &StationNetwork::inhibitorsChanged, [&changes] { ++changes; });
    const double cpuBefore = threadCpuMs();
    QElapsedTimer wall;
    wall.start();
    std::thread sender([&] {
        QUdpSocket socket;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 30000; ++i) {
            if (i % 10 == 0)
                std::this_thread::sleep_until(start + std::chrono::microseconds(i * 100));
            socket.writeDatagram(datagrams[i % datagrams.size()], QHostAddress::LocalHost, port);
        }
        done = true;
    });
    const double stall = longestStallWhile([&] { return done.load(); }, 60000);
    sender.join();
    const double cpu = (threadCpuMs() - cpuBefore) / (double(wall.elapsed()) / 1000);
    QObject::disconnect(counting);
    report.note(QStringLiteral("%1: %2 of 30000 datagrams read")
                    .arg(label)
                    .arg(network.droppedCount() - droppedBefore + changes));
    report.add(Section, label + QStringLiteral(": UI thread's CPU per second"), cpu,
               QStringLiteral("< 200 (20 %)"));
    report.add(Section, label + QStringLiteral(": longest the window did not answer"), stall,
               QStringLiteral("< 100"));
}

using Steady = std::chrono::steady_clock;

double msSince(Steady::time_point start)
{
    return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

// The program keying a rigctld dummy rig on 20 m through CAT, on the network (telling a peer's
// socket, hearing on a port of its own, Interlock=band): each message keyed by a click, then
// stopped by a search-and-pounce station's packet or by a second click, in turn; the rig's PTT
// read ("t") on a connection of the benchmark's own until it reads released.
class ProgramPath
{
public:
    ProgramPath(const QString &rigctld, const QString &folder, quint16 listen)
        : m_listen(listen), m_s(folder)
    {
        m_peer.bind(QHostAddress::LocalHost, 0);
        m_s.station.Form_Load();
        AppState &state = setUp(m_s.station);
        state.Ptt.PttMethod = KeyingMethod::Cat;
        state.Ptt.RigPort = rigctld;
        m_s.station.keyers().apply();
        state.Network = {QStringLiteral("127.0.0.1:%1").arg(m_peer.localPort()),
                         QStringLiteral("BENCH"),
                         listen,
                         InterlockMode::Band,
                         5,
                         StationRole::Run};
        m_s.station.network().apply();
        wait([&] { return m_s.station.keyers().current().isReady(); });
        longestStallWhile([] { return false; }, 1500); // the rig's frequency read
    }
    ~ProgramPath() { m_s.station.Form_Terminate(); }

    void run(PttReader &rig, bool bySp)
    {
        while (m_peer.hasPendingDatagrams())
            m_peer.receiveDatagram();
        const Steady::time_point clicked = Steady::now();
        click(m_s.station.window().Command3d1(0), Qt::LeftButton);
        toDatagram.push_back(wait([&] { return heard(); }) ? msSince(clicked) : -1);
        wait([&] { return state().transmitting && state().stage == Stage::Playing; });
        const Steady::time_point stopped = Steady::now();
        if (bySp) {
            sp(true);
            spToStop.push_back(wait([&] { return !state().playing(); }) ? msSince(stopped) : -1);
        } else {
            click(m_s.station.window().Command3d1(0), Qt::LeftButton);
        }
        (bySp ? spToRig : clickToRig)
            .push_back(wait([&] { return rig.read() == 0; }) ? msSince(stopped) : -1);
        sp(false);
        wait([&] {
            return !state().transmitting && m_s.station.network().link().inhibitedBy().isEmpty();
        });
        longestStallWhile([] { return false; }, 100);
    }

    std::vector<double> toDatagram, spToStop, spToRig, clickToRig;

private:
    const StationState &state() { return m_s.station.station().state(); }
    static bool wait(const std::function<bool()> &done)
    {
        bool met = false; // `done` may take what it looks at
        longestStallWhile([&] { return met = met || done(); }, 5000);
        return met;
    }
    bool heard()
    {
        while (m_peer.hasPendingDatagrams())
            if (const auto info = RadioInfo::decode(m_peer.receiveDatagram().data());
                info && info.value.IsTransmitting)
                return true;
        return false;
    }
    void sp(bool transmitting)
    {
        m_sp.writeDatagram(radio(QStringLiteral("SP1"), transmitting, false).encode(),
                           QHostAddress::LocalHost, m_listen);
    }

    quint16 m_listen;
    QUdpSocket m_peer, m_sp;
    BenchStation m_s;
};

void runProgramPath(BenchReport &report)
{
    Rigctld rigctld;
    if (Rigctld::program().isEmpty() || !rigctld.start())
        return report.note(Section + QStringLiteral(": no rigctld; no figures of the program"));
    QProcess::execute(QStringLiteral("rigctl"),
                      {"-m", "2", "-r", rigctld.address(), "F", "14200000"});
    QTemporaryDir folder;
    populateProgramFolder(folder.path());
    QUdpSocket probe; // only to find a free port
    probe.bind(QHostAddress::LocalHost, 0);
    const quint16 listen = probe.localPort();
    probe.close();
    ProgramPath path(rigctld.address(), folder.path(), listen);
    PttReader rig(rigctld.port());
    for (int run = 0; run < 2 * 21; ++run)
        path.run(rig, run % 2 == 0);
    report.addSpread(Section, "program: click to IsTransmitting True at a peer", path.toDatagram,
                     "< 20");
    report.addSpread(Section, "program: search-and-pounce packet to the message stopped",
                     path.spToStop, "< 50");
    // The dummy rig takes 50 ms to release on its own: the packet's path is judged beside a click.
    report.addSpread(Section, "program: search-and-pounce packet to the rig's t reading 0",
                     path.spToRig, "click + 50");
    report.addSpread(Section, "program: click (stop) to the rig's t reading 0", path.clickToRig,
                     "(beside)");
}

} // namespace

void runNetworkBench(BenchReport &report)
{
    SystemClock clock;
    StationNetwork network(clock);
    QUdpSocket board;
    board.bind(QHostAddress::LocalHost, 0);
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    const quint16 peerPort = probe.localPort();
    probe.close();
    NetworkValues values;
    values.StationName = QStringLiteral("BENCH");
    values.RadioInfo = QStringLiteral("127.0.0.1:%1").arg(board.localPort());
    values.Listen = peerPort;
    network.configure(values);

    std::vector<double> sent, heard;
    QByteArray buffer(RadioInfo::MaxDatagram, '\0');
    for (int i = 0; i < Runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        network.publish({radio(QString(), i % 2 == 0, true)});
        board.waitForReadyRead(1000);
        sent.push_back(
            board.readDatagram(buffer.data(), buffer.size()) > 0 ? clock.nsecsElapsed() / 1e6 : -1);
    }
    report.addSpread(Section, QStringLiteral("publish() to the datagram at a peer's socket"), sent,
                     QStringLiteral("< 20"));

    // A search-and-pounce station starts and stops: its datagram to the signal.
    QUdpSocket sp;
    for (int i = 0; i < Runs; ++i) {
        QEventLoop loop;
        QElapsedTimer clock;
        double took = -1;
        const auto once = QObject::connect(&network, &StationNetwork::spStarted, &loop, [&] {
            took = clock.nsecsElapsed() / 1e6;
            loop.quit();
        });
        sp.writeDatagram(radio(QStringLiteral("SP1"), false, false).encode(),
                         QHostAddress::LocalHost, peerPort);
        clock.start();
        sp.writeDatagram(radio(QStringLiteral("SP1"), true, false).encode(),
                         QHostAddress::LocalHost, peerPort);
        QTimer::singleShot(1000, &loop, &QEventLoop::quit);
        loop.exec();
        QObject::disconnect(once);
        heard.push_back(took);
    }
    report.addSpread(Section, QStringLiteral("a peer's datagram to spStarted"), heard,
                     QStringLiteral("< 50"));

    const QByteArray valid = radio(QStringLiteral("RUN9"), true, true).encode();
    flood(report, network,
          {"garbage", valid.left(300), QByteArray(valid).replace("RUN9", "RUN\xFF"),
           QByteArray(valid).replace("<Mode>", "<!DOCTYPE x><Mode>"), QByteArray(1400, '<')},
          QStringLiteral("10,000 hostile packets/s"));
    flood(report, network, {valid, radio(QStringLiteral("RUN9"), false, true).encode()},
          QStringLiteral("10,000 RadioInfo packets/s"));
    runProgramPath(report);
}
