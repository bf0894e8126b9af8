// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/ptt/HamlibTesting.h"
#include "tests/ptt/RigTap.h"
#include "tests/support/StderrCapture.h"

#include <QElapsedTimer>

using namespace HamlibTesting;

// Keying through a real rigctld with hamlib's dummy rig, the dummy rig itself, and settings
// that cannot be opened.
class TestHamlibKeyer : public QObject
{
    Q_OBJECT

private slots:
    void keysAndReleasesTheRig();
    void keysARigWithoutRigctld();
    void requestBurstEndsInTheLatestState();
    void shutdownReleasesTheRig();
    void openFailsClearly_data();
    void openFailsClearly();
};

void TestHamlibKeyer::keysAndReleasesTheRig()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    RigTap tap(rigctld.port());
    StderrCapture capture;
    HamlibKeyer keyer(cat(tap.address()));
    QSignalSpy confirmed(&keyer, &PttKeyer::confirmed);
    QSignalSpy status(&keyer, &PttKeyer::statusChanged);
    QCOMPARE(keyer.statusText(), QStringLiteral("Not connected"));
    QVERIFY(!keyer.isReady());

    // A request before the rig is open is kept for it.
    keyer.setOnAir(true);
    keyer.open();
    QCOMPARE(keyer.statusText(), "Connecting to rigctld at " + tap.address() + "...");
    QVERIFY(!keyer.isReady());
    QTRY_VERIFY_WITH_TIMEOUT(keyer.isReady(), WaitMs);
    QCOMPARE(keyer.statusText(), "Connected to rigctld at " + tap.address());
    QCOMPARE(status.last(), (QVariantList{keyer.statusText(), true}));
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, true), WaitMs);
    QCOMPARE(rigctld.ptt(), 1);

    keyer.setOnAir(false);
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, false), WaitMs);
    QCOMPARE(rigctld.ptt(), 0);
    // The same request again is confirmed without being sent: the rig would be busy with it when
    // the next keying comes.
    const int sent = tap.keyingRequests();
    keyer.setOnAir(false);
    QTRY_COMPARE(confirmed.count(), 3);
    QCOMPARE(tap.keyingRequests(), sent);
    keyer.setOnAir(true);
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, true), WaitMs);
    QCOMPARE(rigctld.ptt(), 1);
    QCOMPARE(confirmed.count(), 4);

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
    OPEN_ON(keyer, rigctld);
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

void TestHamlibKeyer::shutdownReleasesTheRig()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    StderrCapture capture;
    {
        HamlibKeyer keyer;
        OPEN_ON(keyer, rigctld);
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
        OPEN_ON(keyer, rigctld);
        QSignalSpy confirmed(&keyer, &PttKeyer::confirmed);
        keyer.setOnAir(true);
        QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, true), WaitMs);
    }
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 0, WaitMs);
    QCOMPARE(capture.text(), QByteArray());
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
    // Unknown models of families that hamlib has: its rig_init() would end the process.
    for (int model : {3, 1099}) {
        settings.rigModel = model;
        QTest::addRow("unknown model %d", model)
            << settings
            << QStringLiteral("Cannot open rig model %1 at localhost:4532: hamlib knows no rig "
                              "model %1")
                   .arg(model);
    }
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
