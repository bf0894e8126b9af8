// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/ptt/HamlibTesting.h"
#include "tests/ptt/RigTap.h"
#include "tests/support/StationFixture.h"
#include "tests/support/StderrCapture.h"

#include "ptt/KeyerChoice.h"
#include "ptt/RigModule.h"
#include "ui/PttSet.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

using namespace HamlibTesting;
using FaultWatch::UiWatch;

// The whole station keying a rig through a real rigctld: the operator's clicks, Lock and
// standby reach the rig; a rig that dies or hangs is said and never holds the window; every way
// out of the program releases the rig first.
class TestCatStation : public QObject
{
    Q_OBJECT

private slots:
    void messagesLockAndStandbyKeyTheRig();
    void rigKilledMidMessage();
    void hangingRigDoesNotHoldTheWindow();
    void everyWayOutReleasesTheRig_data();
    void everyWayOutReleasesTheRig();
    void methodsCanBeSwitched();
    void chosenInThePttDialog();
    void okWithoutAChangeKeepsTheRigKeyed();
    void hungRigGetsNoStaleRequest();
    void missingModuleSaysWhyAndKeysNothing();
};

namespace {

// The station keying through CAT at `address`, as the PTT dialog's OK leaves it.
void useCat(StationFixture &f, const QString &address)
{
    f.state().Ptt.PttMethod = KeyingMethod::Cat;
    f.state().Ptt.RigModel = HamlibSettings::NetworkModel;
    f.state().Ptt.RigPort = address;
    f.station->keyers().apply();
}

bool ready(StationFixture &f)
{
    return f.station->keyers().current().isReady();
}

} // namespace

void TestCatStation::messagesLockAndStandbyKeyTheRig()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    StationFixture f;
    useCat(f, rigctld.address());
    QTRY_VERIFY_WITH_TIMEOUT(ready(f), WaitMs);

    f.clickMemory(0);
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 1, WaitMs);
    f.device.finish(SoundPlayer::Outcome::Ended);
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 0, WaitMs);

    f.leftClick(f.window().Command3d2()); // Lock
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 1, WaitMs);
    f.leftClick(f.window().Command3d3()); // standby
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 0, WaitMs);
    f.leftClick(f.window().Command3d3()); // standby off: Lock keys again
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 1, WaitMs);
    f.leftClick(f.window().Command3d2());
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 0, WaitMs);
    QCOMPARE(f.refusalFace(), 0);
}

void TestCatStation::rigKilledMidMessage()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    StationFixture f;
    useCat(f, rigctld.address());
    QTRY_VERIFY_WITH_TIMEOUT(ready(f), WaitMs);
    QSignalSpy status(&f.station->keyers(), &KeyerChoice::statusChanged);

    f.clickMemory(0);
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 1, WaitMs);
    StderrCapture capture;
    rigctld.kill();
    // The end of the message tries to release the rig and finds it gone; the window goes on.
    f.device.finish(SoundPlayer::Outcome::Ended);
    QCOMPARE(f.now().playing(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!ready(f), WaitMs);
    QVERIFY(!status.isEmpty());
    QVERIFY(!status.last().at(1).toBool());

    // A message started now cannot reach the rig: the refusal face says so.
    f.clickMemory(1);
    QVERIFY(f.refusalFace() != 0);
    f.clickMemory(1);
    QCOMPARE(f.now().playing(), 0);
    const QByteArray said = capture.text();
    QCOMPARE(said.count("voicevocta: PTT: "), 1);
}

void TestCatStation::hangingRigDoesNotHoldTheWindow()
{
    SilentServer server;
    QVERIFY(server.port() != 0);
    StderrCapture capture;
    StationFixture f;
    UiWatch watch;
    useCat(f, server.address());
    for (int i = 0; i < 3; ++i) {
        f.clickMemory(0);
        QTest::qWait(200);
        f.clickMemory(0);
        f.leftClick(f.window().Command3d2());
        f.leftClick(f.window().Command3d2());
    }
    QTRY_VERIFY_WITH_TIMEOUT(f.station->keyers().current().statusText().startsWith("Cannot open"),
                             WaitMs);
    QVERIFY2(watch.longestGap() < StallBoundMs, qPrintable(QString::number(watch.longestGap())));
    QVERIFY(f.refusalFace() != 0);
    QCOMPARE(f.now().playing(), 0);
}

void TestCatStation::everyWayOutReleasesTheRig_data()
{
    QTest::addColumn<bool>("exitMenu");
    QTest::newRow("File > Exit") << true;
    // The termination signals close the window the same way.
    QTest::newRow("window closed") << false;
}

void TestCatStation::everyWayOutReleasesTheRig()
{
    QFETCH(bool, exitMenu);
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    StationFixture f;
    useCat(f, rigctld.address());
    QTRY_VERIFY_WITH_TIMEOUT(ready(f), WaitMs);
    f.leftClick(f.window().Command3d2()); // Lock
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 1, WaitMs);

    if (exitMenu)
        f.window().menuItem("Exit")->trigger();
    else
        f.window().close();
    // Released before the program goes on to end: no waiting here.
    QCOMPARE(rigctld.ptt(), 0);
}

void TestCatStation::methodsCanBeSwitched()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    StationFixture f;
    f.keyThroughRts();
    useCat(f, rigctld.address());
    QTRY_VERIFY_WITH_TIMEOUT(ready(f), WaitMs);

    // Keyed by Lock through the rig; switched to the serial lines, the rig is released and the
    // lines key instead; and back.
    f.leftClick(f.window().Command3d2());
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 1, WaitMs);
    QVERIFY(!f.lines.wireRts);
    f.state().Ptt.PttMethod = KeyingMethod::Serial;
    f.station->keyers().apply();
    QVERIFY(f.lines.wireRts);
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 0, WaitMs);
    useCat(f, rigctld.address());
    QVERIFY(!f.lines.wireRts);
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 1, WaitMs);

    // None: only the picture changes.
    f.state().Ptt.PttMethod = KeyingMethod::None;
    f.station->keyers().apply();
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 0, WaitMs);
    QVERIFY(!f.lines.wireRts);
    QVERIFY(f.onAirPictureShown());
    QCOMPARE(f.refusalFace(), 0);
}

// The operator's way: Setup > PTT..., CAT on rigctld's port, OK; the status line says what the
// rig answered.
void TestCatStation::chosenInThePttDialog()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    StationFixture f;
    f.window().menuItem("Ptt")->trigger();
    PttSet *dialog = f.station->pttSet().form();
    QVERIFY(dialog && dialog->isVisible());
    dialog->MethodCombo()->setCurrentIndex(int(KeyingMethod::Cat));
    dialog->RigPortEdit()->setText(rigctld.address());
    dialog->OkButton()->click();
    QCOMPARE(f.state().Ptt.PttMethod, KeyingMethod::Cat);
    QCOMPARE(f.state().Ptt.RigPort, rigctld.address());
    QTRY_VERIFY_WITH_TIMEOUT(ready(f), WaitMs);

    f.leftClick(f.window().Command3d2()); // Lock
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 1, WaitMs);
    f.leftClick(f.window().Command3d2());
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 0, WaitMs);

    f.window().menuItem("Ptt")->trigger();
    QTRY_VERIFY(dialog->StatusLabel()->text().startsWith("Connected to"));
    StderrCapture capture;
    rigctld.kill();
    f.leftClick(f.window().Command3d2());
    QTRY_VERIFY_WITH_TIMEOUT(!ready(f), WaitMs);
    QVERIFY2(!dialog->StatusLabel()->text().startsWith("Connected to"),
             qPrintable(dialog->StatusLabel()->text()));
    f.leftClick(f.window().Command3d2());
}

void TestCatStation::okWithoutAChangeKeepsTheRigKeyed()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    StationFixture f;
    useCat(f, rigctld.address());
    QTRY_VERIFY_WITH_TIMEOUT(ready(f), WaitMs);
    f.leftClick(f.window().Command3d2()); // Lock
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 1, WaitMs);

    PttWatch watch(rigctld.port());
    QTRY_VERIFY(watch.reads() > 0);
    f.window().menuItem("Ptt")->trigger();
    f.station->pttSet().form()->OkButton()->click();
    // A reopened rig would be released at once while it opens again, and keyed once it
    // answers: a second's watch sees it.
    const int before = watch.reads();
    QTest::qWait(1000);
    QTRY_VERIFY(watch.reads() > before);
    watch.stop();
    QVERIFY(!watch.seenReleased());
    QVERIFY(ready(f));
}

// A rig that hangs while it is keyed: the release stays pending and said so; no keying is written
// to it meanwhile (only the release, again), and once it goes on it is released.
void TestCatStation::hungRigGetsNoStaleRequest()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    RigTap tap(rigctld.port());
    StationFixture f;
    useCat(f, tap.address());
    QTRY_VERIFY_WITH_TIMEOUT(ready(f), WaitMs);
    QWidget *lock = f.window().Command3d2();
    f.leftClick(lock);
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 1, WaitMs);

    rigctld.pause();
    f.leftClick(lock);
    const PttKeyer &keyer = f.station->keyers().current();
    QTRY_COMPARE_WITH_TIMEOUT(keyer.link(), PttKeyer::Link::NoAnswer, WaitMs);
    QVERIFY(keyer.releasePending());
    f.window().menuItem("Ptt")->trigger();
    QVERIFY(f.station->pttSet().form()->StatusLabel()->text().endsWith("may still be keyed"));
    // The operator goes on while it hangs; a keyer that wrote to it now would have the rig
    // carry each request out once it goes on.
    f.leftClick(lock);
    f.leftClick(lock);
    QTest::qWait(2 * HamlibKeyer::AnswerTimeoutMs);

    rigctld.resume();
    QTRY_VERIFY_WITH_TIMEOUT(ready(f) && !keyer.releasePending(), WaitMs);
    QCOMPARE(rigctld.ptt(), 0);
    QCOMPARE(tap.keyingsWhileUnanswered(), 0);
}

// A program folder without its hamlib module: the PTT dialog says why a rig on its own port
// cannot be keyed, standard error says it once, nothing is keyed, and the station goes on.
void TestCatStation::missingModuleSaysWhyAndKeysNothing()
{
    StationFixture f;
    QVERIFY(QFile::remove(f.folder.filePath(RigModule::FileName)));
    StderrCapture capture;
    f.state().Ptt.PttMethod = KeyingMethod::Cat;
    f.state().Ptt.RigModel = 3073; // a rig on a serial port, through hamlib
    f.state().Ptt.RigPort = QStringLiteral("/dev/ttyUSB0");
    f.station->keyers().apply();
    f.window().menuItem("Ptt")->trigger();
    PttSet *dialog = f.station->pttSet().form();
    QTRY_VERIFY(dialog->StatusLabel()->text().startsWith("Not connected: cannot load hamlib ("));
    QVERIFY(dialog->StatusLabel()->text().contains(RigModule::FileName));

    f.clickMemory(0); // plays unkeyed, as with a rig that cannot be reached
    QVERIFY(f.refusalFace() != 0);
    QVERIFY(!f.station->keyers().current().isReady());
    f.device.finish(SoundPlayer::Outcome::Ended);
    // Another rig chosen in the dialog: the models cannot be listed, and the dialog says why.
    dialog->RigPortEdit()->setText(QStringLiteral("localhost:4533"));
    dialog->OkButton()->click();
    QVERIFY(dialog->isVisible());
    QVERIFY2(dialog->StatusLabel()->text().startsWith(
                 "The rig models cannot be listed: cannot load hamlib ("),
             qPrintable(dialog->StatusLabel()->text()));

    // The program's own lines (the offscreen window system adds its remarks).
    const QByteArray text = capture.text();
    QList<QByteArray> said = text.split('\n');
    said.removeIf([](const QByteArray &line) { return !line.startsWith("voicevocta:"); });
    QVERIFY2(said.size() == 1 && said[0].startsWith("voicevocta: PTT: cannot load hamlib ("),
             text.constData());
}

QTEST_MAIN(TestCatStation)
#include "tst_catstation.moc"
