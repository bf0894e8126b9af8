// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/StationFixture.h"

#include "ui/TransportBar.h"

#include <QCheckBox>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QScopeGuard>
#include <QSlider>
#include <QTest>
#include <QToolButton>

// The player: status reports, the end of a message, the transport bar and the refusal signal.
class TestPlayer : public QObject
{
    Q_OBJECT

private slots:
    void statusReportsCountTheElapsedTime_data();
    void statusReportsCountTheElapsedTime();
    void elapsedTimeTakesTheOperatorsDecimalSeparator_data();
    void elapsedTimeTakesTheOperatorsDecimalSeparator();
    void reportsWithoutALengthChangeNothing();
    void endOfMessageReturnsToIdle_data();
    void endOfMessageReturnsToIdle();
    void failedPlayEndsEvenWithRepeat();
    void doneWhilePlayingIssuesNoPrev();
    void doneWithLockKeepsTheTransmitterKeyed();
    void doneFromTheTransportBarBeforeAnyMemory();
    void transportButtons();
    void stopMemRewindsAndKeepsWait();
    void refusalFaceShowsForOneSecond();
    void refusalFacesRepeatInEveryRun();
    void playMemWithAnEmptyPathStillOpensAndPlays();
};

void TestPlayer::statusReportsCountTheElapsedTime_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("reports");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("bar");
    QTest::newRow("one report") << 1100 << 1 << "0.1" << 5;
    QTest::newRow("20 reports is 1.1 s") << 1100 << 20 << "1.1" << 100;
    QTest::newRow("half way") << 2200 << 20 << "1.1" << 50;
    QTest::newRow("past the end stays at 100") << 1000 << 40 << "2.2" << 100;
}

void TestPlayer::statusReportsCountTheElapsedTime()
{
    QFETCH(int, length);
    QFETCH(int, reports);
    QFETCH(QString, caption);
    QFETCH(int, bar);
    StationFixture f;
    f.device.nextLength = length;
    f.clickMemory(0);
    for (int i = 0; i < reports; ++i)
        f.device.report();
    QCOMPARE(f.state().PlayTime, 55.0 * reports);
    QCOMPARE(f.window().Panel3d1()->text(), caption.replace('.', QLocale().decimalPoint()));
    QCOMPARE(f.window().Gauge1()->value(), bar);
}

void TestPlayer::elapsedTimeTakesTheOperatorsDecimalSeparator_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("elapsed");
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << "1,1";
    QTest::newRow("French") << QLocale(QLocale::French, QLocale::France) << "1,1";
    QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates) << "1.1";
}

void TestPlayer::elapsedTimeTakesTheOperatorsDecimalSeparator()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, elapsed);
    const QLocale before;
    QLocale::setDefault(locale);
    const auto restore = qScopeGuard([&] { QLocale::setDefault(before); });

    StationFixture f;
    f.device.nextLength = 100000;
    f.clickMemory(0);
    for (int i = 0; i < 20; ++i)
        f.device.report();
    QCOMPARE(f.window().Panel3d1()->text(), elapsed);
    for (int i = 0; i < 20000; ++i)
        f.device.report(); // 1101 s: no group separator
    QCOMPARE(f.window().Panel3d1()->text(), "1101" + elapsed.right(2));
    // The delay button keeps its point.
    f.window().HScroll1()->setValue(2500);
    QCOMPARE(f.window().Panel3d2()->text(), QString("2.5"));
}

void TestPlayer::reportsWithoutALengthChangeNothing()
{
    StationFixture f;
    f.clickMemory(0);
    f.device.report();
    const QString caption = f.window().Panel3d1()->text();
    const int bar = f.window().Gauge1()->value();
    f.device.setCommand("Close"); // Length is 0 now
    f.device.report();
    QCOMPARE(f.window().Panel3d1()->text(), caption);
    QCOMPARE(f.window().Gauge1()->value(), bar);

    // A count far past a short file's length (beyond 16 bits of percent) also changes nothing.
    StationFixture g;
    g.device.nextLength = 1;
    g.clickMemory(0);
    for (int i = 0; i < 5; ++i)
        g.device.report();
    QCOMPARE(g.window().Gauge1()->value(), 100);
    const QString early = g.window().Panel3d1()->text();
    for (int i = 0; i < 600; ++i)
        g.device.report();
    QCOMPARE(g.window().Panel3d1()->text(), early);
    QCOMPARE(g.window().Gauge1()->value(), 100);
}

void TestPlayer::endOfMessageReturnsToIdle_data()
{
    QTest::addColumn<int>("code");
    QTest::newRow("successful") << int(MediaDevice::Successful);
    QTest::newRow("superseded") << int(MediaDevice::Superseded);
    QTest::newRow("aborted") << int(MediaDevice::Aborted);
}

void TestPlayer::endOfMessageReturnsToIdle()
{
    QFETCH(int, code);
    StationFixture f;
    f.clickMemory(2);
    f.device.report();
    f.device.clearLog();
    f.device.finish(code);

    QCOMPARE(f.state().Playing(), 0);
    QCOMPARE(f.face(f.memory(2)), 3);
    QCOMPARE(f.face(f.window().Panel3d1()), 1);
    QCOMPARE(f.window().Panel3d1()->text(), QString("Idle"));
    QCOMPARE(f.window().Gauge1()->value(), 0);
    QVERIFY(!f.onAirPictureShown());
    QVERIFY(f.window().Picture1()->isHidden());
    QVERIFY(!f.window().Timer1().isRunning());
    QCOMPARE(f.device.log, (QStringList{"UpdateInterval 0", "Prev"}));
}

void TestPlayer::failedPlayEndsEvenWithRepeat()
{
    // A file that cannot play must not key the transmitter again after every delay.
    StationFixture f;
    f.window().Check3d1(0)->setChecked(true);
    f.clickMemory(0);
    f.device.finish(MediaDevice::Failure);
    QCOMPARE(f.state().Playing(), 0);
    QVERIFY(!f.window().Timer1().isRunning());
    QCOMPARE(f.window().Panel3d1()->text(), QString("Idle"));
    QCOMPARE(f.face(f.memory(0)), 3);
    QVERIFY(!f.onAirPictureShown());
    // The operator sees that it did not go out.
    QVERIFY(!f.window().Picture1()->isHidden());
}

void TestPlayer::doneWhilePlayingIssuesNoPrev()
{
    StationFixture f;
    f.clickMemory(0);
    f.device.clearLog();
    f.device.deliverDone(MediaDevice::Superseded); // the device still plays
    QVERIFY(!f.device.commands().contains("Prev"));
}

void TestPlayer::doneWithLockKeepsTheTransmitterKeyed()
{
    StationFixture f;
    f.clickMemory(0);
    f.state().LockOn = true;
    f.device.finish();
    QVERIFY(f.onAirPictureShown());

    // With repeat, the end leaves the memory busy and the caption "Pause".
    StationFixture g;
    g.window().Check3d1(0)->setChecked(true);
    g.clickMemory(0);
    g.device.finish();
    QCOMPARE(g.state().Playing(), 1);
    QCOMPARE(g.window().Panel3d1()->text(), QString("Pause"));
    QCOMPARE(g.face(g.memory(0)), 2);
    QCOMPARE(g.face(g.window().Panel3d1()), 4);
    QVERIFY(!g.onAirPictureShown());
}

void TestPlayer::doneFromTheTransportBarBeforeAnyMemory()
{
    StationFixture f;
    f.window().MMControl1()->button(TransportBar::Play)->click();
    QCOMPARE(f.device.Mode(), int(MediaDevice::Playing));
    QCOMPARE(f.state().Playing(), 0);
    f.device.finish();
    QVERIFY(!f.window().Picture1()->isHidden());
    QVERIFY(f.refusalFace() >= 1);
    QCOMPARE(f.face(f.window().Panel3d1()), 1);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(f.face(f.memory(i)), 1);
}

void TestPlayer::transportButtons()
{
    StationFixture f;
    TransportBar *bar = f.window().MMControl1();
    f.device.clearLog();
    bar->button(TransportBar::Play)->click();
    QCOMPARE(f.device.log, (QStringList{"UpdateInterval 50", "Play"}));
    QCOMPARE(f.state().PlayTime, 0.0);

    f.device.clearLog();
    bar->button(TransportBar::Stop)->click();
    QCOMPARE(f.device.log, (QStringList{"UpdateInterval 0", "Stop", "Prev", "Stop"}));
    QVERIFY(!f.device.Wait());

    f.device.clearLog();
    bar->button(TransportBar::Prev)->click();
    QCOMPARE(f.device.log, (QStringList{"UpdateInterval 0", "Prev", "Prev"}));

    // The transport Stop leaves a memory's play state to the notification that follows.
    f.clickMemory(1);
    bar->button(TransportBar::Stop)->click();
    QCOMPARE(f.state().Playing(), 1);
    f.device.deliverDone(MediaDevice::Aborted);
    QCOMPARE(f.state().Playing(), 0);
    QCOMPARE(f.face(f.memory(1)), 3);
}

void TestPlayer::stopMemRewindsAndKeepsWait()
{
    StationFixture f;
    f.clickMemory(0);
    for (int i = 0; i < 10; ++i)
        f.device.report();
    QVERIFY(f.window().Gauge1()->value() > 0);
    f.device.clearLog();
    f.clickMemory(0);
    QCOMPARE(f.device.log, (QStringList{"UpdateInterval 0", "Stop", "Prev"}));
    QCOMPARE(f.window().Gauge1()->value(), 0);
    QVERIFY(f.device.Wait());
}

void TestPlayer::refusalFaceShowsForOneSecond()
{
    StationFixture f;
    Form1 &w = f.window();
    w.Panel3d1()->click(); // the status panel only refuses
    QVERIFY(!w.Picture1()->isHidden());
    const int first = f.refusalFace();
    QVERIFY(first >= 1 && first <= 4);
    QCOMPARE(w.Timer3().interval(), 1000);
    QVERIFY(w.Timer3().isRunning());

    // A second refusal within the second changes the face and starts the second again.
    w.Panel3d1()->click();
    const int second = f.refusalFace();
    QVERIFY(second >= 1 && second <= 4);
    QVERIFY(w.Timer3().isRunning());

    QVERIFY(StationFixture::tick(w.Timer3()));
    QVERIFY(w.Picture1()->isHidden());
    QVERIFY(!w.Timer3().isRunning());

    // And with the real clock.
    w.Panel3d1()->click();
    QTRY_VERIFY_WITH_TIMEOUT(w.Picture1()->isHidden(), 3000);
}

void TestPlayer::refusalFacesRepeatInEveryRun()
{
    QList<int> faces[2];
    for (QList<int> &run : faces) {
        StationFixture f;
        for (int i = 0; i < 12; ++i) {
            f.window().Panel3d1()->click();
            run << f.refusalFace();
        }
    }
    QCOMPARE(faces[0], faces[1]);
    // Not one face all the time.
    QVERIFY(faces[0].count(faces[0].first()) < faces[0].size());
}

void TestPlayer::playMemWithAnEmptyPathStillOpensAndPlays()
{
    StationFixture f;
    f.state().MemFile[4].clear();
    f.device.clearLog();
    f.clickMemory(4);
    QCOMPARE(f.device.commands(), (QStringList{"Close", "Open", "Play"}));
    QVERIFY(f.device.log.contains("Open "));
}

QTEST_MAIN(TestPlayer)
#include "tst_player.moc"
