// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/NetworkWiring.h"
#include "remote/StationNetwork.h"
#include "tests/support/StationFixture.h"

#include <QGroupBox>
#include <QTest>
#include <QUdpSocket>

// Two programs (each with its own settings and ports) on the station network over the loopback
// interface, and a sender of hand-made packets: the interlock, a repeat that waits, the running
// station cut by a search-and-pounce one, and packets that hold nothing back and key nothing.
class TestNetworkLink : public QObject
{
    Q_OBJECT

private slots:
    void stationsInterlock();
    void searchAndPounceCutsRunningStation();
};

namespace {

quint16 freePort()
{
    QUdpSocket socket;
    socket.bind(QHostAddress::LocalHost, 0);
    return socket.localPort();
}

void join(StationFixture &f, const QString &name, quint16 listen, quint16 sendTo, StationRole role)
{
    f.state().Network
        = {QStringLiteral("127.0.0.1:%1").arg(sendTo), name, listen, InterlockMode::Band, 5, role};
    f.station->network().apply();
}

QString heldBy(StationFixture &f)
{
    return f.station->network().link().inhibitedBy();
}

void send(quint16 port, const QByteArray &datagram)
{
    QUdpSocket socket;
    socket.writeDatagram(datagram, QHostAddress::LocalHost, port);
}

QByteArray peer(const QString &name, bool transmitting, bool running, qint64 hz)
{
    RadioInfo info;
    info.StationName = name;
    info.IsTransmitting = transmitting;
    info.IsRunning = running;
    info.Freq = info.TXFreq = RadioInfo::tenHz(hz);
    return info.encode();
}

} // namespace

void TestNetworkLink::stationsInterlock()
{
    StationFixture a, b;
    // At the defaults there is no network at all.
    QVERIFY(!a.station->network().link().network());
    const quint16 pa = freePort(), pb = freePort();
    join(a, "RUN1", pa, pb, StationRole::Run);
    join(b, "RUN2", pb, pa, StationRole::Run);
    a.keyThroughRts();

    // A transmits: B's click and Lock are refused (its refusal face), and its window names A.
    a.clickMemory(0);
    QTRY_COMPARE(heldBy(b), QString("RUN1"));
    b.clickMemory(0);
    b.leftClick(b.window().Command3d2());
    QVERIFY(b.now().playing() == 0 && !b.now().lock);
    QVERIFY(b.refusalFace() != 0);
    QVERIFY(b.window().Frame(3)->title().contains("RUN1"));
    QVERIFY(!b.now().onAir);
    QVERIFY(heldBy(a).isEmpty());

    // A's message ends: B is free again, and its memory plays.
    a.device.finish(SoundPlayer::Outcome::Ended);
    QTRY_VERIFY(heldBy(b).isEmpty());
    QCOMPARE(b.window().Frame(3)->title(), QString("Status"));

    // B waits for its repeat; A keys Lock meanwhile: B's repeat waits past its delay, and plays
    // once A has released.
    b.state().Memories.MemDelay[1] = 2000;
    b.enter(Stage::RepeatWait, 1);
    QTRY_VERIFY(heldBy(a).isEmpty());
    a.leftClick(a.window().Command3d2());
    QVERIFY(a.now().lock);
    QTRY_COMPARE(heldBy(b), QString("RUN1"));
    b.clock.advance(2010);
    QCOMPARE(b.now().stage, Stage::RepeatWait);
    QVERIFY(!b.now().onAir);
    a.leftClick(a.window().Command3d2());
    QTRY_VERIFY(heldBy(b).isEmpty());
    b.clock.advance(2010);
    QVERIFY(b.now().stage == Stage::Playing || b.now().stage == Stage::Lead);
    QVERIFY(b.now().onAir);

    // Packets that are not RadioInfo hold nothing back; none keys anything.
    b.clickMemory(1);
    const QList<QByteArray> junk{"<RadioInfo>", QByteArray(65000, 'x'),
                                 "<?xml version=\"1.0\"?><RadioInfo><StationName>\xff\xfe"
                                 "</StationName><RadioNr>1</RadioNr><IsTransmitting>True"
                                 "</IsTransmitting></RadioInfo>",
                                 peer("X", true, true, 14'200'000).replace("True", "Yes")};
    for (const QByteArray &datagram : junk)
        send(pa, datagram);
    QTRY_COMPARE(a.station->network().link().network()->droppedCount(), qint64(junk.size()));
    QTRY_VERIFY(heldBy(a).isEmpty());
    QVERIFY(!a.now().onAir && a.now().playing() == 0);
}

void TestNetworkLink::searchAndPounceCutsRunningStation()
{
    StationFixture run, sp;
    QUdpSocket board; // hears both, holds nothing back
    QVERIFY(board.bind(QHostAddress::LocalHost, 0));
    const quint16 pr = freePort(), ps = freePort();
    join(run, "RUN1", pr, board.localPort(), StationRole::Run);
    join(sp, "SP1", ps, board.localPort(), StationRole::Sp);
    run.clickMemory(0);
    sp.clickMemory(0);
    QVERIFY(run.now().onAir && sp.now().onAir);

    // A search-and-pounce station on the band (this radio's frequency is unknown: every band)
    // cuts the running station's message, and never the other search-and-pounce station's.
    send(pr, peer("SP9", true, false, 7'100'000));
    QTRY_COMPARE(heldBy(run), QString("SP9"));
    QCOMPARE(run.now().ending, Ending::Stopped);
    QVERIFY(!run.now().onAir);
    send(ps, peer("SP9", true, false, 7'100'000));
    QTRY_COMPARE(heldBy(sp), QString("SP9"));
    QVERIFY(sp.now().onAir && sp.now().playing() == 1);
}

QTEST_MAIN(TestNetworkLink)
#include "tst_networklink.moc"
