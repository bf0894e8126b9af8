// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/StationNetwork.h"
#include "tests/support/StderrCapture.h"
#include "tests/support/VirtualClock.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

// The station network between real peers on the loopback interface: stations hearing each other
// transmit, a silent one forgotten, a port shared with another listener, a port taken, and a flood
// of packets that are not RadioInfo. The peer time-out and the drop report run on a clock of the
// test's own.
class TestStationNetwork : public QObject
{
    Q_OBJECT

private slots:
    void stationsHoldEachOtherBack();
    void silentStationsAreForgotten();
    void portsAreShared();
    void floodIsDroppedAndSaidRarely();
};

namespace {

quint16 freePort()
{
    QUdpSocket socket;
    socket.bind(QHostAddress::LocalHost, 0);
    return socket.localPort();
}

NetworkValues settings(const QString &name, quint16 listen, const QString &sendTo = {})
{
    NetworkValues values;
    values.StationName = name;
    values.Listen = listen;
    values.RadioInfo = sendTo;
    return values;
}

QString to(quint16 port)
{
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

RadioInfo radio(bool transmitting, quint64 hz, bool running = true, const QString &name = {})
{
    RadioInfo info;
    info.StationName = name;
    info.Freq = info.TXFreq = RadioInfo::tenHz(hz);
    info.IsTransmitting = transmitting;
    info.IsRunning = running;
    return info;
}

// A peer that is not a station network: datagrams as the test makes them.
void send(quint16 port, const QByteArray &datagram)
{
    QUdpSocket socket;
    QCOMPARE(socket.writeDatagram(datagram, QHostAddress::LocalHost, port), datagram.size());
}

} // namespace

void TestStationNetwork::stationsHoldEachOtherBack()
{
    VirtualClock clock;
    StationNetwork run(clock), sp(clock);
    QUdpSocket board; // a score board that hears the search-and-pounce station
    QVERIFY(board.bind(QHostAddress::LocalHost, 0));
    const quint16 runPort = freePort(), spPort = freePort();
    // The running station also hears its own datagrams back: they are not another station's.
    run.configure(settings("RUN1", runPort, to(spPort) + ", " + to(runPort)));
    sp.configure(settings("SP1", spPort, to(runPort) + "," + to(board.localPort())));
    QSignalSpy changed(&sp, &StationNetwork::inhibitorsChanged);
    QSignalSpy cut(&run, &StationNetwork::spStarted);

    run.publish({radio(true, 14'205'000)});
    QTRY_COMPARE(sp.inhibitors(14'000'000, InterlockMode::Band), QStringList{"RUN1"});
    QCOMPARE(sp.inhibitors(7'100'000, InterlockMode::Band), QStringList());
    QCOMPARE(sp.inhibitors(7'100'000, InterlockMode::All), QStringList{"RUN1"});
    QCOMPARE(sp.inhibitors(0, InterlockMode::Band), QStringList{"RUN1"}); // unknown: every band
    QCOMPARE(sp.inhibitors(14'000'000, InterlockMode::Off), QStringList());
    QCOMPARE(changed.count(), 1);

    // The search-and-pounce station starts: the running one hears that once, not at every
    // datagram sent again a second later.
    sp.publish({radio(true, 14'250'000, false)});
    QTRY_COMPARE(cut.count(), 1);
    QCOMPARE(cut[0][0].toString(), QString("SP1"));
    QCOMPARE(cut[0][1].toULongLong(), 14'250'000ull);
    QTRY_VERIFY(board.hasPendingDatagrams());
    board.readDatagram(nullptr, 0);
    clock.advance(1000);
    QTRY_VERIFY(board.hasPendingDatagrams());
    QCOMPARE(RadioInfo::decode(board.receiveDatagram().data()).value.StationName, QString("SP1"));

    // Released: heard at once. The running station never heard itself.
    run.publish({radio(false, 14'205'000)});
    QTRY_COMPARE(sp.inhibitors(0, InterlockMode::All), QStringList());
    QCOMPARE(changed.count(), 2);
    QCOMPARE(cut.count(), 1);
    QCOMPARE(run.radios().size(), 1);
    QCOMPARE(run.inhibitors(0, InterlockMode::All), QStringList{"SP1"});

    // Another station by the same name is not this one: said once.
    QSignalSpy problem(&run, &StationNetwork::problem);
    for (int i = 0; i < 2; ++i)
        send(runPort, radio(true, 7'000'000, true, "RUN1").encode());
    send(runPort, radio(false, 7'000'000, true, "LAST").encode());
    QTRY_COMPARE(run.radios().size(), 2);
    QCOMPARE(problem.count(), 1);
    QVERIFY(problem[0][0].toString().contains("goes by this station's name \"RUN1\""));
}

void TestStationNetwork::silentStationsAreForgotten()
{
    VirtualClock clock;
    StationNetwork station(clock);
    const quint16 port = freePort();
    station.configure(settings("HQ", port));
    QSignalSpy changed(&station, &StationNetwork::inhibitorsChanged);
    send(port, radio(true, 7'050'000, true, "RUN2").encode());
    send(port, radio(false, 7'050'000, true, "RUN3").encode());
    QTRY_COMPARE(station.radios().size(), 2);

    // Silent while transmitting: it holds the station back for the time-out, then is forgotten
    // with one line. One that did not transmit goes without a word.
    StderrCapture capture;
    clock.advance(4999);
    QCOMPARE(station.inhibitors(7'000'000, InterlockMode::Band), QStringList{"RUN2"});
    clock.advance(1);
    QCOMPARE(station.inhibitors(7'000'000, InterlockMode::Band), QStringList());
    QCOMPARE(station.radios().size(), 0);
    QCOMPARE(changed.count(), 2);
    const QByteArray said = capture.text();
    QVERIFY2(said.count('\n') == 1 && said.contains("\"RUN2\" (radio 1) said it transmits"),
             said.constData());
}

void TestStationNetwork::portsAreShared()
{
    VirtualClock clock;
    StationNetwork first(clock), second(clock), sender(clock);
    const quint16 port = freePort();
    first.configure(settings("A", port));
    second.configure(settings("B", port));
    QCOMPARE(second.listeningPort(), port);
    // Broadcast: every listener on the port hears it.
    sender.configure(settings("C", 0, QStringLiteral("127.255.255.255:%1").arg(port)));
    sender.publish({radio(true, 0)});
    QTRY_COMPARE(first.inhibitors(0, InterlockMode::All), QStringList{"C"});
    QTRY_COMPARE(second.inhibitors(0, InterlockMode::All), QStringList{"C"});

    // A port another program holds for itself: said, and nothing is heard.
    QUdpSocket taken;
    QVERIFY(taken.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::DontShareAddress));
    StationNetwork late(clock);
    QSignalSpy problem(&late, &StationNetwork::problem);
    late.configure(settings("D", taken.localPort()));
    QCOMPARE(late.listeningPort(), 0);
    QVERIFY(problem.value(0).value(0).toString().contains("cannot be opened"));
}

void TestStationNetwork::floodIsDroppedAndSaidRarely()
{
    VirtualClock clock;
    StationNetwork station(clock);
    const quint16 port = freePort();
    station.configure(settings("HQ", port));
    const QByteArray valid = radio(true, 14'000'000, false, "SP9").encode();
    const QByteArray bad[]
        = {"garbage", valid.left(valid.size() / 2), QByteArray(valid).replace("SP9", "SP\xFF"),
           QByteArray(valid).replace("<IsTr", "<!DOCTYPE x><IsTr"),
           QByteArray(valid).replace("SP9", "&lol9;")};
    StderrCapture capture;
    int sent = 0;
    // In bursts that the loopback's buffer holds, read as they come.
    for (int burst = 0; burst < 20; ++burst) {
        for (int i = 0; i < 50; ++i, ++sent)
            send(port, bad[sent % std::size(bad)]);
        QTRY_COMPARE(station.droppedCount(), qint64(sent));
    }
    send(port, QByteArray(65000, '<'));
    ++sent;
    QTRY_COMPARE(station.droppedCount(), qint64(sent));
    send(port, valid);
    QTRY_COMPARE(station.inhibitors(14'000'000, InterlockMode::Band), QStringList{"SP9"});
    // One line at the first, the count of the rest 10 s later, then nothing more.
    clock.advance(StationNetwork::DropReportMs);
    clock.advance(StationNetwork::DropReportMs);
    const QByteArray said = capture.text();
    QVERIFY2(said.count("dropped") == 2
                 && said.startsWith("voicevocta: A packet that is not RadioInfo was dropped")
                 && said.contains("\nvoicevocta: " + QByteArray::number(sent - 1) + " packets"),
             said.constData());
}

QTEST_MAIN(TestStationNetwork)
#include "tst_stationnetwork.moc"
