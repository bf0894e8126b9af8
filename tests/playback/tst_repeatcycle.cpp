// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/StationFixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QSlider>
#include <QTest>

// The repeat cycle: end, wait with "Pause", tick, restart, end ... until the operator stops it.
class TestRepeatCycle : public QObject
{
    Q_OBJECT

private slots:
    void cycleRunsUntilStopped();
    void stopDuringTheWait();
    void stopDuringThePlay();
    void delayZeroWaitsForTheOperator();
    void sliderMovedDuringTheWaitCountsAtTheNextEnd();
    void boxUntickedDuringTheWaitPlaysOnceMore();
    void boxTickedDuringAPlayMakesItRepeat();
    void boxOfAnotherMemoryChangesNothing();
    void lateTickAfterAStopDoesNothing();
    void delayButton();
    void delayCaption_data();
    void delayCaption();
    void standbyAndLockThroughTheCycle();
    void restartThatCannotPlayDoesNotKey();
};

namespace {
void startRepeating(StationFixture &f, int memory, int delay)
{
    f.state().Memories.MemDelay[memory] = delay;
    f.window().Check3d1(memory)->setChecked(true);
    f.clickMemory(memory);
}
} // namespace

void TestRepeatCycle::cycleRunsUntilStopped()
{
    StationFixture f;
    Form1 &w = f.window();
    startRepeating(f, 2, 3000);
    QVERIFY(f.onAirPictureShown());

    for (int round = 0; round < 3; ++round) {
        f.clock.advance(50);
        f.device.clearLog();
        f.device.finish();
        // The wait: released, "Pause", bar at 0, memory still busy, for the delay.
        QCOMPARE(f.now().playing(), 1);
        QCOMPARE(w.Panel3d1()->text(), QString("Pause"));
        QCOMPARE(w.Gauge1()->value(), 0);
        QVERIFY(!f.onAirPictureShown());
        QCOMPARE(f.device.commands(), (QStringList{"Rewind", "Back"}));
        f.clock.advance(2999);
        QCOMPARE(f.device.commands(), (QStringList{"Rewind", "Back"}));

        f.device.clearLog();
        f.clock.advance(1);
        // The restart: the open file again from its start, keyed again.
        QCOMPARE(f.device.log, (QStringList{"Prepare", "Rewind", "Play"}));
        QCOMPARE(f.now().playTime, 0.0);
        QVERIFY(f.onAirPictureShown());
        QCOMPARE(f.face(f.memory(2)), 2);
        QCOMPARE(f.face(w.Panel3d1()), 4);
    }
    f.clickMemory(2);
    QCOMPARE(f.now().playing(), 0);
    QCOMPARE(w.Panel3d1()->text(), QString("Idle"));
    QVERIFY(!f.onAirPictureShown());
}

void TestRepeatCycle::stopDuringTheWait()
{
    StationFixture f;
    startRepeating(f, 0, 2000);
    f.device.finish();
    f.clickMemory(0);
    QCOMPARE(f.now().playing(), 0);
    QCOMPARE(f.window().Panel3d1()->text(), QString("Idle"));
    QCOMPARE(f.face(f.memory(0)), 3);
    QCOMPARE(f.face(f.window().Panel3d1()), 1);
    f.device.clearLog();
    f.clock.advance(5000);
    QVERIFY(f.device.log.isEmpty());
}

void TestRepeatCycle::stopDuringThePlay()
{
    StationFixture f;
    startRepeating(f, 0, 2000);
    f.clock.advance(50);
    f.clickMemory(0);
    QCOMPARE(f.now().playing(), 0);
    QCOMPARE(f.window().Panel3d1()->text(), QString("Idle"));
    QVERIFY(!f.onAirPictureShown());
    f.device.clearLog();
    f.clock.advance(5000);
    QVERIFY(f.device.log.isEmpty());
}

void TestRepeatCycle::delayZeroWaitsForTheOperator()
{
    StationFixture f;
    startRepeating(f, 1, 0);
    f.device.finish();
    f.clock.advance(100000);
    QCOMPARE(f.now().playing(), 1);
    QCOMPARE(f.window().Panel3d1()->text(), QString("Pause"));
    QVERIFY(!f.clock.nextDue());
    f.clickMemory(1);
    QCOMPARE(f.now().playing(), 0);
}

void TestRepeatCycle::sliderMovedDuringTheWaitCountsAtTheNextEnd()
{
    StationFixture f;
    Form1 &w = f.window();
    startRepeating(f, 3, 4000);
    f.device.finish();
    w.HScroll1()->setValue(1200);
    f.clock.advance(3999);
    QCOMPARE(f.now().stage, Stage::RepeatWait);
    f.clock.advance(1);
    QCOMPARE(f.now().stage, Stage::Playing);
    f.device.finish();
    f.clock.advance(1199);
    QCOMPARE(f.now().stage, Stage::RepeatWait);
    f.clock.advance(1);
    QCOMPARE(f.now().stage, Stage::Playing);
    // The stored delay did not change: it sets the slider at the next start only.
    QCOMPARE(f.state().Memories.MemDelay[3], 4000.0);
}

void TestRepeatCycle::boxUntickedDuringTheWaitPlaysOnceMore()
{
    StationFixture f;
    startRepeating(f, 4, 1000);
    f.device.finish();
    f.window().Check3d1(4)->setChecked(false);
    QVERIFY(!f.now().repeat);
    f.clock.advance(1000);
    QCOMPARE(f.device.mode(), SoundPlayer::Mode::Playing);
    f.device.finish();
    QCOMPARE(f.now().playing(), 0);
    QCOMPARE(f.window().Panel3d1()->text(), QString("Idle"));
    QVERIFY(!f.clock.nextDue());
}

void TestRepeatCycle::boxTickedDuringAPlayMakesItRepeat()
{
    StationFixture f;
    f.clickMemory(5);
    f.window().Check3d1(5)->setChecked(true);
    QVERIFY(f.now().repeat);
    // The panel keeps its colour and caption until the end.
    QCOMPARE(f.face(f.window().Panel3d1()), 5);
    f.device.finish();
    QCOMPARE(f.now().playing(), 1);
    QCOMPARE(f.window().Panel3d1()->text(), QString("Pause"));
}

void TestRepeatCycle::boxOfAnotherMemoryChangesNothing()
{
    StationFixture f;
    f.clickMemory(0);
    f.window().Check3d1(3)->setChecked(true);
    QVERIFY(!f.now().repeat);
    f.device.finish();
    QCOMPARE(f.now().playing(), 0);
}

void TestRepeatCycle::lateTickAfterAStopDoesNothing()
{
    StationFixture f;
    startRepeating(f, 0, 500);
    f.device.finish();
    f.clickMemory(0);
    f.device.clearLog();
    // Even a tick delivered regardless of the timer's state does nothing.
    f.station->station().handle(StationEvents::RepeatTick{});
    QVERIFY(f.device.log.isEmpty());
    QVERIFY(!f.onAirPictureShown());
    QCOMPARE(f.now().playing(), 0);

    // And in time: nothing arrives after the stop.
    startRepeating(f, 0, 50);
    f.device.finish();
    f.clickMemory(0);
    f.device.clearLog();
    f.clock.advance(200);
    QVERIFY(f.device.log.isEmpty());
}

void TestRepeatCycle::delayButton()
{
    StationFixture f;
    Form1 &w = f.window();
    // Before any start there is no memory to store for.
    w.HScroll1()->setValue(2500);
    w.Panel3d2()->click();
    QVERIFY(!w.Picture1()->isHidden());
    for (double delay : f.state().Memories.MemDelay)
        QVERIFY(delay != 2500);

    f.clickMemory(1);
    w.HScroll1()->setValue(7300);
    w.Panel3d2()->click();
    QCOMPARE(f.state().Memories.MemDelay[1], 7300.0);
    QCOMPARE(f.state().Memories.MemDelay[2], 4500.0);
    f.clickMemory(1);
    // Another memory brings its own delay; memory 2 brings back the stored one.
    f.clickMemory(2);
    QCOMPARE(w.HScroll1()->value(), 4500);
    f.clickMemory(2);
    f.clickMemory(1);
    QCOMPARE(w.HScroll1()->value(), 7300);
}

void TestRepeatCycle::delayCaption_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("caption");
    QTest::newRow("4500") << 4500 << "4.5";
    QTest::newRow("10000") << 10000 << "10.0";
    QTest::newRow("0") << 0 << "0.0";
    QTest::newRow("50") << 50 << "0.1";
    QTest::newRow("9999") << 9999 << "10.0";
}

void TestRepeatCycle::delayCaption()
{
    QFETCH(int, value);
    QFETCH(QString, caption);
    StationFixture f;
    // Start-up leaves " 4.5" until the slider first moves.
    QCOMPARE(f.window().Panel3d2()->text(), QString(" 4.5"));
    f.window().HScroll1()->setValue(value == 4500 ? 4400 : 4500);
    f.window().HScroll1()->setValue(value);
    QCOMPARE(f.window().Panel3d2()->text(), caption);
}

void TestRepeatCycle::standbyAndLockThroughTheCycle()
{
    StationFixture f;
    f.leftClick(f.window().Command3d3()); // StdBy
    startRepeating(f, 0, 1000);
    QVERIFY(!f.onAirPictureShown());
    f.device.finish();
    f.clock.advance(1000);
    QCOMPARE(f.now().stage, Stage::Playing);
    QVERIFY(!f.onAirPictureShown());
    f.clickMemory(0);

    StationFixture g;
    g.leftClick(g.window().Command3d2()); // Lock
    startRepeating(g, 0, 1000);
    g.device.finish();
    QVERIFY(g.onAirPictureShown());
    g.clock.advance(1000);
    QCOMPARE(g.now().stage, Stage::Playing);
    QVERIFY(g.onAirPictureShown());
}

// The sound output went away during the wait: the restart finds that its output cannot play, so
// it keys nothing and ends the cycle as a failure.
void TestRepeatCycle::restartThatCannotPlayDoesNotKey()
{
    StationFixture f;
    f.state().Ptt.RtsOn = true;
    f.state().Ptt.RtsPos = false; // on air is the low level
    f.state().Ptt.ComNum = 1;
    f.station->serialKeyer().open();
    startRepeating(f, 0, 1000);
    f.device.finish();
    QVERIFY(!f.onAirPictureShown());
    f.lines.clearLogs();
    f.device.clearLog();

    f.device.playFails = true;
    f.clock.advance(1000);
    QCOMPARE(f.device.commands(), (QStringList{"Prepare", "Rewind"}));
    QVERIFY(!f.onAirPictureShown());
    QCOMPARE(f.now().playing(), 0);
    QCOMPARE(f.window().Panel3d1()->text(), QString("Idle"));
    QVERIFY(f.refusalFace() != 0);
    QVERIFY(!f.lines.log.contains("RTS 0"));
    QVERIFY(f.lines.wireRts);
    f.clock.advance(5000);
    QVERIFY(!f.lines.log.contains("RTS 0"));
    QVERIFY(!f.device.commands().contains("Play"));
}

QTEST_MAIN(TestRepeatCycle)
#include "tst_repeatcycle.moc"
