// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/NetworkWiring.h"
#include "remote/KeyerBus.h"
#include "remote/StationNetwork.h"
#include "tests/ptt/HamlibTesting.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/ProgramProcess.h"
#include "tests/support/StationFixture.h"

#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QNetworkDatagram>

#include <QGroupBox>
#include <QTest>
#include <QUdpSocket>

// Two programs (each with its own settings and ports) on the station network over the loopback
// interface, and a sender of hand-made packets: the interlock, a repeat that waits, the running
// station cut by a search-and-pounce one, and packets that hold nothing back and key nothing. The
// frequency and mode read from a rigctld dummy rig; two copies of the program itself interlocking.
class TestNetworkLink : public QObject
{
    Q_OBJECT

private slots:
    void stationsInterlock();
    void searchAndPounceCutsRunningStation();
    void frequencyFromTheRig();
    void twoProgramCopiesInterlock();
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

// Tunes the dummy rig as another program would, on a connection of its own.
bool tune(const Rigctld &rigctld, const QStringList &commands)
{
    return QProcess::execute(QStandardPaths::findExecutable("rigctl"),
                             QStringList{"-m", "2", "-r", rigctld.address()} + commands)
           == 0;
}

// Whether `board` hears a datagram that `wanted` takes within `seconds` of the fixture's clock
// (moved on a second every half second of the event loop's).
bool hears(StationFixture &f, QUdpSocket &board, bool (*wanted)(const RadioInfo &),
           int seconds = 20)
{
    for (int second = 0; second < seconds; ++second) {
        f.clock.advance(1000);
        QTest::qWait(500);
        while (board.hasPendingDatagrams()) {
            const auto info = RadioInfo::decode(board.receiveDatagram().data());
            if (info && wanted(info.value))
                return true;
        }
    }
    return false;
}

// A copy of the program keying through `rig`, named `name`, hearing on `listen`, telling `peer`.
std::function<bool(const QString &)> copyOn(const Rigctld &rig, const char *name, quint16 listen,
                                            quint16 peer)
{
    const QString ini
        = QString("[PTT]\nMethod=CAT\nRigPort=%1\n[Network]\nRadioInfo=127.0.0.1:%2\n"
                  "StationName=%3\nListen=%4\nInterlock=band\n")
              .arg(rig.address(), QString::number(peer), name, QString::number(listen));
    return [ini](const QString &folder) {
        QFile file(folder + "/vocta.ini");
        return file.open(QIODevice::WriteOnly) && file.write(ini.toUtf8()) > 0;
    };
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

// What a rigctld dummy rig is tuned to, in the station's datagrams: read while the radio is
// released, the last answer kept while it is keyed (the rig is not asked then), unknown once
// rigctld has gone.
void TestNetworkLink::frequencyFromTheRig()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    StationFixture f;
    QUdpSocket board;
    QVERIFY(board.bind(QHostAddress::LocalHost, 0));
    f.state().Ptt.PttMethod = KeyingMethod::Cat;
    f.state().Ptt.RigPort = rigctld.address();
    f.station->keyers().apply();
    join(f, "RUN1", 0, board.localPort(), StationRole::Run);
    QVERIFY(tune(rigctld, {"F", "7100000", "M", "LSB", "0"}));
    QVERIFY(
        hears(f, board, [](const RadioInfo &i) { return i.Freq == 710000 && i.Mode == "LSB"; }));

    QTRY_VERIFY_WITH_TIMEOUT(f.station->keyers().current().isReady(), HamlibTesting::WaitMs);
    f.clickMemory(0);
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 1, HamlibTesting::WaitMs);
    QVERIFY(tune(rigctld, {"F", "14200000"}));
    QVERIFY(!hears(
        f, board, [](const RadioInfo &i) { return i.Freq != 710000; }, 4));
    f.device.finish(SoundPlayer::Outcome::Ended);
    QVERIFY(hears(f, board, [](const RadioInfo &i) { return i.Freq == 1420000; }));

    rigctld.kill();
    QVERIFY(hears(f, board, [](const RadioInfo &i) { return i.Freq == 0 && i.Mode.isEmpty(); }));
}

// Two copies of the program, each on its own session bus and keying its own rigctld dummy rig on
// 40 m: while A plays a memory (4.5 s), B's Play is refused and B names A; once A's rig is
// released B plays, keys its rig, and A names B.
void TestNetworkLink::twoProgramCopiesInterlock()
{
    Rigctld rigA, rigB;
    START_OR_SKIP(rigA);
    START_OR_SKIP(rigB);
    PrivateBus busA, busB;
    if (!busA.start() || !busB.start())
        QSKIP(qPrintable(busA.errorString() + busB.errorString()));
    QVERIFY(tune(rigA, {"F", "7100000"}) && tune(rigB, {"F", "7150000"}));
    const quint16 pa = freePort(), pb = freePort();
    ProgramProcess a(busA.environment(), copyOn(rigA, "COPYA", pa, pb));
    ProgramProcess b(busB.environment(), copyOn(rigB, "COPYB", pb, pa));
    QDBusConnection ba = QDBusConnection::connectToBus(busA.address(), "a");
    QDBusConnection bb = QDBusConnection::connectToBus(busB.address(), "b");
    QVERIFY(QTest::qWaitFor(
        [&] {
            return ba.interface()->isServiceRegistered(KeyerBus::Service).value()
                   && bb.interface()->isServiceRegistered(KeyerBus::Service).value();
        },
        60000));
    QDBusInterface ka(KeyerBus::Service, KeyerBus::Path, KeyerBus::Interface, ba);
    QDBusInterface kb(KeyerBus::Service, KeyerBus::Path, KeyerBus::Interface, bb);
    const auto play = [](QDBusInterface &keyer) {
        return QDBusReply<bool>(keyer.call("Play", 1));
    };

    QVERIFY(play(ka).value());
    QTRY_COMPARE_WITH_TIMEOUT(kb.property("Inhibited").toString(), QString("COPYA"), 10000);
    QVERIFY(!play(kb).value());
    QTRY_COMPARE_WITH_TIMEOUT(rigA.ptt(), 1, 10000);
    QCOMPARE(rigB.ptt(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(kb.property("Inhibited").toString(), QString(), 30000);
    QCOMPARE(rigA.ptt(), 0);
    QVERIFY(play(kb).value());
    QTRY_COMPARE_WITH_TIMEOUT(rigB.ptt(), 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(ka.property("Inhibited").toString(), QString("COPYB"), 10000);
    QVERIFY(a.end() && b.end());
}

QTEST_MAIN(TestNetworkLink)
#include "tst_networklink.moc"
