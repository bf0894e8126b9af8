#include "tests/faults/FaultWatch.h"
#include "tests/support/Rigctld.h"
#include "tests/support/StderrCapture.h"

#include "ptt/HamlibKeyer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using FaultWatch::UiWatch;

// hamlib 4.5 keeps what it reads from rigctld at each opening in the rig model's shared
// description, and drops what the opening before kept there: a few hundred bytes per opening,
// its own, which the leak checker of the sanitizer build is told about.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libhamlib.so\n";
}

namespace {

// The longest the UI thread may be held while the rig hangs: a keyer that waited for the rig
// would hold it for a second or more. What the keyer itself takes is a few microseconds (see the
// benchmark); the rest is a loaded machine running a sanitizer build.
constexpr int StallBoundMs = FaultWatch::ResponsiveMs;
// How long a rig may take to open, answer, or be found dead, on a loaded machine.
constexpr int WaitMs = 8000;

HamlibSettings cat(const QString &address)
{
    HamlibSettings settings;
    settings.rigPort = address;
    return settings;
}

bool lastConfirmed(const QSignalSpy &confirmed, bool onAir)
{
    return !confirmed.isEmpty() && confirmed.last().at(0).toBool() == onAir;
}

} // namespace

// Keying through a real rigctld with hamlib's dummy rig, and through rigs that are missing, dead,
// stopped or silent.
class TestHamlibKeyer : public QObject
{
    Q_OBJECT

private slots:
    void keysAndReleasesTheRig();
    void keysARigWithoutRigctld();
    void requestBurstEndsInTheLatestState();
    void killedRigIsSaidOnceAndFoundAgain();
    void lostConnectionIsMadeAgain();
    void stoppedRigIsSaidAndAnswersAgain();
    void silentServerDoesNotHoldTheWindow();
    void shutdownReleasesTheRig();
    void shutdownWithADeadRigKeepsItsBound();
    void openFailsClearly_data();
    void openFailsClearly();

private:
    // Starts `rigctld`, or skips the test when it cannot start.
    bool startOrSkip(Rigctld &rigctld);
    // A keyer on `rigctld`, opened, ready and released.
    void openOn(HamlibKeyer &keyer, const Rigctld &rigctld);
};

bool TestHamlibKeyer::startOrSkip(Rigctld &rigctld)
{
    if (Rigctld::program().isEmpty())
        return false;
    return rigctld.start();
}

void TestHamlibKeyer::openOn(HamlibKeyer &keyer, const Rigctld &rigctld)
{
    QSignalSpy confirmed(&keyer, &PttKeyer::confirmed);
    keyer.setSettings(cat(rigctld.address()));
    keyer.open();
    QTRY_VERIFY2_WITH_TIMEOUT(keyer.isReady(), qPrintable(keyer.statusText()), WaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, false), WaitMs);
}

#define START_OR_SKIP(rigctld) \
    if (!startOrSkip(rigctld)) \
        QSKIP(Rigctld::program().isEmpty() \
                  ? "rigctld is not installed (Debian package libhamlib-utils)" \
                  : qPrintable("rigctld cannot start: " + rigctld.error()));

void TestHamlibKeyer::keysAndReleasesTheRig()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    StderrCapture capture;
    HamlibKeyer keyer(cat(rigctld.address()));
    QSignalSpy confirmed(&keyer, &PttKeyer::confirmed);
    QSignalSpy status(&keyer, &PttKeyer::statusChanged);
    QCOMPARE(keyer.statusText(), QStringLiteral("Not connected"));
    QVERIFY(!keyer.isReady());

    // A request before the rig is open is kept for it.
    keyer.setOnAir(true);
    keyer.open();
    QCOMPARE(keyer.statusText(), "Connecting to rigctld at " + rigctld.address() + "...");
    QVERIFY(!keyer.isReady());
    QTRY_VERIFY_WITH_TIMEOUT(keyer.isReady(), WaitMs);
    QCOMPARE(keyer.statusText(), "Connected to rigctld at " + rigctld.address());
    QCOMPARE(status.last(), (QVariantList{keyer.statusText(), true}));
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, true), WaitMs);
    QCOMPARE(rigctld.ptt(), 1);

    keyer.setOnAir(false);
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, false), WaitMs);
    QCOMPARE(rigctld.ptt(), 0);
    keyer.setOnAir(true);
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, true), WaitMs);
    QCOMPARE(rigctld.ptt(), 1);
    QCOMPARE(confirmed.count(), 3);

    keyer.shutdown(2000);
    QCOMPARE(rigctld.ptt(), 0);
    QVERIFY(!keyer.isReady());
    QCOMPARE(capture.text(), QByteArray());
}

void TestHamlibKeyer::keysARigWithoutRigctld()
{
    // hamlib's dummy rig, in the program itself: the path of a rig that is not rigctld.
    HamlibSettings settings;
    settings.rigModel = HamlibSettings::DummyModel;
    HamlibKeyer keyer(settings);
    QSignalSpy confirmed(&keyer, &PttKeyer::confirmed);
    keyer.open();
    QTRY_VERIFY_WITH_TIMEOUT(keyer.isReady(), WaitMs);
    QCOMPARE(keyer.statusText(), QStringLiteral("Connected to Hamlib Dummy"));
    keyer.setOnAir(true);
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, true), WaitMs);
    keyer.shutdown(2000);
}

void TestHamlibKeyer::requestBurstEndsInTheLatestState()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    HamlibKeyer keyer;
    openOn(keyer, rigctld);
    QSignalSpy confirmed(&keyer, &PttKeyer::confirmed);

    for (const bool last : {true, false}) {
        confirmed.clear();
        for (int i = 0; i < 200; ++i)
            keyer.setOnAir(i % 2 == 0 ? !last : last);
        QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, last), WaitMs);
        QTest::qWait(300); // nothing older follows
        QVERIFY(lastConfirmed(confirmed, last));
        QVERIFY2(confirmed.count() <= 10,
                 qPrintable(QStringLiteral("%1 of 200 requests carried out, one by one")
                                .arg(confirmed.count())));
        QCOMPARE(rigctld.ptt(), last ? 1 : 0);
    }
}

void TestHamlibKeyer::killedRigIsSaidOnceAndFoundAgain()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    StderrCapture capture;
    HamlibKeyer keyer;
    openOn(keyer, rigctld);
    QSignalSpy confirmed(&keyer, &PttKeyer::confirmed);
    keyer.setOnAir(true);
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, true), WaitMs);

    rigctld.kill();
    keyer.setOnAir(false);
    QTRY_VERIFY_WITH_TIMEOUT(!keyer.isReady(), WaitMs);
    QVERIFY2(keyer.statusText().startsWith("No answer from rigctld at " + rigctld.address()),
             qPrintable(keyer.statusText()));

    // Later requests return at once, and the dead rig is not said again.
    UiWatch watch;
    for (int i = 0; i < 20; ++i)
        keyer.setOnAir(i % 2 == 0);
    QTest::qWait(500);
    QVERIFY(watch.longestGap() < StallBoundMs);
    QVERIFY(!keyer.isReady());
    QVERIFY(lastConfirmed(confirmed, true));

    // Back again: the next request finds it.
    QVERIFY2(rigctld.start(rigctld.port()), qPrintable(rigctld.error()));
    keyer.setOnAir(true);
    QTRY_VERIFY_WITH_TIMEOUT(keyer.isReady(), WaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, true), WaitMs);
    QCOMPARE(rigctld.ptt(), 1);

    // Killed and back again before an open(): the latest request (released) reaches it.
    rigctld.kill();
    keyer.setOnAir(false);
    QTRY_VERIFY_WITH_TIMEOUT(!keyer.isReady(), WaitMs);
    QVERIFY2(rigctld.start(rigctld.port()), qPrintable(rigctld.error()));
    keyer.setOnAir(true);
    keyer.open();
    QTRY_VERIFY_WITH_TIMEOUT(keyer.isReady(), WaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, true), WaitMs);
    QCOMPARE(rigctld.ptt(), 1);
    keyer.shutdown(2000);
    QCOMPARE(rigctld.ptt(), 0);

    const QByteArray said = capture.text();
    QCOMPARE(said.count("voicevocta: PTT: No answer from rigctld at"), 2);
    QCOMPARE(
        said.count("voicevocta: PTT: rigctld at " + rigctld.address().toUtf8() + " answers again"),
        1);
    QCOMPARE(said.count('\n'), 3);
}

void TestHamlibKeyer::lostConnectionIsMadeAgain()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    FlakyLink link(rigctld.port());
    QVERIFY(link.port() != 0);
    StderrCapture capture;
    HamlibKeyer keyer(cat(link.address()));
    QSignalSpy confirmed(&keyer, &PttKeyer::confirmed);

    // rigctld closes the first connection at once: the opening tries again.
    link.dropNext(1);
    keyer.open();
    QTRY_VERIFY2_WITH_TIMEOUT(keyer.isReady(), qPrintable(keyer.statusText()), WaitMs);
    keyer.setOnAir(true);
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, true), WaitMs);
    QCOMPARE(rigctld.ptt(), 1);

    // It closes the connection under a keyed rig: the release makes a new one.
    link.cutAll();
    keyer.setOnAir(false);
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, false), WaitMs);
    QVERIFY(keyer.isReady());
    QCOMPARE(rigctld.ptt(), 0);

    keyer.shutdown(2000);
    QCOMPARE(capture.text(), QByteArray());
}

void TestHamlibKeyer::stoppedRigIsSaidAndAnswersAgain()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    StderrCapture capture;
    HamlibKeyer keyer;
    openOn(keyer, rigctld);
    QSignalSpy confirmed(&keyer, &PttKeyer::confirmed);
    keyer.setOnAir(true);
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, true), WaitMs);

    // It takes the connection's bytes and answers nothing.
    rigctld.pause();
    UiWatch watch;
    QElapsedTimer clock;
    clock.start();
    keyer.setOnAir(false);
    keyer.setOnAir(true);
    keyer.setOnAir(false);
    QTRY_VERIFY_WITH_TIMEOUT(!keyer.isReady(), WaitMs);
    const qint64 noticed = clock.elapsed();
    QVERIFY(watch.longestGap() < StallBoundMs);
    QCOMPARE(keyer.statusText(), "No answer from rigctld at " + rigctld.address());
    QVERIFY2(noticed >= HamlibKeyer::AnswerTimeoutMs / 2 && noticed < 4000,
             qPrintable(QString::number(noticed)));

    rigctld.resume();
    keyer.setOnAir(false);
    QTRY_VERIFY_WITH_TIMEOUT(keyer.isReady(), WaitMs);
    QCOMPARE(keyer.statusText(), "Connected to rigctld at " + rigctld.address());
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, false), WaitMs);
    QCOMPARE(rigctld.ptt(), 0);

    const QByteArray said = capture.text();
    QCOMPARE(said.count("voicevocta: PTT: No answer from rigctld at"), 1);
    QCOMPARE(
        said.count("voicevocta: PTT: rigctld at " + rigctld.address().toUtf8() + " answers again"),
        1);
    QCOMPARE(said.count('\n'), 2);
}

void TestHamlibKeyer::silentServerDoesNotHoldTheWindow()
{
    SilentServer server;
    QVERIFY(server.port() != 0);
    StderrCapture capture;
    HamlibKeyer keyer(cat(server.address()));

    UiWatch watch;
    keyer.open();
    keyer.setOnAir(true);
    keyer.setOnAir(false);
    QTRY_VERIFY_WITH_TIMEOUT(keyer.statusText().startsWith("Cannot open"), WaitMs);
    QVERIFY2(watch.longestGap() < StallBoundMs, qPrintable(QString::number(watch.longestGap())));
    QCOMPARE(keyer.statusText(), "Cannot open rigctld at " + server.address() + ": no answer");
    QVERIFY(!keyer.isReady());

    // The end of the program while it hangs in the next opening.
    keyer.open();
    QTest::qWait(100);
    QElapsedTimer clock;
    clock.start();
    keyer.shutdown(300);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));

    const QByteArray said = capture.text();
    QCOMPARE(said, "voicevocta: PTT: Cannot open rigctld at " + server.address().toUtf8()
                       + ": no answer\n");
}

void TestHamlibKeyer::shutdownReleasesTheRig()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    StderrCapture capture;
    {
        HamlibKeyer keyer;
        openOn(keyer, rigctld);
        QSignalSpy confirmed(&keyer, &PttKeyer::confirmed);
        keyer.setOnAir(true);
        QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, true), WaitMs);
        QCOMPARE(rigctld.ptt(), 1);
        keyer.shutdown(3000);
        QCOMPARE(rigctld.ptt(), 0);

        // Nothing more once it has ended.
        keyer.setOnAir(true);
        keyer.open();
        QTest::qWait(200);
        QVERIFY(!keyer.isReady());
        QCOMPARE(rigctld.ptt(), 0);
    }
    // A keyer that goes without shutdown() releases the rig on its own time.
    {
        HamlibKeyer keyer;
        openOn(keyer, rigctld);
        QSignalSpy confirmed(&keyer, &PttKeyer::confirmed);
        keyer.setOnAir(true);
        QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, true), WaitMs);
    }
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 0, WaitMs);
    QCOMPARE(capture.text(), QByteArray());
}

void TestHamlibKeyer::shutdownWithADeadRigKeepsItsBound()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    StderrCapture capture;
    HamlibKeyer keyer;
    openOn(keyer, rigctld);
    QSignalSpy confirmed(&keyer, &PttKeyer::confirmed);
    keyer.setOnAir(true);
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, true), WaitMs);

    rigctld.pause();
    QElapsedTimer clock;
    clock.start();
    keyer.shutdown(200);
    QVERIFY2(clock.elapsed() < 800, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(capture.text(), "voicevocta: PTT: rigctld at " + rigctld.address().toUtf8()
                                 + " did not confirm the release within 200 ms\n");

    // The release was sent all the same; the rig carries it out when it goes on.
    rigctld.resume();
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 0, WaitMs);
}

void TestHamlibKeyer::openFailsClearly_data()
{
    QTest::addColumn<HamlibSettings>("settings");
    QTest::addColumn<QString>("status");

    const LocalSocket unused(false); // a port where nothing listens
    QTest::newRow("nothing listens")
        << cat(unused.address())
        << "Cannot open rigctld at " + unused.address() + ": cannot connect";

    HamlibSettings settings;
    settings.rigModel = 999999;
    QTest::newRow("unknown model") << settings
                                   << "Cannot open rig model 999999 at localhost:4532: hamlib "
                                      "knows no rig model 999999";
    settings.rigModel = 3073;
    settings.rigPort = "/dev/vv-no-such-tty";
    QTest::newRow("missing serial device")
        << settings << "Cannot open Icom IC-7300 on /dev/vv-no-such-tty: No such file or directory";
    settings.rigPort.clear();
    QTest::newRow("no serial device") << settings << "Cannot open Icom IC-7300: no port given";

    HamlibSettings cm108;
    cm108.method = HamlibSettings::Method::Cm108;
    cm108.cm108Device = "/dev/hidraw-vv-missing";
    QTest::newRow("missing CM108 device")
        << cm108 << "Cannot open GPIO 3 of /dev/hidraw-vv-missing: No such file or directory";
    cm108.cm108Device = "/dev/null";
    QTest::newRow("CM108 on a device that is no chip")
        << cm108 << "Cannot open GPIO 3 of /dev/null: not a CM108-family sound chip";
    cm108.cm108Gpio = 9;
    QTest::newRow("CM108 pin out of range")
        << cm108 << "Cannot open GPIO 9 of /dev/null: a CM108 chip has GPIO 1 to 8";
    cm108.cm108Device.clear();
    cm108.cm108Gpio = 3;
    QTest::newRow("no CM108 device")
        << cm108 << "Cannot open the CM108 chip: no CM108 device chosen";
}

void TestHamlibKeyer::openFailsClearly()
{
    QFETCH(HamlibSettings, settings);
    QFETCH(QString, status);

    StderrCapture capture;
    HamlibKeyer keyer(settings);
    QSignalSpy confirmed(&keyer, &PttKeyer::confirmed);
    QSignalSpy statusChanged(&keyer, &PttKeyer::statusChanged);
    keyer.open();
    QTRY_VERIFY_WITH_TIMEOUT(keyer.statusText().startsWith("Cannot open"), WaitMs);
    QCOMPARE(keyer.statusText(), status);
    QVERIFY(!keyer.isReady());
    QCOMPARE(statusChanged.last(), (QVariantList{status, false}));

    keyer.setOnAir(true);
    keyer.setOnAir(false);
    QTest::qWait(100);
    QVERIFY(confirmed.isEmpty());
    QElapsedTimer clock;
    clock.start();
    keyer.shutdown(2000);
    QVERIFY(clock.elapsed() < 1000);
    QCOMPARE(capture.text(), "voicevocta: PTT: " + status.toUtf8() + '\n');
}

QTEST_MAIN(TestHamlibKeyer)
#include "tst_hamlibkeyer.moc"
