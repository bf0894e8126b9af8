// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/StationFixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

// What a click on a memory button does, in every state of the player.
class TestMemoryBank : public QObject
{
    Q_OBJECT

private slots:
    void firstClickAfterStartUp();
    void clickTable_data();
    void clickTable();
    void refusedClickChangesNothing();
    void stopWithLockKeepsTheTransmitterKeyed();
    void startWithStandbyDoesNotKey();
    void panelColourFollowsTheRepeatBox();
    void startingAnotherMemoryRecoloursThePreviousOne();
    void storedDelayMovesTheSlider_data();
    void storedDelayMovesTheSlider();
    void fileDialogAsksForTheMemorysFile();
    void chosenFileIsStoredAndSaved();
    void cancelledDialogChangesNothingElse();
    void onlyTheRightButtonChoosesAFile();
    void lateDoneCannotRestartANewMessage();
    void fileThatCannotOpenNeverKeys_data();
    void fileThatCannotOpenNeverKeys();
};

void TestMemoryBank::firstClickAfterStartUp()
{
    StationFixture f;
    f.state().Memories.MemFile[2] = "/sounds/three.wav";
    f.device.clearLog();
    f.clickMemory(2);

    QCOMPARE(f.now().playing(), 1);
    QCOMPARE(f.now().memory, 2);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(f.face(f.memory(i)), i == 2 ? 2 : 1);
    QCOMPARE(f.face(f.window().Panel3d1()), 5);
    QCOMPARE(f.device.log, (QStringList{"Close", "Open /sounds/three.wav", "Prepare", "Play"}));
    QVERIFY(f.onAirPictureShown());
}

void TestMemoryBank::clickTable_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("right");
    QTest::addColumn<bool>("onCurrent");
    // What follows: Playing, the clicked memory's face, the panel's face, the device commands
    // issued, a refusal shown, a file dialog opened.
    QTest::addColumn<int>("playing");
    QTest::addColumn<int>("clickedFace");
    QTest::addColumn<int>("panelFace");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<bool>("dialog");

    const QStringList start{"Close", "Open", "Prepare", "Play"};
    const QStringList stop{"Stop", "Rewind"};
    const int idle = int(Stage::Idle), playing = int(Stage::Playing), wait = int(Stage::RepeatWait);
    QTest::newRow("idle, left on current")
        << idle << false << true << 1 << 2 << 5 << start << false << false;
    QTest::newRow("idle, left on other")
        << idle << false << false << 1 << 2 << 5 << start << false << false;
    QTest::newRow("idle, right on current")
        << idle << true << true << 0 << 3 << 1 << QStringList() << false << true;
    QTest::newRow("idle, right on other")
        << idle << true << false << 0 << 1 << 1 << QStringList() << false << true;
    QTest::newRow("playing, left on current")
        << playing << false << true << 0 << 3 << 1 << stop << false << false;
    QTest::newRow("playing, left on other")
        << playing << false << false << 1 << 1 << 5 << QStringList() << true << false;
    QTest::newRow("playing, right on current")
        << playing << true << true << 1 << 2 << 5 << QStringList() << false << false;
    QTest::newRow("playing, right on other")
        << playing << true << false << 1 << 1 << 5 << QStringList() << false << true;
    QTest::newRow("repeat wait, left on current")
        << wait << false << true << 0 << 3 << 1 << stop << false << false;
    QTest::newRow("repeat wait, left on other")
        << wait << false << false << 1 << 1 << 4 << QStringList() << true << false;
    QTest::newRow("repeat wait, right on current")
        << wait << true << true << 1 << 2 << 4 << QStringList() << false << false;
    QTest::newRow("repeat wait, right on other")
        << wait << true << false << 1 << 1 << 4 << QStringList() << false << true;
}

void TestMemoryBank::clickTable()
{
    QFETCH(int, state);
    QFETCH(bool, right);
    QFETCH(bool, onCurrent);
    QFETCH(int, playing);
    QFETCH(int, clickedFace);
    QFETCH(int, panelFace);
    QFETCH(QStringList, commands);
    QFETCH(bool, refused);
    QFETCH(bool, dialog);

    StationFixture f;
    const int current = 3;
    f.enter(Stage(state), current);
    const int clicked = onCurrent ? current : 1;
    if (right)
        f.rightClick(f.memory(clicked));
    else
        f.clickMemory(clicked);

    QCOMPARE(f.now().playing(), playing);
    QCOMPARE(f.face(f.memory(clicked)), clickedFace);
    QCOMPARE(f.face(f.window().Panel3d1()), panelFace);
    QCOMPARE(f.device.commands(), commands);
    QCOMPARE(!f.window().Picture1()->isHidden(), refused);
    QCOMPARE(f.dialogs.fileRequests.size(), dialog ? 1 : 0);
    // The current memory changes only by a start.
    QCOMPARE(f.now().memory, commands.contains("Open") ? clicked : current);
    if (!right && onCurrent && state != int(Stage::Idle)) {
        QCOMPARE(f.window().Panel3d1()->text(), QString("Idle"));
        QCOMPARE(f.window().Gauge1()->value(), 0);
        QVERIFY(!f.onAirPictureShown());
        f.device.clearLog();
        f.clock.advance(10000); // no repeat comes
        QVERIFY(f.device.log.isEmpty());
    }
}

void TestMemoryBank::refusedClickChangesNothing()
{
    StationFixture f;
    f.clickMemory(4);
    f.clock.advance(100);
    const QString caption = f.window().Panel3d1()->text();
    const int bar = f.window().Gauge1()->value();
    const int slider = f.window().HScroll1()->value();
    f.device.clearLog();

    f.window().Check3d1(1)->setChecked(true);
    f.clickMemory(1);

    QVERIFY(!f.window().Picture1()->isHidden());
    QVERIFY(f.refusalFace() >= 1);
    QCOMPARE(f.now().memory, 4);
    QCOMPARE(f.now().playing(), 1);
    QVERIFY(!f.now().repeat);
    QCOMPARE(f.face(f.memory(4)), 2);
    QCOMPARE(f.face(f.memory(1)), 1);
    QCOMPARE(f.window().Panel3d1()->text(), caption);
    QCOMPARE(f.window().Gauge1()->value(), bar);
    QCOMPARE(f.window().HScroll1()->value(), slider);
    QVERIFY(f.device.log.isEmpty());
    QVERIFY(f.onAirPictureShown());
}

void TestMemoryBank::stopWithLockKeepsTheTransmitterKeyed()
{
    StationFixture f;
    f.clickMemory(0);
    f.leftClick(f.window().Command3d2()); // Lock
    f.clickMemory(0);
    QCOMPARE(f.face(f.memory(0)), 3);
    QVERIFY(f.onAirPictureShown());
}

void TestMemoryBank::startWithStandbyDoesNotKey()
{
    StationFixture f;
    f.leftClick(f.window().Command3d3()); // StdBy
    f.clickMemory(0);
    QCOMPARE(f.now().playing(), 1);
    QVERIFY(!f.onAirPictureShown());
}

void TestMemoryBank::panelColourFollowsTheRepeatBox()
{
    StationFixture f;
    f.window().Check3d1(5)->setChecked(true);
    f.clickMemory(5);
    QCOMPARE(f.face(f.window().Panel3d1()), 4);
    QVERIFY(f.now().repeat);
    f.clickMemory(5);
    f.window().Check3d1(5)->setChecked(false);
    f.clickMemory(5);
    QCOMPARE(f.face(f.window().Panel3d1()), 5);
    QVERIFY(!f.now().repeat);
}

void TestMemoryBank::startingAnotherMemoryRecoloursThePreviousOne()
{
    StationFixture f;
    f.clickMemory(1);
    f.device.finish();
    QCOMPARE(f.face(f.memory(1)), 3);
    f.clickMemory(4);
    QCOMPARE(f.face(f.memory(1)), 1);
    QCOMPARE(f.face(f.memory(4)), 2);
}

void TestMemoryBank::storedDelayMovesTheSlider_data()
{
    QTest::addColumn<double>("stored");
    QTest::addColumn<int>("slider");
    QTest::addColumn<QString>("caption");
    QTest::newRow("whole") << 2000.0 << 2000 << "2.0";
    QTest::newRow("half to even, down") << 1500.5 << 1500 << "1.5";
    QTest::newRow("half to even, up") << 1501.5 << 1502 << "1.5";
    QTest::newRow("zero") << 0.0 << 0 << "0.0";
    QTest::newRow("beyond the slider") << 70000.0 << 10000 << "10.0";
    QTest::newRow("negative") << -300.0 << 0 << "0.0";
    QTest::newRow("beyond 32 bits") << 1e12 << 10000 << "10.0";
}

void TestMemoryBank::storedDelayMovesTheSlider()
{
    QFETCH(double, stored);
    QFETCH(int, slider);
    QFETCH(QString, caption);
    StationFixture f;
    f.state().Memories.MemDelay[2] = stored;
    f.clickMemory(2);
    QCOMPARE(f.window().HScroll1()->value(), slider);
    QCOMPARE(f.window().Panel3d2()->text(), caption);
}

void TestMemoryBank::fileDialogAsksForTheMemorysFile()
{
    StationFixture f;
    f.rightClick(f.memory(2));
    QCOMPARE(f.dialogs.fileRequests.size(), 1);
    const Dialogs::OpenFileRequest &request = f.dialogs.fileRequests.first();
    QCOMPARE(request.title, QString("Choose The File For Memory 3"));
    QCOMPARE(request.filters, (QStringList{"Wav Files (*.wav)", "Mid Files (*.mid)"}));
    QCOMPARE(request.fileName, QString());
    QVERIFY(request.mustExist);
    QCOMPARE(f.memory(2)->backColor(), QColor(255, 255, 0));

    // It opens in the folder of the memory's file; in the recordings' when that file is gone.
    f.state().Memories.MemFile[2] = f.programDir() + "/Images/receive.bmp";
    f.rightClick(f.memory(2));
    QCOMPARE(f.dialogs.fileRequests.last().directory, f.programDir() + "/Images");
    f.state().Memories.MemFile[2] = f.programDir() + "/Images/gone.wav";
    f.rightClick(f.memory(2));
    QCOMPARE(f.dialogs.fileRequests.last().directory, f.state().Places.RecordDir);
}

void TestMemoryBank::chosenFileIsStoredAndSaved()
{
    StationFixture f;
    f.clickMemory(0); // a message plays meanwhile
    f.dialogs.fileAnswer = "/sounds/cq contest.wav";
    f.rightClick(f.memory(3));
    QCOMPARE(f.state().Memories.MemFile[3], QString("/sounds/cq contest.wav"));
    QFile ini(f.state().Places.IniFile);
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(ini.readAll().contains("FileName=/sounds/cq contest.wav"));
    // The message that plays is not affected.
    QCOMPARE(f.now().memory, 0);
    QCOMPARE(f.now().playing(), 1);
}

void TestMemoryBank::cancelledDialogChangesNothingElse()
{
    StationFixture f;
    const QString before = f.state().Memories.MemFile[1];
    f.dialogs.fileAnswer.clear();
    f.rightClick(f.memory(1));
    QCOMPARE(f.state().Memories.MemFile[1], before);
    QVERIFY(!QFile::exists(f.state().Places.IniFile));
    QCOMPARE(f.memory(1)->backColor(), QColor(255, 255, 0));
    QCOMPARE(f.face(f.memory(1)), 1);
}

void TestMemoryBank::onlyTheRightButtonChoosesAFile()
{
    StationFixture f;
    QTest::mouseClick(f.memory(1), Qt::MiddleButton);
    QTest::mousePress(f.memory(2), Qt::LeftButton);
    QTest::mouseRelease(f.memory(2), Qt::LeftButton);
    QVERIFY(f.dialogs.fileRequests.isEmpty());
}

void TestMemoryBank::lateDoneCannotRestartANewMessage()
{
    StationFixture f;
    f.state().Memories.MemDelay[0] = 1000;
    f.window().Check3d1(0)->setChecked(true);
    f.clickMemory(0);
    f.clickMemory(0); // stop: the player's stop ends the play...
    f.device.deliverDone(SoundPlayer::Outcome::Stopped); // ...and its end is said after
    QCOMPARE(f.window().Panel3d1()->text(), QString("Idle"));

    f.clickMemory(1);
    f.device.clearLog();
    f.clock.advance(5000);
    QVERIFY(f.device.log.isEmpty());
    QCOMPARE(f.now().playing(), 1);
    QCOMPARE(f.now().memory, 1);
}

void TestMemoryBank::fileThatCannotOpenNeverKeys_data()
{
    QTest::addColumn<bool>("repeat");
    QTest::newRow("once") << false;
    QTest::newRow("repeat") << true;
}

// The player knows at its opening that the file cannot play: the start keys nothing and ends at
// once as any failed message does, the window never showing it as playing.
void TestMemoryBank::fileThatCannotOpenNeverKeys()
{
    QFETCH(bool, repeat);
    StationFixture f;
    // RTS keys by a high level, DTR by a low one: "RTS 1" and "DTR 0" are on-air levels.
    f.state().Ptt.RtsOn = true;
    f.state().Ptt.RtsPos = true;
    f.state().Ptt.DtrOn = true;
    f.state().Ptt.DtrPos = false;
    f.state().Ptt.ComNum = 1;
    f.station->serialKeyer().open();
    QVERIFY(f.lines.isOpen());
    f.state().Memories.MemFile[0] = "/sounds/text.wav";
    f.state().Memories.MemDelay[0] = 1000;
    f.device.unopenable << "/sounds/text.wav";
    f.window().Check3d1(0)->setChecked(repeat);
    f.lines.clearLogs();

    QSignalSpy changes(&f.station->station(), &Station::changed);
    f.clickMemory(0);
    QCOMPARE(f.device.mode(), SoundPlayer::Mode::NotReady);
    for (const QList<QVariant> &change : changes)
        QCOMPARE(change.at(0).value<StationState>().playing(), 0);
    QCOMPARE(f.now().playing(), 0);
    QCOMPARE(f.now().memory, 0);
    QCOMPARE(f.face(f.memory(0)), 3);
    QCOMPARE(f.face(f.window().Panel3d1()), 1);
    QCOMPARE(f.window().Panel3d1()->text(), QString("Idle"));
    QVERIFY(f.refusalFace() != 0);
    QVERIFY(!f.onAirPictureShown());
    f.clock.advance(5000); // nothing repeats
    QVERIFY(!f.device.commands().contains("Play"));
    QVERIFY2(!f.lines.log.contains("RTS 1") && !f.lines.log.contains("DTR 0"),
             qPrintable(f.lines.log.join(", ")));
    QVERIFY(!f.lines.wireRts);
    QVERIFY(f.lines.wireDtr);

    // A file that opens keys as before.
    f.state().Memories.MemFile[1] = "/sounds/good.wav";
    f.clickMemory(1);
    QVERIFY(f.onAirPictureShown());
    QVERIFY(f.lines.wireRts);
    QVERIFY(!f.lines.wireDtr);
}

QTEST_MAIN(TestMemoryBank)
#include "tst_memorybank.moc"
