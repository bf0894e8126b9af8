// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/ptt/HamlibTesting.h"
#include "tests/ptt/RigTap.h"
#include "tests/support/StderrCapture.h"

#include <QElapsedTimer>

using namespace HamlibTesting;

using FaultWatch::UiWatch;

// A rig that goes away, stops answering, loses its connection or never answers: said once,
// found again, and the window never waits for it.
class TestHamlibFaults : public QObject
{
    Q_OBJECT

private slots:
    void killedRigIsSaidOnceAndFoundAgain();
    void lostConnectionIsMadeAgain();
    void stoppedRigIsSaidAndAnswersAgain();
    void silentServerDoesNotHoldTheWindow();
    void shutdownWithADeadRigKeepsItsBound();
    void lostReleaseIsSentAgain_data();
    void lostReleaseIsSentAgain();
    void rigStartedLaterIsFound();
};

void TestHamlibFaults::killedRigIsSaidOnceAndFoundAgain()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    StderrCapture capture;
    HamlibKeyer keyer(rigModule());
    OPEN_ON(keyer, rigctld);
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
        2);
    QCOMPARE(said.count('\n'), 4);
}

void TestHamlibFaults::lostConnectionIsMadeAgain()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    FlakyLink link(rigctld.port());
    QVERIFY(link.port() != 0);
    StderrCapture capture;
    HamlibKeyer keyer(rigModule(), cat(link.address()));
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

void TestHamlibFaults::stoppedRigIsSaidAndAnswersAgain()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    StderrCapture capture;
    HamlibKeyer keyer(rigModule());
    OPEN_ON(keyer, rigctld);
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

void TestHamlibFaults::silentServerDoesNotHoldTheWindow()
{
    SilentServer server;
    QVERIFY(server.port() != 0);
    StderrCapture capture;
    HamlibKeyer keyer(rigModule(), cat(server.address()));

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

void TestHamlibFaults::shutdownWithADeadRigKeepsItsBound()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    StderrCapture capture;
    HamlibKeyer keyer(rigModule());
    OPEN_ON(keyer, rigctld);
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

void TestHamlibFaults::lostReleaseIsSentAgain_data()
{
    QTest::addColumn<RigTap::Fault>("fault");
    QTest::newRow("lost on its way") << RigTap::Fault::Lose;
    QTest::newRow("garbled answer") << RigTap::Fault::Garble;
    QTest::newRow("closed before the answer") << RigTap::Fault::Close;
}

// A release that the rig did not confirm is sent again, and said pending until it is confirmed.
void TestHamlibFaults::lostReleaseIsSentAgain()
{
    QFETCH(RigTap::Fault, fault);
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    RigTap tap(rigctld.port());
    HamlibKeyer keyer(rigModule(), cat(tap.address()));
    QSignalSpy confirmed(&keyer, &PttKeyer::confirmed);
    keyer.open();
    keyer.setOnAir(true);
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, true), WaitMs);

    tap.inject(fault, "T 0");
    keyer.setOnAir(false);
    QVERIFY(keyer.releasePending());
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, false), WaitMs);
    QVERIFY(!keyer.releasePending());
    QCOMPARE(rigctld.ptt(), 0);
    QCOMPARE(tap.keyingsWhileUnanswered(), 0);
}

// An operator who starts the keyer before rigctld gets CAT keying once rigctld is up.
void TestHamlibFaults::rigStartedLaterIsFound()
{
    if (Rigctld::program().isEmpty())
        QSKIP("rigctld is not installed (Debian package libhamlib-utils)");
    const quint16 port = LocalSocket(false).port(); // nothing listens there yet
    StderrCapture capture;
    HamlibKeyer keyer(rigModule(), cat(QStringLiteral("127.0.0.1:%1").arg(port)));
    keyer.open();
    QTRY_VERIFY_WITH_TIMEOUT(keyer.statusText().startsWith("Cannot open"), WaitMs);
    QCOMPARE(keyer.link(), PttKeyer::Link::NotConnected);

    Rigctld rigctld;
    QVERIFY2(rigctld.start(port), qPrintable(rigctld.error()));
    QTRY_VERIFY_WITH_TIMEOUT(keyer.isReady(), WaitMs);
    QSignalSpy confirmed(&keyer, &PttKeyer::confirmed);
    keyer.setOnAir(true);
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, true), WaitMs);
    QCOMPARE(rigctld.ptt(), 1);
    keyer.shutdown(2000);
    QCOMPARE(capture.text().count("answers again\n"), 1);
}

QTEST_MAIN(TestHamlibFaults)
#include "tst_hamlibfaults.moc"
