// SPDX-License-Identifier: GPL-3.0-or-later
// The transmitter after the program has gone without a goodbye. A keyer process (crashkeyer, with
// the program's guard) keys a rig through a real rigctld, or the serial lines of a pseudo-
// terminal, and is killed: the guard, a process of its own, must release what it keyed. The
// guard's requests to the port's modem lines are traced (ptrace), as a pseudo-terminal has no
// lines to look at afterwards. A microphone muted through a private sound server must be put
// back.

#include "tests/ptt/HamlibTesting.h"
#include "tests/ptt/KeyerProcess.h"
#include "tests/support/PrivateSoundServer.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/StationFixture.h"
#include "tests/support/StderrCapture.h"

#include "ptt/KeyerChoice.h"
#include "ptt/PttGuard.h"
#include "ui/PttSet.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>

using namespace HamlibTesting;

class TestGuard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void linesReleasedAfterAnyEnd_data();
    void linesReleasedAfterAnyEnd();
    void rigReleasedAfterSigkill();
    void microphonePutBackAfterSigkill_data();
    void microphonePutBackAfterSigkill();
    void guardThatCannotStartIsSaidOnce_data();
    void guardThatCannotStartIsSaidOnce();
    void foundBesideTheProgramElseInLibexec();

private:
    QTemporaryDir m_folder;
};

void TestGuard::initTestCase()
{
    QVERIFY(m_folder.isValid());
    StationFixture::populateProgramFolder(m_folder.path());
}

void TestGuard::linesReleasedAfterAnyEnd_data()
{
    QTest::addColumn<int>("signal"); // 0: the keyer ends in order
    QTest::addColumn<QString>("rts");
    QTest::addColumn<QString>("dtr");
    QTest::addColumn<QStringList>("requests"); // the guard's, "%1" standing for the device

    QTest::newRow("SIGKILL, both negative") << int(SIGKILL) << "negative"
                                            << "negative" << QStringList{"raise RTS DTR on %1"};
    QTest::newRow("SIGUSR1, mixed")
        << int(SIGUSR1) << "negative"
        << "positive" << QStringList{"raise RTS on %1", "lower DTR on %1"};
    QTest::newRow("SIGKILL, both positive") << int(SIGKILL) << "positive"
                                            << "positive" << QStringList{"lower RTS DTR on %1"};
    QTest::newRow("in order: the guard does nothing") << 0 << "negative"
                                                      << "negative" << QStringList{};
}

void TestGuard::linesReleasedAfterAnyEnd()
{
    QFETCH(int, signal);
    QFETCH(QString, rts);
    QFETCH(QString, dtr);
    QFETCH(QStringList, requests);

    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    Keyer keyer;
    QVERIFY(keyer.start({m_folder.path(), pty.name(), rts, dtr, "guard"}));
    const std::optional<pid_t> guard = keyer.waitUntilKeyed();
    QVERIFY2(guard && *guard > 0, "the keyer did not key, or has no guard");

    QString refused;
    const KeyerTrace::Ending ending = KeyerTrace::follow(
        *guard, 0,
        [&] {
            if (signal)
                keyer.send(signal);
            else
                keyer.tell("quit\n");
        },
        refused);
    if (!refused.isEmpty())
        QSKIP(qPrintable(QStringLiteral("cannot trace the guard: ") + refused));
    QVERIFY2(ending.failure.isEmpty(), qPrintable(ending.failure));
    QStringList expected;
    for (const QString &request : requests)
        expected << request.arg(pty.name());
    QCOMPARE(ending.requests, expected);
    // It ended by itself. (Its exit code is the leak checker's in a sanitizer build, which
    // cannot look for leaks in a traced process.)
    QVERIFY(WIFEXITED(ending.status));
}

void TestGuard::rigReleasedAfterSigkill()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    Keyer keyer;
    QVERIFY(keyer.start({m_folder.path(), rigctld.address(), "off", "off", "guard"}));
    const std::optional<pid_t> guard = keyer.waitUntilKeyed();
    QVERIFY2(guard && *guard > 0, "the keyer did not key, or has no guard");
    QCOMPARE(rigctld.ptt(), 1);

    // What a terminal and a session send does not end the guard.
    for (int signal : {SIGINT, SIGHUP, SIGTERM, SIGQUIT})
        ::kill(*guard, signal);
    keyer.send(SIGKILL);
    QVERIFY(WIFSIGNALED(keyer.wait()));
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 0, WaitMs);
    // Its work done, it ends.
    QTRY_VERIFY_WITH_TIMEOUT(KeyerTrace::ended(*guard), WaitMs);
}

void TestGuard::microphonePutBackAfterSigkill_data()
{
    QTest::addColumn<bool>("serverRestarts");
    QTest::newRow("the server answers") << false;
    // It remembers the source muted across its restart.
    QTest::newRow("the server restarts meanwhile") << true;
}

void TestGuard::microphonePutBackAfterSigkill()
{
    QFETCH(bool, serverRestarts);
    PrivateSoundServer server;
    QString error;
    if (!server.start(&error))
        QSKIP(qPrintable("No private PulseAudio server can start here: " + error));
    const auto addMicrophone = [&server] {
        return !server.pactl({"load-module", "module-device-restore"}).isNull()
               && !server.pactl({"load-module", "module-null-source", "source_name=mic"}).isNull();
    };
    const auto mute = [&server] {
        return QString::fromUtf8(server.pactl({"get-source-mute", "mic"}).trimmed());
    };
    QVERIFY(addMicrophone());
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    Keyer keyer;
    QVERIFY(keyer.start({m_folder.path(), pty.name(), "negative", "off", "guard", "mute=mic"}));
    const std::optional<pid_t> guard = keyer.waitUntilKeyed();
    QVERIFY2(guard && *guard > 0, "the keyer did not key, or has no guard");
    QTRY_COMPARE_WITH_TIMEOUT(mute(), QString("Mute: yes"), WaitMs);

    if (serverRestarts)
        server.kill();
    keyer.send(SIGKILL);
    QVERIFY(WIFSIGNALED(keyer.wait()));
    if (serverRestarts) {
        QVERIFY2(server.start(&error), qPrintable(error));
        QVERIFY(addMicrophone());
    }
    QTRY_COMPARE_WITH_TIMEOUT(mute(), QString("Mute: no"), WaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(KeyerTrace::ended(*guard), WaitMs);
}

void TestGuard::guardThatCannotStartIsSaidOnce_data()
{
    QTest::addColumn<bool>("present");
    QTest::newRow("missing") << false;
    QTest::newRow("not executable") << true;
}

void TestGuard::guardThatCannotStartIsSaidOnce()
{
    QFETCH(bool, present);
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    QTemporaryDir folder;
    const QString program = folder.filePath("voicevocta-guard");
    if (present) {
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
    }
    PttGuard guard(program);
    StationFixture f;
    f.station->keyers().setGuard(&guard);
    StderrCapture capture;
    f.state().PttMethod = KeyingMethod::Cat;
    f.state().RigPort = rigctld.address();
    f.station->keyers().apply();
    QTRY_VERIFY_WITH_TIMEOUT(f.station->keyers().isReady(), WaitMs);
    f.state().RigSpeed = 9600; // a change, which tells the guard again
    f.station->keyers().apply();

    // The station keys all the same.
    f.leftClick(f.window().Command3d2());
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 1, WaitMs);
    f.window().menuItem("Ptt")->trigger();
    const QString status = f.station->pttSet().form()->StatusLabel()->text();
    QVERIFY2(status.contains("cannot start the PTT guard " + program), qPrintable(status));
    f.leftClick(f.window().Command3d2());
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 0, WaitMs);
    QCOMPARE(capture.text().count("cannot start the PTT guard"), 1);
}

void TestGuard::foundBesideTheProgramElseInLibexec()
{
    QTemporaryDir prefix;
    const QString system = prefix.filePath("libexec/voicevocta/voicevocta-guard");
    const QString beside = prefix.filePath("bin/voicevocta-guard");
    QVERIFY(QDir().mkpath(prefix.filePath("libexec/voicevocta"))
            && QDir().mkpath(prefix.filePath("bin")));
    QVERIFY(QFile(system).open(QIODevice::WriteOnly));
    QCOMPARE(PttGuard::locate(prefix.filePath("bin")), system);
    QVERIFY(QFile(beside).open(QIODevice::WriteOnly));
    QCOMPARE(PttGuard::locate(prefix.filePath("bin")), beside);
}

QTEST_MAIN(TestGuard)
#include "tst_guard.moc"
