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

#include "ptt/GuardProtocol.h"
#include "ptt/KeyedRecord.h"
#include "ptt/KeyerChoice.h"
#include "ptt/PttGuard.h"
#include "tests/support/PrivateBus.h"
#include "ui/PttSet.h"

#include <QAction>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>

using namespace HamlibTesting;
using GuardMessage = GuardProtocol::Message;

namespace {

// The guard started as the program starts it, with the test in the program's place: the test
// tells it what keys and when, and answers its questions or does not.
class GuardHarness
{
public:
    ~GuardHarness()
    {
        if (m_socket >= 0)
            ::close(m_socket);
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    bool start()
    {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
            return false;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(ends[1], GuardProtocol::SocketDescriptor);
            const QByteArray parent = QByteArray::number(qint64(::getppid()));
            ::execl(VV_GUARD, VV_GUARD, parent.constData(), nullptr);
            ::_exit(127);
        }
        ::close(ends[1]);
        m_socket = ends[0];
        return m_pid > 0;
    }
    void send(const GuardMessage &message) { GuardProtocol::send(m_socket, message); }
    // The guard's next message within `timeoutMs`; its pings are answered unless told otherwise.
    std::optional<GuardMessage> next(int timeoutMs, bool answer = true)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            pollfd ready = {m_socket, POLLIN, 0};
            if (::poll(&ready, 1, 50) <= 0)
                continue;
            QByteArray bytes;
            int descriptor = -1;
            if (GuardProtocol::receive(m_socket, bytes, &descriptor) <= 0)
                return std::nullopt;
            const std::optional<GuardMessage> message = GuardProtocol::decode(bytes);
            if (message && message->kind == GuardMessage::Kind::Ping) {
                if (answer)
                    send(GuardMessage::of(GuardMessage::Kind::Pong));
                continue;
            }
            return message;
        }
        return std::nullopt;
    }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_socket = -1;
};

// The user's service manager as a test stands in for it on a private bus: StartTransientUnit
// runs the unit's command as a process of the test's own, outside the program's process group.
class ServiceManager : public QDBusVirtualObject
{
public:
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        if (message.member() != QLatin1String("StartTransientUnit"))
            return false;
        QStringList command;
        const QDBusArgument properties = message.arguments().value(2).value<QDBusArgument>();
        properties.beginArray();
        while (!properties.atEnd()) {
            QString name;
            QDBusVariant value;
            properties.beginStructure();
            properties >> name >> value;
            properties.endStructure();
            if (name != QLatin1String("ExecStart"))
                continue;
            const QDBusArgument exec = value.variant().value<QDBusArgument>();
            exec.beginArray();
            QString path;
            bool ignore = false;
            exec.beginStructure();
            exec >> path >> command >> ignore;
            exec.endStructure();
            exec.endArray();
        }
        properties.endArray();
        units << message.arguments().value(0).toString();
        qint64 pid = 0;
        QProcess::startDetached(command.value(0), command.mid(1), QString(), &pid);
        started << pid;
        connection.send(message.createReply(QVariant::fromValue(
            QDBusObjectPath(QStringLiteral("/org/freedesktop/systemd1/job/1")))));
        return true;
    }

    QStringList units;
    QList<qint64> started;
};

bool runs(pid_t pid)
{
    return pid > 0 && !KeyerTrace::ended(pid);
}

} // namespace

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
    void frozenProgramIsReleased_data();
    void frozenProgramIsReleased();
    void guardThatEndsIsStartedAgain();
    void guardInAUnitOutlivesTheProgramsGroup();

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
    f.state().Ptt.PttMethod = KeyingMethod::Cat;
    f.state().Ptt.RigPort = rigctld.address();
    f.station->keyers().apply();
    QTRY_VERIFY_WITH_TIMEOUT(f.station->keyers().isReady(), WaitMs);
    f.state().Ptt.RigSpeed = 9600; // a change, which tells the guard again
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

void TestGuard::frozenProgramIsReleased_data()
{
    QTest::addColumn<bool>("answers");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no answer for 2 s") << false << 0 << "has not answered for 2 s while keyed";
    QTest::newRow("keyed past its time-out")
        << true << 1 << "stayed keyed past its time-out of 1 s";
}

// A program that stops answering while keyed, or stays keyed past its time-out: the guard
// releases the rig itself, tells the program, and goes on watching it.
void TestGuard::frozenProgramIsReleased()
{
    QFETCH(bool, answers);
    QFETCH(int, timeout);
    QFETCH(QString, reason);
    QTemporaryDir runtime;
    const QByteArray before = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    const auto restore = qScopeGuard([&] { qputenv("XDG_RUNTIME_DIR", before); });
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    const HamlibSettings rig = cat(rigctld.address());
    HamlibKeyer keyer(rigModule(), rig);
    OPEN_ON(keyer, rigctld);
    QSignalSpy confirmed(&keyer, &PttKeyer::confirmed);
    keyer.setOnAir(true);
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, true), WaitMs);

    GuardHarness guard;
    QVERIFY(guard.start());
    GuardMessage watch = GuardMessage::of(GuardMessage::Kind::Rig);
    watch.rig = rig;
    guard.send(watch);
    GuardMessage keyed = GuardMessage::of(GuardMessage::Kind::Keyed);
    keyed.timeout = timeout;
    guard.send(keyed);
    const std::optional<GuardMessage> told = guard.next(WaitMs, answers);
    QVERIFY(told);
    QCOMPARE(told->kind, GuardMessage::Kind::TookOver);
    QCOMPARE(told->reason, reason);
    QCOMPARE(rigctld.ptt(), 0);
    // It goes on watching, and ends with the program's goodbye.
    QVERIFY(runs(guard.pid()));
    guard.send(GuardMessage::of(GuardMessage::Kind::Goodbye));
    QTRY_VERIFY_WITH_TIMEOUT(KeyerTrace::ended(guard.pid()), WaitMs);
    keyer.shutdown(1000);
}

// A guard that ends while the program runs is started again by itself; a SIGSTOPped program is
// released by it, and once it runs again the station shows the release.
void TestGuard::guardThatEndsIsStartedAgain()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    Keyer keyer;
    QVERIFY(keyer.start({m_folder.path(), rigctld.address(), "off", "off", "guard"}));
    const std::optional<pid_t> first = keyer.waitUntilKeyed();
    QVERIFY2(first && *first > 0, "the keyer did not key, or has no guard");
    ::kill(*first, SIGKILL);
    QTRY_VERIFY_WITH_TIMEOUT(KeyerTrace::ended(*first), WaitMs);

    // A new guard, told everything; it releases the frozen keyer's rig.
    const auto newGuard = [&] {
        keyer.listen(20);
        const QList<QByteArray> lines = keyer.said().split('\n');
        return std::any_of(lines.begin(), lines.end(), [&](const QByteArray &line) {
            return line.startsWith("guarded ") && line.mid(8).toLongLong() != *first;
        });
    };
    QTRY_VERIFY_WITH_TIMEOUT(newGuard(), WaitMs);
    keyer.send(SIGSTOP);
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 0, WaitMs);
    keyer.send(SIGCONT);
    QVERIFY(keyer.waitFor("released"));
}

// Where a service manager runs, the guard runs in a unit of its own: killing the program's whole
// process group (a logout, an out-of-memory kill of the group) leaves it, and it releases.
void TestGuard::guardInAUnitOutlivesTheProgramsGroup()
{
    PrivateBus bus;
    if (!bus.start())
        QSKIP(qPrintable(bus.errorString()));
    QDBusConnection connection = QDBusConnection::connectToBus(bus.address(), "manager");
    ServiceManager manager;
    QVERIFY(connection.registerVirtualObject("/org/freedesktop/systemd1", &manager));
    QVERIFY(connection.registerService("org.freedesktop.systemd1"));
    const QByteArray before = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toLocal8Bit());
    const auto restore = qScopeGuard([&] { qputenv("DBUS_SESSION_BUS_ADDRESS", before); });
    Rigctld rigctld;
    START_OR_SKIP(rigctld);

    Keyer keyer;
    QVERIFY(keyer.start({m_folder.path(), rigctld.address(), "off", "off", "unitguard"}, true));
    // The service manager answers from this test's event loop, which runs meanwhile.
    QTRY_VERIFY_WITH_TIMEOUT(keyer.waitFor("keyed", 20), WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(manager.started.size(), 1, WaitMs);
    const pid_t guard = pid_t(manager.started.first());
    QTRY_VERIFY_WITH_TIMEOUT(keyer.waitFor("guarded " + QByteArray::number(guard), 20), WaitMs);
    QVERIFY(manager.units.first().startsWith("voicevocta-guard-"));
    ::kill(-keyer.pid(), SIGKILL);
    QVERIFY(WIFSIGNALED(keyer.wait()));
    QTRY_COMPARE_WITH_TIMEOUT(rigctld.ptt(), 0, WaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(KeyerTrace::ended(guard), WaitMs);
}

QTEST_MAIN(TestGuard)
#include "tst_guard.moc"
