// SPDX-License-Identifier: GPL-3.0-or-later
// The transmitter after the program has died of a fault. A keyer process (crashkeyer: the
// station on the real port layer with the crash release) keys through a pseudo-terminal and is
// killed by each fatal signal in turn, or dies of a fault of its own.
//
// A pseudo-terminal has no modem lines whose levels could be looked at afterwards, so the test
// watches what the keyer asks of its port: it traces the keyer's system calls (ptrace) from the
// moment the signal is delivered to its end, and records every modem-control request
// (TIOCMBIS raises lines, TIOCMBIC lowers them) with the bits asked for and the device the
// descriptor belongs to. Nothing in the keyer is replaced for the test: these are the requests
// that would reach a real port's RTS and DTR. The keyer must then have ended by the same signal,
// which its default action does (with a core dump where core dumps are allowed; the keyer's are
// turned off here), and the device must be left without HUPCL when a line is negative.

#include "tests/ptt/KeyerProcess.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/StationFixture.h"

#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/wait.h>

class TestCrashRelease : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void keyerDies_data();
    void keyerDies();

private:
    QTemporaryDir m_folder;
};

void TestCrashRelease::initTestCase()
{
    QVERIFY(m_folder.isValid());
    StationFixture::populateProgramFolder(m_folder.path());
}

void TestCrashRelease::keyerDies_data()
{
    QTest::addColumn<QString>("how"); // "kill", or the keyer's own "fault" or "abort"
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("rts");
    QTest::addColumn<QString>("dtr");
    // The requests on the way out, "%1" standing for the device ("%2" for a second radio's).
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<bool>("hangUp");

    // RTS negative and DTR positive: RTS goes high, DTR low.
    const QStringList mixed{"raise RTS on %1", "lower DTR on %1"};
    const std::pair<const char *, int> fatal[]
        = {{"SIGSEGV", SIGSEGV}, {"SIGBUS", SIGBUS},   {"SIGFPE", SIGFPE},
           {"SIGILL", SIGILL},   {"SIGABRT", SIGABRT}, {"SIGQUIT", SIGQUIT}};
    for (const auto &[name, signal] : fatal) {
        QTest::addRow("killed by %s", name) << "kill" << signal << "negative"
                                            << "positive" << mixed << false;
    }
    QTest::newRow("a fault of its own") << "fault" << int(SIGSEGV) << "negative"
                                        << "positive" << mixed << false;
    QTest::newRow("aborted") << "abort" << int(SIGABRT) << "negative"
                             << "positive" << mixed << false;
    QTest::newRow("both positive") << "kill" << int(SIGSEGV) << "positive"
                                   << "positive" << QStringList{"lower RTS DTR on %1"} << true;
    QTest::newRow("both negative") << "kill" << int(SIGQUIT) << "negative"
                                   << "negative" << QStringList{"raise RTS DTR on %1"} << false;
    QTest::newRow("two radios' ports")
        << "kill" << int(SIGSEGV) << "negative"
        << "positive" << (mixed + QStringList{"raise RTS on %2", "lower DTR on %2"}) << false;
    QTest::newRow("no line keys") << "kill" << int(SIGQUIT) << "off"
                                  << "off" << QStringList{} << true;
}

void TestCrashRelease::keyerDies()
{
    QFETCH(QString, how);
    QFETCH(int, signal);
    QFETCH(QString, rts);
    QFETCH(QString, dtr);
    QFETCH(QStringList, requests);
    QFETCH(bool, hangUp);

    PseudoTerminal pty, pty2;
    QVERIFY(pty.isValid() && pty2.isValid());
    // A pseudo-terminal starts without the flag; a serial port that was never used has it.
    QVERIFY(pty.setHangUpOnClose(true));
    const bool two = requests.join(' ').contains("%2");
    Keyer keyer;
    QVERIFY(keyer.start({m_folder.path(), pty.name() + (two ? "," + pty2.name() : ""), rts, dtr}));
    QVERIFY2(keyer.waitUntilKeyed(), "the keyer did not key");

    QString refused;
    const Keyer::Ending ending = keyer.follow(
        signal,
        [&] {
            if (how == QLatin1String("kill"))
                keyer.send(signal);
            if (how == QLatin1String("fault"))
                keyer.tell("fault\n");
            if (how == QLatin1String("abort"))
                keyer.tell("abort\n");
        },
        refused);
    if (!refused.isEmpty())
        QSKIP(qPrintable(QStringLiteral("cannot trace the keyer: ") + refused));
    QVERIFY2(ending.failure.isEmpty(), qPrintable(ending.failure));

    QStringList expected;
    for (const QString &request : requests)
        expected << QString(request).replace("%1", pty.name()).replace("%2", pty2.name());
    QCOMPARE(ending.requests, expected);
    QVERIFY2(WIFSIGNALED(ending.status), qPrintable(QString::number(ending.status, 16)));
    QCOMPARE(WTERMSIG(ending.status), signal);
    QCOMPARE(pty.hangsUpOnClose(), std::optional<bool>(hangUp));
}

QTEST_MAIN(TestCrashRelease)
#include "tst_crashrelease.moc"
