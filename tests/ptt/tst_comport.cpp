// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/ptt/KeyingCallers.h"
#include "tests/support/StationFixture.h"

#include <QTest>

using namespace KeyingCallers;

// Opening the port: the call sequence, levels that never key by themselves, failures that are
// told once, a port that goes away, and the end of the program leaving the transmitter released.
class TestComPort : public QObject
{
    Q_OBJECT

private slots:
    void openingSequence();
    void openingNeverKeys_data();
    void openingNeverKeys();
    void failedOpening_data();
    void failedOpening();
    void portThatGoesAway();
    void reopeningReleasesTheLinesFirst_data();
    void reopeningReleasesTheLinesFirst();
    void endOfProgram_data();
    void endOfProgram();
};

void TestComPort::openingSequence()
{
    StationFixture f;
    f.state().Ptt.ComNum = 2;
    f.station->serialKeyer().open();
    QCOMPARE(f.lines.log, QStringList({"Port 2", "Settings 9600,N,8,1", "Open"}));
    QVERIFY(f.lines.isOpen());
    QVERIFY(f.dialogs.messages.isEmpty());

    // Every "OK" closes the port and opens it again.
    f.lines.clearLogs();
    f.state().Ptt.ComNum = 3;
    f.station->serialKeyer().open();
    QCOMPARE(f.lines.log, QStringList({"Close", "Port 3", "Settings 9600,N,8,1", "Open"}));
    QVERIFY(f.lines.isOpen());
}

void TestComPort::openingNeverKeys_data()
{
    QTest::addColumn<QStringList>("before"); // what happens before "OK"
    QTest::addColumn<QStringList>("wire"); // the levels the opening puts on the wire

    // Lines: "rts+", "rts-", "dtr+", "dtr-" enable a line with a polarity; "rts off" takes it
    // out of use. The rest are the operator's actions and the messages' events.
    QTest::newRow("idle, RTS positive") << QStringList{"rts+"} << QStringList{"RTS 0"};
    QTest::newRow("idle, RTS negative") << QStringList{"rts-"} << QStringList{"RTS 1"};
    QTest::newRow("idle, both lines")
        << QStringList{"rts+", "dtr-"} << QStringList{"RTS 0", "DTR 1"};
    QTest::newRow("lock engaged") << QStringList{"rts+", "dtr+", "lock"}
                                  << QStringList{"RTS 1", "DTR 1"};
    QTest::newRow("lock under standby")
        << QStringList{"rts+", "standby", "lock"} << QStringList{"RTS 0"};
    QTest::newRow("message on air") << QStringList{"rts+", "play"} << QStringList{"RTS 1"};
    QTest::newRow("message under standby")
        << QStringList{"rts+", "standby", "play"} << QStringList{"RTS 0"};
    QTest::newRow("repeat wait") << QStringList{"rts+", "repeat", "end"} << QStringList{"RTS 0"};
    QTest::newRow("message over") << QStringList{"rts-", "play", "end"} << QStringList{"RTS 1"};
    // The level last asked was "released" for a positive line; under the polarity chosen since,
    // the same level would key.
    QTest::newRow("polarity changed since")
        << QStringList{"rts+", "lock", "lock", "rts-"} << QStringList{"RTS 1"};
    // Enabled after Lock keyed the other line: never asked, it takes its receive level.
    QTest::newRow("line enabled under lock")
        << QStringList{"dtr+", "lock", "rts+"} << QStringList{"RTS 0", "DTR 1"};
    // Keyed, then taken out of use: the opening does not bring the keying back.
    QTest::newRow("line keyed, then disabled")
        << QStringList{"rts+", "lock", "rts off", "lock"} << QStringList{"RTS 0"};
    // Never used: the port layer's own level is left alone.
    QTest::newRow("no line enabled") << QStringList{"lock"} << QStringList{};
}

void TestComPort::openingNeverKeys()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, wire);

    StationFixture f;
    AppState &state = f.state();
    for (const QString &step : before) {
        if (step == "rts+" || step == "rts-") {
            state.Ptt.RtsOn = true;
            state.Ptt.RtsPos = step == "rts+";
        } else if (step == "dtr+" || step == "dtr-") {
            state.Ptt.DtrOn = true;
            state.Ptt.DtrPos = step == "dtr+";
        } else if (step == "rts off") {
            state.Ptt.RtsOn = false;
        } else if (step == "lock") {
            clickLock(f);
        } else if (step == "standby") {
            clickStandby(f);
        } else if (step == "play") {
            startMessage(f);
        } else if (step == "repeat") {
            startMessage(f, true);
        } else if (step == "end") {
            messageEnds(f);
        } else {
            QFAIL(qPrintable("unknown step " + step));
        }
    }
    QVERIFY(f.lines.wire.isEmpty());
    state.Ptt.ComNum = 1;
    f.station->serialKeyer().open();
    QVERIFY(f.lines.isOpen());
    QCOMPARE(f.lines.wireSinceOpen(), wire);
}

void TestComPort::failedOpening_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("openError");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("tried"); // the port layer was asked to open

    QTest::newRow("refused") << 1 << "Permission denied"
                             << "Permission denied" << true;
    QTest::newRow("in use") << 2 << "Device or resource busy"
                            << "Device or resource busy" << true;
    QTest::newRow("no device for the number") << 5 << ""
                                              << "Port 5: no such device" << true;
    QTest::newRow("number 0") << 0 << ""
                              << "Port 0: no such device" << false;
    QTest::newRow("number 9") << 9 << ""
                              << "Port 9: no such device" << false;
    QTest::newRow("negative number") << -3 << ""
                                     << "Port -3: no such device" << false;
}

void TestComPort::failedOpening()
{
    QFETCH(int, port);
    QFETCH(QString, openError);
    QFETCH(QString, message);
    QFETCH(bool, tried);

    StationFixture f;
    f.state().Ptt.RtsOn = true;
    f.state().Ptt.RtsPos = true;
    openPort(f, 1); // a port that was open before

    f.lines.openError = openError;
    f.state().Ptt.ComNum = qint16(port);
    f.station->serialKeyer().open();
    QCOMPARE(f.dialogs.messages, QStringList{message});
    QVERIFY(!f.lines.isOpen());
    QCOMPARE(f.lines.log.contains("Open"), tried);
    QCOMPARE(f.state().Ptt.ComNum, qint16(port));

    // Keying now changes nothing on the wire.
    f.lines.clearLogs();
    clickLock(f);
    QCOMPARE(f.lines.wire, QStringList());

    // Each attempt tells once.
    f.station->serialKeyer().open();
    QCOMPARE(f.dialogs.messages, QStringList({message, message}));
}

void TestComPort::portThatGoesAway()
{
    StationFixture f;
    f.state().Ptt.RtsOn = true;
    f.state().Ptt.RtsPos = true;
    openPort(f);
    clickLock(f);
    QCOMPARE(f.lines.wire, QStringList{"RTS 1"});

    f.lines.unplug();
    QVERIFY(!f.lines.isOpen());
    // The station goes on: keying changes the picture only.
    clickLock(f);
    clickLock(f);
    QCOMPARE(f.lines.wire, QStringList{"RTS 1"});
    QVERIFY(f.dialogs.messages.isEmpty());

    // The next "OK" says what the port layer says.
    f.station->serialKeyer().open();
    QCOMPARE(f.dialogs.messages, QStringList{"No such file or directory"});
    QVERIFY(!f.lines.isOpen());

    // Plugged in again: it opens at the level of the station (Lock engaged: keyed).
    f.lines.plugIn();
    f.station->serialKeyer().open();
    QVERIFY(f.lines.isOpen());
    QCOMPARE(f.lines.wireSinceOpen(), QStringList{"RTS 1"});
    QCOMPARE(f.dialogs.messages.size(), 1);
}

void TestComPort::reopeningReleasesTheLinesFirst_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("openError");
    QTest::addColumn<QStringList>("wire"); // what "OK" puts on the wire

    // Keyed by Lock with RTS positive and DTR negative: the lines drop first, then the port
    // opens again with the present levels.
    QTest::newRow("opens again") << 1 << "" << QStringList{"RTS 0", "DTR 1", "RTS 1", "DTR 0"};
    // A port that does not open again leaves the transmitter released, not keyed out of reach.
    QTest::newRow("refused") << 1 << "Permission denied" << QStringList{"RTS 0", "DTR 1"};
    QTest::newRow("no device") << 5 << "" << QStringList{"RTS 0", "DTR 1"};
    QTest::newRow("number out of range") << 0 << "" << QStringList{"RTS 0", "DTR 1"};
}

void TestComPort::reopeningReleasesTheLinesFirst()
{
    QFETCH(int, port);
    QFETCH(QString, openError);
    QFETCH(QStringList, wire);

    StationFixture f;
    f.state().Ptt.RtsOn = true;
    f.state().Ptt.RtsPos = true;
    f.state().Ptt.DtrOn = true;
    f.state().Ptt.DtrPos = false;
    openPort(f);
    clickLock(f);
    QCOMPARE(f.lines.wire, QStringList({"RTS 1", "DTR 0"}));
    f.lines.clearLogs();

    f.lines.openError = openError;
    f.state().Ptt.ComNum = qint16(port);
    f.station->serialKeyer().open();
    QCOMPARE(f.lines.wire, wire);
    QCOMPARE(f.lines.isOpen(), openError.isEmpty() && port == 1);

    // Lock is still engaged: the port, once it opens, keys again.
    f.lines.openError.clear();
    f.state().Ptt.ComNum = 1;
    f.station->serialKeyer().open();
    QVERIFY(f.lines.isOpen());
    QCOMPARE(f.lines.wireSinceOpen(), QStringList({"RTS 1", "DTR 0"}));
}

void TestComPort::endOfProgram_data()
{
    QTest::addColumn<bool>("exitMenu"); // File > Exit, else the window is closed
    QTest::addColumn<bool>("portOpen");

    QTest::newRow("exit, port open") << true << true;
    QTest::newRow("window closed, port open") << false << true;
    QTest::newRow("exit, port never opened") << true << false;
}

void TestComPort::endOfProgram()
{
    QFETCH(bool, exitMenu);
    QFETCH(bool, portOpen);

    StationFixture f;
    f.state().Ptt.RtsOn = true;
    f.state().Ptt.RtsPos = true;
    f.state().Ptt.DtrOn = true;
    f.state().Ptt.DtrPos = false;
    if (portOpen)
        openPort(f);
    clickLock(f);
    startMessage(f);
    f.lines.clearLogs();

    if (exitMenu) {
        f.window().menuItem("Exit")->trigger();
    } else {
        f.window().show();
        f.window().close();
    }
    // Both lines at receive, then the port let go.
    QCOMPARE(f.lines.log, QStringList({"RTS 0", "DTR 1", "Close"}));
    QVERIFY(!f.lines.isOpen());
    if (portOpen) {
        QCOMPARE(f.lines.wire, QStringList({"RTS 0", "DTR 1"}));
        QVERIFY(!f.lines.wireRts);
        QVERIFY(f.lines.wireDtr);
    }
}

QTEST_MAIN(TestComPort)
#include "tst_comport.moc"
