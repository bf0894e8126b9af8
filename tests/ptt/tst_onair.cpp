// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/ptt/KeyingCallers.h"
#include "tests/support/FakeKeyer.h"
#include "tests/support/StationFixture.h"

#include "ui/PictureButton.h"

#include <QTest>

using namespace KeyingCallers;

// Going on air and to receive: the station picture, the line levels by enable and polarity, the
// Lock and StdBy buttons in every order against playing, repeating and idle memories, and the
// standby blink.
class TestOnAir : public QObject
{
    Q_OBJECT

private slots:
    void lineLevels_data();
    void lineLevels();
    void pictureIsOnAirWhileALineMayKey();
    void disabledLineKeepsItsLevel();
    void beforeThePortOpensOnlyThePictureChanges();
    void lockAndStandby_data();
    void lockAndStandby();
    void standbyBlinks();
    void aMessageThatCannotStartIsNeverKeyed();
    void theKeyerCanBeSwapped();
    void timeoutWarningBlinksLock();
};

// Line setting in a row: "off" (not enabled), "+" (enabled, positive), "-" (enabled, negative).
static void configureLines(AppState &state, const QString &rts, const QString &dtr)
{
    state.Ptt.RtsOn = rts != "off";
    state.Ptt.RtsPos = rts == "+";
    state.Ptt.DtrOn = dtr != "off";
    state.Ptt.DtrPos = dtr == "+";
}

void TestOnAir::lineLevels_data()
{
    QTest::addColumn<QString>("rts");
    QTest::addColumn<QString>("dtr");
    QTest::addColumn<bool>("onAir");
    QTest::addColumn<QStringList>("levels");

    struct Row
    {
        const char *rts, *dtr;
        QStringList onAir, receive;
    };
    const QList<Row> rows{
        {"off", "off", {}, {}},
        {"+", "off", {"RTS 1"}, {"RTS 0"}},
        {"-", "off", {"RTS 0"}, {"RTS 1"}},
        {"off", "+", {"DTR 1"}, {"DTR 0"}},
        {"off", "-", {"DTR 0"}, {"DTR 1"}},
        {"+", "+", {"RTS 1", "DTR 1"}, {"RTS 0", "DTR 0"}},
        {"+", "-", {"RTS 1", "DTR 0"}, {"RTS 0", "DTR 1"}},
        {"-", "+", {"RTS 0", "DTR 1"}, {"RTS 1", "DTR 0"}},
        {"-", "-", {"RTS 0", "DTR 0"}, {"RTS 1", "DTR 1"}},
    };
    for (const Row &row : rows) {
        const QByteArray name = QByteArray("RTS ") + row.rts + " DTR " + row.dtr;
        QTest::newRow(name + " on air") << row.rts << row.dtr << true << row.onAir;
        QTest::newRow(name + " receive") << row.rts << row.dtr << false << row.receive;
    }
}

void TestOnAir::lineLevels()
{
    QFETCH(QString, rts);
    QFETCH(QString, dtr);
    QFETCH(bool, onAir);
    QFETCH(QStringList, levels);

    StationFixture f;
    openPort(f);
    configureLines(f.state(), rts, dtr);
    // From the other state, so that every level is a change: Lock keys, and releases.
    if (!onAir)
        clickLock(f);
    f.lines.clearLogs();

    clickLock(f);
    QCOMPARE(f.lines.log, levels);
    QCOMPARE(f.lines.wire, levels);
}

void TestOnAir::pictureIsOnAirWhileALineMayKey()
{
    StationFixture f(false);
    paintStationPictures(f);
    f.station->Form_Load();
    openPort(f);
    configureLines(f.state(), "+", "-");
    QStringList seen;
    f.lines.onLog = [&](const QString &entry) {
        seen << entry + " " + stationPicture(f);
    };

    // Keyed: the picture first. Released: the lines first, as the picture never says "receive"
    // while a line may still key the transmitter.
    clickLock(f);
    clickLock(f);
    QCOMPARE(seen, QStringList({"RTS 1 on air", "DTR 0 on air", "RTS 0 on air", "DTR 1 on air"}));
    QCOMPARE(stationPicture(f), QString("receive"));
}

void TestOnAir::disabledLineKeepsItsLevel()
{
    StationFixture f;
    openPort(f);
    configureLines(f.state(), "+", "off");
    clickLock(f);
    QCOMPARE(f.lines.wire, QStringList{"RTS 1"});

    // Taken out of use while asserted: no later call touches it until it is enabled again.
    f.state().Ptt.RtsOn = false;
    clickLock(f);
    clickStandby(f);
    clickStandby(f);
    QCOMPARE(f.lines.wire, QStringList{"RTS 1"});
    QVERIFY(f.lines.wireRts);

    f.state().Ptt.RtsOn = true;
    clickLock(f);
    clickLock(f);
    QCOMPARE(f.lines.wire, QStringList({"RTS 1", "RTS 1", "RTS 0"}));
}

void TestOnAir::beforeThePortOpensOnlyThePictureChanges()
{
    StationFixture f(false);
    paintStationPictures(f);
    f.station->Form_Load();
    configureLines(f.state(), "+", "+");
    clickLock(f);
    QCOMPARE(stationPicture(f), QString("on air"));
    // Asked and remembered, but nothing reached the wire.
    QCOMPARE(f.lines.log, QStringList({"RTS 1", "DTR 1"}));
    QCOMPARE(f.lines.wire, QStringList());
}

void TestOnAir::lockAndStandby_data()
{
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QStringList>("levels"); // RTS enabled, positive: 1 keys
    QTest::addColumn<bool>("keyed");
    QTest::addColumn<int>("lockFace");
    QTest::addColumn<int>("standbyFace");

    auto row = [](const char *name, const QStringList &actions, const QStringList &levels,
                  bool keyed, int lockFace, int standbyFace) {
        QTest::newRow(name) << actions << levels << keyed << lockFace << standbyFace;
    };
    // Faces: 1 blue, 2 red, 3 green.
    row("lock keys", {"lock"}, {"RTS 1"}, true, 2, 1);
    row("lock released", {"lock", "lock"}, {"RTS 1", "RTS 0"}, false, 1, 1);
    row("standby releases", {"standby"}, {"RTS 0"}, false, 1, 3);
    row("standby released when idle", {"standby", "standby"}, {"RTS 0"}, false, 1, 1);
    row("lock under standby does not key", {"standby", "lock"}, {"RTS 0"}, false, 2, 3);
    row("standby released under lock keys", {"standby", "lock", "standby"}, {"RTS 0", "RTS 1"},
        true, 2, 1);
    row("standby unkeys lock", {"lock", "standby"}, {"RTS 1", "RTS 0"}, false, 2, 3);
    row("lock survives standby", {"lock", "standby", "standby"}, {"RTS 1", "RTS 0", "RTS 1"}, true,
        2, 1);
    row("lock released under standby", {"lock", "standby", "lock", "standby"},
        {"RTS 1", "RTS 0", "RTS 0"}, false, 1, 1);
    row("message keys", {"play"}, {"RTS 1"}, true, 1, 1);
    row("message ends", {"play", "end"}, {"RTS 1", "RTS 0"}, false, 1, 1);
    row("message stopped", {"play", "stop"}, {"RTS 1", "RTS 0"}, false, 1, 1);
    row("lock holds past the end", {"play", "lock", "end"}, {"RTS 1", "RTS 1"}, true, 2, 1);
    row("lock holds past a stop", {"lock", "play", "stop"}, {"RTS 1", "RTS 1"}, true, 2, 1);
    row("lock released while playing", {"play", "lock", "lock", "end"},
        {"RTS 1", "RTS 1", "RTS 0", "RTS 0"}, false, 1, 1);
    row("message under standby", {"standby", "play"}, {"RTS 0"}, false, 1, 3);
    row("standby released while playing", {"standby", "play", "standby"}, {"RTS 0", "RTS 1"}, true,
        1, 1);
    row("standby released, message ends", {"standby", "play", "standby", "end"},
        {"RTS 0", "RTS 1", "RTS 0"}, false, 1, 1);
    row("standby while playing", {"play", "standby"}, {"RTS 1", "RTS 0"}, false, 1, 3);
    row("repeat waits released", {"repeat", "end"}, {"RTS 1", "RTS 0"}, false, 1, 1);
    row("repeat restarts", {"repeat", "end", "restart"}, {"RTS 1", "RTS 0", "RTS 1"}, true, 1, 1);
    row("repeat stopped while waiting", {"repeat", "end", "stop"}, {"RTS 1", "RTS 0", "RTS 0"},
        false, 1, 1);
    row("repeat under standby never keys", {"standby", "repeat", "end", "restart"},
        {"RTS 0", "RTS 0"}, false, 1, 3);
    // Nothing is on the air in the wait of a repeating message: releasing standby there keys
    // nothing (the transmitter would carry silence, with a delay of 0 for good); the restart keys.
    row("standby released in the repeat wait", {"repeat", "end", "standby", "standby"},
        {"RTS 1", "RTS 0", "RTS 0"}, false, 1, 1);
    row("standby released in the wait, then the restart",
        {"repeat", "end", "standby", "standby", "restart"}, {"RTS 1", "RTS 0", "RTS 0", "RTS 1"},
        true, 1, 1);
    row("standby released while a repeat plays", {"standby", "repeat", "end", "restart", "standby"},
        {"RTS 0", "RTS 0", "RTS 1"}, true, 1, 1);
    row("lock over a repeat cycle", {"lock", "repeat", "end", "restart", "stop"},
        {"RTS 1", "RTS 1", "RTS 1"}, true, 2, 1);
    row("lock and standby, message ends", {"lock", "standby", "play", "end", "standby"},
        {"RTS 1", "RTS 0", "RTS 1"}, true, 2, 1);
}

void TestOnAir::lockAndStandby()
{
    QFETCH(QStringList, actions);
    QFETCH(QStringList, levels);
    QFETCH(bool, keyed);
    QFETCH(int, lockFace);
    QFETCH(int, standbyFace);

    StationFixture f;
    openPort(f);
    configureLines(f.state(), "+", "off");

    for (const QString &action : actions) {
        if (action == "lock")
            clickLock(f);
        else if (action == "standby")
            clickStandby(f);
        else if (action == "play")
            startMessage(f);
        else if (action == "repeat")
            startMessage(f, true);
        else if (action == "end")
            messageEnds(f);
        else if (action == "restart")
            repeatRestarts(f);
        else if (action == "stop")
            stopMessage(f);
        else
            QFAIL(qPrintable("unknown action " + action));
    }
    QCOMPARE(f.lines.wire, levels);
    QCOMPARE(f.lines.wireRts, keyed);
    QCOMPARE(f.face(f.window().Command3d2()), lockFace);
    QCOMPARE(f.face(f.window().Command3d3()), standbyFace);
    QCOMPARE(f.now().lock, lockFace == 2);
    QCOMPARE(f.now().standby, standbyFace == 3);
    QCOMPARE(f.window().Command3d3()->tag(), QString(standbyFace == 3 ? "R" : "B"));
}

void TestOnAir::standbyBlinks()
{
    StationFixture f;
    PictureButton *standby = f.window().Command3d3();
    auto faceAndTag = [&] {
        return QString::number(f.face(standby)) + standby->tag();
    };

    clickStandby(f);
    QStringList seen{faceAndTag()};
    f.clock.advance(249);
    QCOMPARE(faceAndTag(), QString("3R"));
    for (int tick = 0; tick < 4; ++tick) {
        f.clock.advance(tick == 0 ? 1 : 250);
        seen << faceAndTag();
    }
    // Green first, then blue and green by turns, every 250 ms.
    QCOMPARE(seen, QStringList({"3R", "1B", "3R", "1B", "3R"}));

    // Released while green: blue, and the blink stops.
    clickStandby(f);
    QCOMPARE(faceAndTag(), QString("1B"));
    f.clock.advance(1000);
    QCOMPARE(faceAndTag(), QString("1B"));

    // Engaged again after it was released on blue: it starts green again.
    clickStandby(f);
    f.clock.advance(250);
    clickStandby(f);
    clickStandby(f);
    QCOMPARE(faceAndTag(), QString("3R"));
}

// Its output absent, a message does not start: no on-air request, not even for a moment, at the
// start of a memory nor at a repeat.
void TestOnAir::aMessageThatCannotStartIsNeverKeyed()
{
    StationFixture f;
    configureLines(f.state(), "+", "off");
    openPort(f);
    f.device.refusePlay = true;
    startMessage(f);
    QTRY_COMPARE(f.now().playing(), 0);
    QVERIFY(f.refusalFace() != 0);
    QCOMPARE(f.lines.log, QStringList{"RTS 0"});

    f.device.refusePlay = false;
    startMessage(f, true);
    messageEnds(f);
    f.lines.clearLogs();
    f.device.refusePlay = true;
    repeatRestarts(f);
    QTRY_COMPARE(f.now().playing(), 0);
    QCOMPARE(f.lines.log, QStringList{"RTS 0"});
}

// Another keyer takes over the present state, the one it replaces is released; a keyer that
// cannot reach the transmitter shows the refusal face at a keying request; the end of the
// program lets the keyer go.
void TestOnAir::theKeyerCanBeSwapped()
{
    StationFixture f(false);
    paintStationPictures(f);
    f.station->Form_Load();
    configureLines(f.state(), "+", "off");
    openPort(f);
    clickLock(f);
    QCOMPARE(f.lines.wire, QStringList{"RTS 1"});

    FakeKeyer rig;
    f.station->station().setKeyer(&rig);
    QCOMPARE(f.lines.wire, QStringList({"RTS 1", "RTS 0"}));
    QCOMPARE(rig.requests, QList<bool>{true});
    clickLock(f);
    startMessage(f);
    QCOMPARE(rig.requests, QList<bool>({true, false, true}));
    QCOMPARE(f.refusalFace(), 0);
    stopMessage(f);

    rig.setLink(PttKeyer::Link::NotConnected);
    startMessage(f);
    QCOMPARE(rig.requests.last(), true);
    QVERIFY(f.refusalFace() != 0);
    QCOMPARE(stationPicture(f), QString("on air"));
    QCOMPARE(f.lines.wire.size(), 2);

    f.window().menuItem("Exit")->trigger();
    QCOMPARE(rig.shutDowns, 1);
}

// The time-out's warning (keyed 25 s of a 40 s time-out): the Lock button blinks red and blue,
// from the face it did not show, every 250 ms; the release ends it, blue and still.
void TestOnAir::timeoutWarningBlinksLock()
{
    StationFixture f;
    f.state().Ptt.TimeoutS = 40;
    PictureButton *lock = f.window().Command3d2();
    startMessage(f);
    f.clock.advance(25000);
    QStringList faces{QString::number(f.face(lock))};
    for (int i = 0; i < 3; ++i) {
        f.clock.advance(250);
        faces << QString::number(f.face(lock));
    }
    QCOMPARE(faces, QStringList({"2", "1", "2", "1"}));
    clickLock(f); // engaged during the warning: it blinks on
    f.clock.advance(250);
    QCOMPARE(f.face(lock), 2);
    clickLock(f); // released: the warning is over
    QCOMPARE(f.face(lock), 1);
    f.clock.advance(1000);
    QCOMPARE(f.face(lock), 1);
    QVERIFY(!f.onAirPictureShown());
}

QTEST_MAIN(TestOnAir)
#include "tst_onair.moc"
