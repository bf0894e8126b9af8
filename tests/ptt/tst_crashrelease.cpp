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

#include "tests/support/PseudoTerminal.h"
#include "tests/support/StationFixture.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int TimeoutMs = 60000; // a keyer starting on a loaded machine in a sanitizer build

// The keyer, started with pipes on its standard input and output.
class Keyer
{
public:
    ~Keyer()
    {
        if (m_pid > 0 && !m_ended) {
            ::kill(m_pid, SIGKILL);
            int status = 0;
            ::waitpid(m_pid, &status, __WALL);
        }
        for (int fd : {m_input, m_output}) {
            if (fd >= 0)
                ::close(fd);
        }
    }

    bool start(const QStringList &arguments)
    {
        QList<QByteArray> bytes{QByteArrayLiteral(VV_CRASHKEYER)};
        for (const QString &argument : arguments)
            bytes << argument.toLocal8Bit();
        std::vector<char *> argv;
        for (QByteArray &b : bytes)
            argv.push_back(b.data());
        argv.push_back(nullptr);

        int input[2];
        int output[2];
        if (::pipe2(input, O_CLOEXEC) != 0)
            return false;
        if (::pipe2(output, O_CLOEXEC) != 0)
            return false;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(input[0], STDIN_FILENO);
            ::dup2(output[1], STDOUT_FILENO);
            const rlimit noCore = {0, 0}; // no core files in the build folder
            ::setrlimit(RLIMIT_CORE, &noCore);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(input[0]);
        ::close(output[1]);
        m_input = input[1];
        m_output = output[0];
        return m_pid > 0;
    }

    // Waits for the keyer's "keyed"; false if it ended or said nothing in time.
    bool waitUntilKeyed()
    {
        QByteArray said;
        QElapsedTimer clock;
        clock.start();
        while (!said.contains("keyed\n") && clock.elapsed() < TimeoutMs) {
            pollfd ready = {m_output, POLLIN, 0};
            if (::poll(&ready, 1, 100) <= 0)
                continue;
            char buffer[64];
            const ssize_t n = ::read(m_output, buffer, sizeof buffer);
            if (n <= 0)
                return false;
            said.append(buffer, n);
        }
        return said.contains("keyed\n");
    }

    void tell(const char *line)
    {
        [[maybe_unused]] ssize_t n = ::write(m_input, line, strlen(line));
    }
    // A signal to the keyer's main thread, which waits in its event loop.
    void send(int signal) { ::syscall(SYS_tgkill, m_pid, m_pid, signal); }

    // What the keyer asked of its port's modem lines from the delivery of `signal` to its end,
    // one entry a request ("raise RTS on /dev/pts/3"), and how it ended (a wait status).
    struct Ending
    {
        QStringList requests;
        int status = 0;
        QString failure;
    };
    // Attaches to the keyer, runs `trigger` and follows the keyer to its end. `refused` is set
    // when the system does not let the test trace its own child.
    Ending follow(int signal, const std::function<void()> &trigger, QString &refused)
    {
        Ending ending;
        if (::ptrace(PTRACE_SEIZE, m_pid, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL)
            != 0) {
            refused = QString::fromLocal8Bit(strerror(errno));
            return ending;
        }
        trigger();
        bool tracing = false;
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            int status = 0;
            const pid_t got = ::waitpid(m_pid, &status, __WALL | WNOHANG);
            if (got == 0) {
                if (clock.elapsed() > TimeoutMs) {
                    ending.failure = QStringLiteral("the keyer did not end");
                    return ending;
                }
                ::usleep(1000);
                continue;
            }
            if (got < 0) {
                ending.failure = QString::fromLocal8Bit(strerror(errno));
                return ending;
            }
            if (WIFEXITED(status) || WIFSIGNALED(status)) {
                m_ended = true;
                ending.status = status;
                return ending;
            }
            if (!WIFSTOPPED(status))
                continue;
            const int stop = WSTOPSIG(status);
            int deliver = 0;
            if (stop == (SIGTRAP | 0x80))
                recordRequest(ending.requests);
            else if (status >> 16 == 0)
                deliver = stop; // a signal on its way to the keyer
            if (deliver == signal)
                tracing = true;
            ::ptrace(tracing ? PTRACE_SYSCALL : PTRACE_CONT, m_pid, nullptr, deliver);
        }
    }

private:
    // At a system call's entry: a modem-control request is written down.
    void recordRequest(QStringList &requests)
    {
        __ptrace_syscall_info info = {};
        if (::ptrace(PTRACE_GET_SYSCALL_INFO, m_pid, sizeof info, &info) <= 0
            || info.op != PTRACE_SYSCALL_INFO_ENTRY || info.entry.nr != SYS_ioctl)
            return;
        const auto request = info.entry.args[1];
        if (request != TIOCMBIS && request != TIOCMBIC)
            return;
        errno = 0;
        const long word = ::ptrace(PTRACE_PEEKDATA, m_pid, info.entry.args[2], nullptr);
        int bits = 0;
        std::memcpy(&bits, &word, sizeof bits); // the int the argument points at
        QStringList lines;
        if (bits & TIOCM_RTS)
            lines << QStringLiteral("RTS");
        if (bits & TIOCM_DTR)
            lines << QStringLiteral("DTR");
        if (errno != 0 || bits & ~(TIOCM_RTS | TIOCM_DTR))
            lines << QStringLiteral("bits %1").arg(bits, 0, 16);
        char device[PATH_MAX] = {};
        const QByteArray link = QByteArray("/proc/") + QByteArray::number(m_pid) + "/fd/"
                                + QByteArray::number(qulonglong(info.entry.args[0]));
        const ssize_t length = ::readlink(link.constData(), device, sizeof device - 1);
        requests << QStringLiteral("%1 %2 on %3")
                        .arg(request == TIOCMBIS ? "raise" : "lower", lines.join(' '),
                             QString::fromLocal8Bit(device, length > 0 ? length : 0));
    }

    pid_t m_pid = -1;
    bool m_ended = false;
    int m_input = -1;
    int m_output = -1;
};

} // namespace

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
    // The requests on the way out, "%1" standing for the device.
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

    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    // A pseudo-terminal starts without the flag; a serial port that was never used has it.
    QVERIFY(pty.setHangUpOnClose(true));
    Keyer keyer;
    QVERIFY(keyer.start({m_folder.path(), pty.name(), rts, dtr}));
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
        expected << request.arg(pty.name());
    QCOMPARE(ending.requests, expected);
    QVERIFY2(WIFSIGNALED(ending.status), qPrintable(QString::number(ending.status, 16)));
    QCOMPARE(WTERMSIG(ending.status), signal);
    QCOMPARE(pty.hangsUpOnClose(), std::optional<bool>(hangUp));
}

QTEST_MAIN(TestCrashRelease)
#include "tst_crashrelease.moc"
