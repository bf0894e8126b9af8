// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/StationFixture.h"

#include "settings/TextRules.h"
#include "ui/TransportBar.h"

#include <QCheckBox>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QToolButton>

// Playing a message: status reports, its end, the transport bar and the refusal signal.
class TestMessagePlay : public QObject
{
    Q_OBJECT

private slots:
    void statusReportsCountTheElapsedTime_data();
    void statusReportsCountTheElapsedTime();
    void elapsedTimeTakesTheOperatorsDecimalSeparator_data();
    void elapsedTimeTakesTheOperatorsDecimalSeparator();
    void reportsThatChangeNothingOnScreenAreNotSaid();
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

void TestMessagePlay::statusReportsCountTheElapsedTime_data()
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

void TestMessagePlay::statusReportsCountTheElapsedTime()
{
    QFETCH(int, length);
    QFETCH(int, reports);
    QFETCH(QString, caption);
    QFETCH(int, bar);
    StationFixture f;
    f.device.nextLength = length;
    f.clickMemory(0);
    f.clock.advance(50 * reports);
    QCOMPARE(f.now().playTime, 55.0 * reports);
    QCOMPARE(f.window().Panel3d1()->text(), caption.replace('.', QLocale().decimalPoint()));
    QCOMPARE(f.window().Gauge1()->value(), bar);
}

void TestMessagePlay::elapsedTimeTakesTheOperatorsDecimalSeparator_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("elapsed");
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany) << "1,1";
    QTest::newRow("French") << QLocale(QLocale::French, QLocale::France) << "1,1";
    QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates) << "1.1";
}

void TestMessagePlay::elapsedTimeTakesTheOperatorsDecimalSeparator()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, elapsed);
    const QLocale before;
    QLocale::setDefault(locale);
    const auto restore = qScopeGuard([&] { QLocale::setDefault(before); });

    StationFixture f;
    f.device.nextLength = 100000;
    f.clickMemory(0);
    f.clock.advance(50 * 20);
    QCOMPARE(f.window().Panel3d1()->text(), elapsed);
    f.clock.advance(50 * 20000); // 1101 s: no group separator
    QCOMPARE(f.window().Panel3d1()->text(), "1101" + elapsed.right(2));
    // The delay button keeps its point.
    f.window().HScroll1()->setValue(2500);
    QCOMPARE(f.window().Panel3d2()->text(), QString("2.5"));
}

void TestMessagePlay::reportsThatChangeNothingOnScreenAreNotSaid()
{
    StationFixture f;
    f.device.nextLength = 30000;
    f.clickMemory(0);
    QSignalSpy said(&f.station->station(), &Station::changed);
    for (int report = 1; report <= 600; ++report) {
        f.clock.advance(50);
        QCOMPARE(f.window().Panel3d1()->text(),
                 TextRules::formatOneDecimal(report * 55 / 1000.0, QLocale().decimalPoint()));
        QCOMPARE(f.window().Gauge1()->value(),
                 qMin(100, int(TextRules::roundHalfEven(report * 55 / 300.0))));
    }
    QVERIFY2(said.count() < 400, qPrintable(QString::number(said.count())));
}

void TestMessagePlay::reportsWithoutALengthChangeNothing()
{
    StationFixture f;
    f.device.nextLength = 0; // a file without a length
    f.clickMemory(0);
    f.clock.advance(50 * 10);
    QCOMPARE(f.window().Panel3d1()->text(), QString("Idle"));
    QCOMPARE(f.window().Gauge1()->value(), 0);

    // A count far past a short file's length (beyond 16 bits of percent) also changes nothing.
    StationFixture g;
    g.device.nextLength = 1;
    g.clickMemory(0);
    g.clock.advance(50 * 5);
    QCOMPARE(g.window().Gauge1()->value(), 100);
    const QString early = g.window().Panel3d1()->text();
    g.clock.advance(50 * 600);
    QCOMPARE(g.window().Panel3d1()->text(), early);
    QCOMPARE(g.window().Gauge1()->value(), 100);
}

void TestMessagePlay::endOfMessageReturnsToIdle_data()
{
    QTest::addColumn<SoundPlayer::Outcome>("outcome");
    QTest::newRow("ended") << SoundPlayer::Outcome::Ended;
    QTest::newRow("stopped") << SoundPlayer::Outcome::Stopped;
}

void TestMessagePlay::endOfMessageReturnsToIdle()
{
    QFETCH(SoundPlayer::Outcome, outcome);
    StationFixture f;
    f.clickMemory(2);
    f.clock.advance(50);
    f.device.clearLog();
    f.device.finish(outcome);

    QCOMPARE(f.now().playing(), 0);
    QCOMPARE(f.face(f.memory(2)), 3);
    QCOMPARE(f.face(f.window().Panel3d1()), 1);
    QCOMPARE(f.window().Panel3d1()->text(), QString("Idle"));
    QCOMPARE(f.window().Gauge1()->value(), 0);
    QVERIFY(!f.onAirPictureShown());
    QVERIFY(f.window().Picture1()->isHidden());
    QCOMPARE(f.device.log, QStringList{"Rewind"});
    // Nothing repeats.
    f.clock.advance(10000);
    QCOMPARE(f.device.log, QStringList{"Rewind"});
}

void TestMessagePlay::failedPlayEndsEvenWithRepeat()
{
    // A file that cannot play must not key the transmitter again after every delay.
    StationFixture f;
    f.window().Check3d1(0)->setChecked(true);
    f.clickMemory(0);
    f.device.finish(SoundPlayer::Outcome::Failed);
    QCOMPARE(f.now().playing(), 0);
    QCOMPARE(f.window().Panel3d1()->text(), QString("Idle"));
    QCOMPARE(f.face(f.memory(0)), 3);
    QVERIFY(!f.onAirPictureShown());
    // The operator sees that it did not go out.
    QVERIFY(!f.window().Picture1()->isHidden());
    f.clock.advance(10000);
    QCOMPARE(f.now().playing(), 0);
    QVERIFY(!f.onAirPictureShown());
}

void TestMessagePlay::doneWhilePlayingIssuesNoPrev()
{
    StationFixture f;
    f.clickMemory(0);
    f.device.clearLog();
    f.device.deliverDone(SoundPlayer::Outcome::Stopped); // the player still plays
    QVERIFY(!f.device.commands().contains("Rewind"));
}

void TestMessagePlay::doneWithLockKeepsTheTransmitterKeyed()
{
    StationFixture f;
    f.clickMemory(0);
    f.leftClick(f.window().Command3d2()); // Lock
    f.device.finish();
    QVERIFY(f.onAirPictureShown());

    // With repeat, the end leaves the memory busy and the caption "Pause".
    StationFixture g;
    g.window().Check3d1(0)->setChecked(true);
    g.clickMemory(0);
    g.device.finish();
    QCOMPARE(g.now().playing(), 1);
    QCOMPARE(g.window().Panel3d1()->text(), QString("Pause"));
    QCOMPARE(g.face(g.memory(0)), 2);
    QCOMPARE(g.face(g.window().Panel3d1()), 4);
    QVERIFY(!g.onAirPictureShown());
}

void TestMessagePlay::doneFromTheTransportBarBeforeAnyMemory()
{
    StationFixture f;
    f.window().MMControl1()->button(TransportBar::Play)->click();
    QCOMPARE(f.device.mode(), SoundPlayer::Mode::Playing);
    QCOMPARE(f.now().playing(), 0);
    f.device.finish();
    QVERIFY(!f.window().Picture1()->isHidden());
    QVERIFY(f.refusalFace() >= 1);
    QCOMPARE(f.face(f.window().Panel3d1()), 1);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(f.face(f.memory(i)), 1);
}

void TestMessagePlay::transportButtons()
{
    StationFixture f;
    TransportBar *bar = f.window().MMControl1();
    f.device.clearLog();
    bar->button(TransportBar::Play)->click();
    QCOMPARE(f.device.log, QStringList{"Play"});
    QCOMPARE(f.now().playTime, 0.0);
    // Its status reports count; with nothing open they show nothing, and come once a second.
    f.clock.advance(50 * 21);
    QCOMPARE(f.now().playTime, 55.0 * 21);

    f.device.clearLog();
    bar->button(TransportBar::Stop)->click();
    QCOMPARE(f.device.log, (QStringList{"Stop", "Rewind"}));
    f.clock.advance(50 * 21);
    QCOMPARE(f.now().playTime, 55.0 * 21);

    f.device.clearLog();
    bar->button(TransportBar::Prev)->click();
    QCOMPARE(f.device.log, QStringList{"Rewind"});

    // The transport Stop leaves a memory's play state to the notification that follows.
    f.clickMemory(1);
    bar->button(TransportBar::Stop)->click();
    QCOMPARE(f.now().playing(), 1);
    f.device.deliverDone(SoundPlayer::Outcome::Stopped);
    QCOMPARE(f.now().playing(), 0);
    QCOMPARE(f.face(f.memory(1)), 3);
}

void TestMessagePlay::stopMemRewindsAndKeepsWait()
{
    StationFixture f;
    f.clickMemory(0);
    f.clock.advance(50 * 10);
    QVERIFY(f.window().Gauge1()->value() > 0);
    f.device.clearLog();
    f.clickMemory(0);
    QCOMPARE(f.device.log, (QStringList{"Stop", "Rewind"}));
    QCOMPARE(f.window().Gauge1()->value(), 0);
    // The reports are over.
    f.clock.advance(500);
    QCOMPARE(f.window().Gauge1()->value(), 0);
}

void TestMessagePlay::refusalFaceShowsForOneSecond()
{
    StationFixture f;
    Form1 &w = f.window();
    w.Panel3d1()->click(); // the status panel only refuses
    QVERIFY(!w.Picture1()->isHidden());
    const int first = f.refusalFace();
    QVERIFY(first >= 1 && first <= 4);
    f.clock.advance(600);
    QVERIFY(!w.Picture1()->isHidden());

    // A second refusal within the second changes the face and starts the second again.
    w.Panel3d1()->click();
    const int second = f.refusalFace();
    QVERIFY(second >= 1 && second <= 4);
    f.clock.advance(999);
    QVERIFY(!w.Picture1()->isHidden());
    f.clock.advance(1);
    QVERIFY(w.Picture1()->isHidden());
}

void TestMessagePlay::refusalFacesRepeatInEveryRun()
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

void TestMessagePlay::playMemWithAnEmptyPathStillOpensAndPlays()
{
    StationFixture f;
    f.state().Memories.MemFile[4].clear();
    f.device.clearLog();
    f.clickMemory(4);
    QCOMPARE(f.device.commands(), (QStringList{"Close", "Open", "Prepare", "Play"}));
    QVERIFY(f.device.log.contains("Open "));
}

QTEST_MAIN(TestMessagePlay)
#include "tst_messageplay.moc"
