// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/ptt/KeyingCallers.h"
#include "tests/support/StationFixture.h"
#include "tests/support/StderrCapture.h"

#include <QRegularExpression>
#include <QTest>

using namespace KeyingCallers;

// The lead before a message's audio, the tail after it and the transmit time-out, against the
// keying rules: what keys and releases when, in which order, whatever the operator does in
// between. Time is the test's: the timers tick when the test lets them.
class TestKeyingTimes : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void leadKeysBeforeTheAudio();
    void noLeadWhenAlreadyKeyedOrUnderStandby_data();
    void noLeadWhenAlreadyKeyedOrUnderStandby();
    void duringTheLead_data();
    void duringTheLead();
    void tailHoldsTheRelease();
    void duringTheTail_data();
    void duringTheTail();
    void endOfProgramReleasesAtOnce_data();
    void endOfProgramReleasesAtOnce();
    void timeOutUnderLockWithRepeat();
    void timeOutWithoutWarning();
    void timeOutCountsWithoutABreak();
    void releaseEndsTheWarning();

private:
    std::unique_ptr<StationFixture> m_f;
    StationFixture &f() { return *m_f; }
    Keying &keying() { return m_f->station->keying(); }
    // The lines' wire and the device's commands since the last look.
    QStringList wire();
    QStringList commands();
};

void TestKeyingTimes::init()
{
    m_f = std::make_unique<StationFixture>(false);
    paintStationPictures(*m_f);
    m_f->station->Form_Load();
    m_f->state().RtsOn = true;
    m_f->state().RtsPos = true;
    openPort(*m_f);
    m_f->device.clearLog();
}

void TestKeyingTimes::cleanup()
{
    m_f.reset();
}

QStringList TestKeyingTimes::wire()
{
    const QStringList seen = m_f->lines.wire;
    m_f->lines.clearLogs();
    return seen;
}

QStringList TestKeyingTimes::commands()
{
    const QStringList seen = m_f->device.commands();
    m_f->device.clearLog();
    return seen;
}

// From released to keyed: the transmitter first, the audio LeadMs later; meanwhile the memory
// counts as playing. The same for a repeat's restart.
void TestKeyingTimes::leadKeysBeforeTheAudio()
{
    f().state().LeadMs = 300;
    startMessage(f(), true);
    QCOMPARE(wire(), QStringList{"RTS 1"});
    QCOMPARE(stationPicture(f()), QString("on air"));
    QCOMPARE(commands(), QStringList({"Close", "Open"}));
    QCOMPARE(f().state().Player, PlayerState::Lead);
    QCOMPARE(f().state().Playing(), 1);
    QCOMPARE(f().face(f().memory(0)), 2);
    QCOMPARE(keying().leadTimer().interval(), 300);

    QVERIFY(StationFixture::tick(keying().leadTimer()));
    QCOMPARE(f().device.log, QStringList({"UpdateInterval 50", "Play"}));
    f().device.clearLog();
    QCOMPARE(f().state().Player, PlayerState::Playing);
    QVERIFY(!keying().leadTimer().isRunning());
    QCOMPARE(wire(), QStringList());

    // The end releases; the restart keys again, and its audio waits for the lead once more.
    messageEnds(f());
    QCOMPARE(wire(), QStringList{"RTS 0"});
    commands();
    repeatRestarts(f());
    QCOMPARE(wire(), QStringList{"RTS 1"});
    QCOMPARE(commands(), QStringList());
    QCOMPARE(f().state().Player, PlayerState::Lead);
    QVERIFY(StationFixture::tick(keying().leadTimer()));
    QCOMPARE(f().device.log, QStringList({"UpdateInterval 50", "Prev", "Play"}));
}

void TestKeyingTimes::noLeadWhenAlreadyKeyedOrUnderStandby_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QStringList>("wire"); // what the start puts on the wire
    QTest::newRow("under Lock") << "lock" << QStringList{"RTS 1"};
    QTest::newRow("within a tail") << "tail" << QStringList{"RTS 1"};
    QTest::newRow("under standby") << "standby" << QStringList{};
    QTest::newRow("under Lock and standby") << "lock standby" << QStringList{};
}

// Already keyed, or not to be keyed at all: the audio starts at once, then the rules key.
void TestKeyingTimes::noLeadWhenAlreadyKeyedOrUnderStandby()
{
    QFETCH(QString, before);
    QFETCH(QStringList, wire);
    f().state().LeadMs = 500;
    f().state().TailMs = 500;
    if (before.contains("lock"))
        clickLock(f());
    if (before.contains("standby"))
        clickStandby(f());
    if (before == "tail") {
        startMessage(f());
        QVERIFY(StationFixture::tick(keying().leadTimer()));
        messageEnds(f());
        QVERIFY(keying().tailTimer().isRunning());
    }
    this->wire();
    commands();

    startMessage(f());
    QCOMPARE(commands(), QStringList({"Close", "Open", "Play"}));
    QCOMPARE(this->wire(), wire);
    QVERIFY(!keying().leadTimer().isRunning());
    QVERIFY(!keying().tailTimer().isRunning());
    QCOMPARE(f().state().Player, PlayerState::Playing);
    QCOMPARE(f().lines.wireRts, !before.contains("standby"));
}

void TestKeyingTimes::duringTheLead_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("wire"); // what the action puts on the wire
    QTest::addColumn<QStringList>("commands"); // what it asks of the device
    QTest::addColumn<int>("player"); // PlayerState afterwards
    QTest::addColumn<bool>("keyed");

    const int idle = int(PlayerState::Idle), playing = int(PlayerState::Playing),
              lead = int(PlayerState::Lead);
    // A click on the memory stops it at once; no audio comes later.
    QTest::newRow("stop") << "stop" << QStringList{"RTS 0"} << QStringList{"Stop", "Prev"} << idle
                          << false;
    // Released, the message plays on without the transmitter: its audio need not wait.
    QTest::newRow("standby") << "standby" << QStringList{"RTS 0"} << QStringList{"Play"} << playing
                             << false;
    QTest::newRow("Lock engaged") << "lock" << QStringList{"RTS 1"} << QStringList{} << lead
                                  << true;
    QTest::newRow("Lock engaged and released")
        << "lock lock" << QStringList{"RTS 1", "RTS 0"} << QStringList{"Play"} << playing << false;
    // A failure reported meanwhile ends the message and releases at once.
    QTest::newRow("failure") << "failure" << QStringList{"RTS 0"} << QStringList{"Prev"} << idle
                             << false;
    // Heard to its end (a play of the transport bar's own): the tail, then the release.
    QTest::newRow("end heard") << "end" << QStringList{} << QStringList{"Prev"} << idle << true;
}

void TestKeyingTimes::duringTheLead()
{
    QFETCH(QString, action);
    QFETCH(QStringList, wire);
    QFETCH(QStringList, commands);
    QFETCH(int, player);
    QFETCH(bool, keyed);
    f().state().LeadMs = 1000;
    f().state().TailMs = 200;
    startMessage(f());
    QCOMPARE(f().state().Player, PlayerState::Lead);
    this->wire();
    this->commands();

    for (const QString &step : action.split(' ')) {
        if (step == "stop")
            stopMessage(f());
        else if (step == "standby")
            clickStandby(f());
        else if (step == "lock")
            clickLock(f());
        else if (step == "failure")
            f().device.deliverDone(MediaDevice::Failure);
        else if (step == "end")
            f().device.deliverDone(MediaDevice::Successful);
    }
    QCOMPARE(this->wire(), wire);
    QCOMPARE(this->commands(), commands);
    QCOMPARE(int(f().state().Player), player);
    QCOMPARE(f().lines.wireRts, keyed);
    QCOMPARE(stationPicture(f()), QString(keyed ? "on air" : "receive"));
    QCOMPARE(keying().leadTimer().isRunning(), player == int(PlayerState::Lead));
    // Where the message went on, its audio came; a lead tick that is still due does nothing.
    emit keying().leadTimer().Timer();
    QCOMPARE(this->commands().contains("Play"), action == "lock");
    if (action == "failure")
        QVERIFY(f().refusalFace() != 0);
    if (action == "end") {
        QVERIFY(StationFixture::tick(keying().tailTimer()));
        QCOMPARE(this->wire(), QStringList{"RTS 0"});
    }
}

// The window goes idle at the end as it always did; only the release waits.
void TestKeyingTimes::tailHoldsTheRelease()
{
    f().state().TailMs = 700;
    startMessage(f());
    QCOMPARE(wire(), QStringList{"RTS 1"});
    messageEnds(f());
    QCOMPARE(f().state().Playing(), 0);
    QCOMPARE(f().face(f().memory(0)), 3);
    QCOMPARE(f().face(f().window().Panel3d1()), 1);
    QCOMPARE(f().window().Panel3d1()->text(), QString("Idle"));
    QCOMPARE(wire(), QStringList());
    QCOMPARE(stationPicture(f()), QString("on air"));
    QCOMPARE(keying().tailTimer().interval(), 700);

    QVERIFY(StationFixture::tick(keying().tailTimer()));
    QCOMPARE(wire(), QStringList{"RTS 0"});
    QCOMPARE(stationPicture(f()), QString("receive"));
    QVERIFY(!keying().tailTimer().isRunning());
}

void TestKeyingTimes::duringTheTail_data()
{
    QTest::addColumn<bool>("repeat"); // the message waits for its repeat in the tail
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("wire"); // what the action puts on the wire
    QTest::addColumn<bool>("keyed");

    // A new start keeps the transmitter keyed, without a lead.
    QTest::newRow("start") << false << "start" << QStringList{"RTS 1"} << true;
    QTest::newRow("repeat restart") << true << "restart" << QStringList{"RTS 1"} << true;
    // Every release but the end's comes at once.
    QTest::newRow("stop in the repeat wait") << true << "stop" << QStringList{"RTS 0"} << false;
    QTest::newRow("standby") << false << "standby" << QStringList{"RTS 0"} << false;
    QTest::newRow("failure") << false << "failure" << QStringList{"RTS 0"} << false;
    QTest::newRow("Lock engaged") << false << "lock" << QStringList{"RTS 1"} << true;
    QTest::newRow("Lock engaged and released")
        << false << "lock lock" << QStringList{"RTS 1", "RTS 0"} << false;
    // A start whose file cannot play keys nothing; the tail releases as it would have.
    QTest::newRow("start that cannot play") << false << "unplayable" << QStringList{} << true;
}

void TestKeyingTimes::duringTheTail()
{
    QFETCH(bool, repeat);
    QFETCH(QString, action);
    QFETCH(QStringList, wire);
    QFETCH(bool, keyed);
    f().state().LeadMs = 400;
    f().state().TailMs = 600;
    startMessage(f(), repeat);
    QVERIFY(StationFixture::tick(keying().leadTimer()));
    messageEnds(f());
    QVERIFY(keying().tailTimer().isRunning());
    this->wire();
    commands();

    for (const QString &step : action.split(' ')) {
        if (step == "start") {
            startMessage(f());
        } else if (step == "restart") {
            repeatRestarts(f());
        } else if (step == "stop") {
            stopMessage(f());
        } else if (step == "standby") {
            clickStandby(f());
        } else if (step == "failure") {
            f().device.deliverDone(MediaDevice::Failure);
        } else if (step == "lock") {
            clickLock(f());
        } else if (step == "unplayable") {
            f().device.unopenable << f().state().MemFile[0];
            startMessage(f());
        }
    }
    QCOMPARE(this->wire(), wire);
    QCOMPARE(f().lines.wireRts, keyed);
    QVERIFY(!keying().leadTimer().isRunning());
    if (action == "start" || action == "restart")
        QVERIFY(commands().contains("Play"));
    QCOMPARE(keying().tailTimer().isRunning(), action == "unplayable");
    if (action == "unplayable") {
        QVERIFY(StationFixture::tick(keying().tailTimer()));
        QCOMPARE(this->wire(), QStringList{"RTS 0"});
    }
}

void TestKeyingTimes::endOfProgramReleasesAtOnce_data()
{
    QTest::addColumn<QString>("when");
    QTest::newRow("in the lead") << "lead";
    QTest::newRow("in the tail") << "tail";
}

void TestKeyingTimes::endOfProgramReleasesAtOnce()
{
    QFETCH(QString, when);
    f().state().LeadMs = 2000;
    f().state().TailMs = 2000;
    f().state().TimeoutS = 60;
    startMessage(f());
    if (when == "tail") {
        QVERIFY(StationFixture::tick(keying().leadTimer()));
        messageEnds(f());
    }
    QVERIFY(f().lines.wireRts);
    f().lines.clearLogs();

    f().window().menuItem("Exit")->trigger();
    QCOMPARE(f().lines.log, QStringList({"RTS 0", "Close"}));
    QVERIFY(!f().lines.wireRts);
    for (FormTimer *timer : {&keying().leadTimer(), &keying().tailTimer(), &keying().timeoutTimer(),
                             &keying().lockBlinkTimer()})
        QVERIFY(!timer->isRunning());
}

// Keyed for TimeoutS without a break under Lock, with a memory repeating: 15 s before, the Lock
// button blinks; then the cycle ends as the operator's stop ends it, Lock is released and the
// transmitter with it, the refusal face shows and one line says why.
void TestKeyingTimes::timeOutUnderLockWithRepeat()
{
    f().state().TimeoutS = 40;
    PictureButton *lock = f().window().Command3d2();
    clickLock(f());
    QCOMPARE(keying().timeoutTimer().interval(), 25000);
    startMessage(f(), true);
    messageEnds(f());
    repeatRestarts(f());
    QCOMPARE(wire(), QStringList({"RTS 1", "RTS 1", "RTS 1"}));

    QVERIFY(StationFixture::tick(keying().timeoutTimer()));
    QCOMPARE(keying().timeoutTimer().interval(), 15000);
    QCOMPARE(keying().lockBlinkTimer().interval(), 250);
    QStringList faces{QString::number(f().face(lock))};
    for (int i = 0; i < 3; ++i) {
        QVERIFY(StationFixture::tick(keying().lockBlinkTimer()));
        faces << QString::number(f().face(lock));
    }
    QCOMPARE(faces, QStringList({"1", "2", "1", "2"}));
    QCOMPARE(wire(), QStringList());
    commands();

    StderrCapture capture;
    QVERIFY(StationFixture::tick(keying().timeoutTimer()));
    const QByteArray said = capture.text();
    QCOMPARE(said.count('\n'), 1);
    QVERIFY2(said.contains("voicevocta: the transmitter was keyed for 40 s without a break"),
             said.constData());
    QCOMPARE(commands(), QStringList({"Stop", "Prev"}));
    QCOMPARE(f().state().Playing(), 0);
    QVERIFY(!f().window().Timer1().isRunning());
    QCOMPARE(f().window().Panel3d1()->text(), QString("Idle"));
    QVERIFY(!f().state().LockOn);
    QCOMPARE(f().face(lock), 1);
    QCOMPARE(wire(), QStringList{"RTS 0"});
    QCOMPARE(stationPicture(f()), QString("receive"));
    QVERIFY(f().refusalFace() != 0);
    QVERIFY(!keying().timeoutTimer().isRunning());
    QVERIFY(!keying().lockBlinkTimer().isRunning());

    // The operator goes on: the next message keys, and its time counts afresh.
    startMessage(f());
    QCOMPARE(wire(), QStringList{"RTS 1"});
    QCOMPARE(keying().timeoutTimer().interval(), 25000);
}

// Below 30 s there is no warning: the time is up at once.
void TestKeyingTimes::timeOutWithoutWarning()
{
    f().state().TimeoutS = 29;
    startMessage(f());
    QCOMPARE(keying().timeoutTimer().interval(), 29000);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("keyed for 29 s without a break"));
    QVERIFY(StationFixture::tick(keying().timeoutTimer()));
    QVERIFY(!keying().lockBlinkTimer().isRunning());
    QCOMPARE(f().state().Playing(), 0);
    QCOMPARE(wire(), QStringList({"RTS 1", "RTS 0"}));
    QCOMPARE(f().face(f().window().Command3d2()), 1);
}

// The count runs while the transmitter stays keyed: across Lock, a message, its tail and the
// next message. Any release ends it.
void TestKeyingTimes::timeOutCountsWithoutABreak()
{
    f().state().TimeoutS = 30;
    f().state().TailMs = 500;
    f().state().LeadMs = 100;
    clickLock(f());
    QVERIFY(StationFixture::tick(keying().timeoutTimer())); // the warning
    QVERIFY(keying().lockBlinkTimer().isRunning());
    clickLock(f()); // released: the count is over
    QVERIFY(!keying().timeoutTimer().isRunning());
    QVERIFY(!keying().lockBlinkTimer().isRunning());

    startMessage(f()); // keyed again: counts afresh
    QCOMPARE(keying().timeoutTimer().interval(), 15000);
    QVERIFY(StationFixture::tick(keying().timeoutTimer()));
    QCOMPARE(keying().timeoutTimer().interval(), 15000);
    QVERIFY(keying().lockBlinkTimer().isRunning());
    // Within its tail the next message keeps the transmitter keyed, and the warning goes on.
    QVERIFY(StationFixture::tick(keying().leadTimer()));
    messageEnds(f());
    startMessage(f());
    QVERIFY(keying().lockBlinkTimer().isRunning());
    QVERIFY(keying().timeoutTimer().isRunning());
    // Standby breaks it.
    clickStandby(f());
    QVERIFY(!keying().timeoutTimer().isRunning());
    QVERIFY(!keying().lockBlinkTimer().isRunning());
    QCOMPARE(f().face(f().window().Command3d2()), 1);
}

// Lock engaged during the warning blinks on; released, the face is blue and still.
void TestKeyingTimes::releaseEndsTheWarning()
{
    f().state().TimeoutS = 100;
    startMessage(f());
    QCOMPARE(keying().timeoutTimer().interval(), 85000);
    QVERIFY(StationFixture::tick(keying().timeoutTimer()));
    PictureButton *lock = f().window().Command3d2();
    QCOMPARE(f().face(lock), 2); // blinking from red, as Lock is off
    clickLock(f());
    QVERIFY(keying().lockBlinkTimer().isRunning());
    QVERIFY(StationFixture::tick(keying().lockBlinkTimer()));
    QCOMPARE(f().face(lock), 1);
    clickLock(f());
    QVERIFY(!keying().lockBlinkTimer().isRunning());
    QCOMPARE(f().face(lock), 1);
    QVERIFY(!f().lines.wireRts);
    QVERIFY(!keying().timeoutTimer().isRunning());
}

QTEST_MAIN(TestKeyingTimes)
#include "tst_keyingtimes.moc"
