// SPDX-License-Identifier: GPL-3.0-or-later
// The station network on the loopback interface: publish() to the datagram at a peer's socket, a
// peer's datagram to the signal that stops a running station's message, and what a flood of
// 10,000 packets a second (not RadioInfo, and RadioInfo) costs the UI thread and how long it holds
// it.

#include "bench/BenchReport.h"
#include "bench/BenchStation.h"
#include "remote/StationNetwork.h"
#include "station/Clock.h"

#include <QElapsedTimer>
#include <QEventLoop>
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
}
