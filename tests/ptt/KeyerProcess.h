// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The keyer that dies (crashkeyer), run as a process of its own, and a trace of what a process
// asks of a port's modem lines (ptrace): TIOCMBIS raises lines, TIOCMBIC lowers them.

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace KeyerTrace {

constexpr int TimeoutMs = 60000; // a keyer starting on a loaded machine in a sanitizer build

// Whether process `pid` has ended (it is gone, or a zombie that its parent has not collected).
inline bool ended(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) == "Z";
}

// What a traced process asked of its ports' modem lines, one entry a request ("raise RTS on
// /dev/pts/3"), and how it ended (a wait status).
struct Ending
{
    QStringList requests;
    int status = 0;
    QString failure;
};

// At a system call's entry of `pid`: a modem-control request is written down.
inline void recordRequest(pid_t pid, QStringList &requests)
{
    __ptrace_syscall_info info = {};
    if (::ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info, &info) <= 0
        || info.op != PTRACE_SYSCALL_INFO_ENTRY || info.entry.nr != SYS_ioctl)
        return;
    const auto request = info.entry.args[1];
    if (request != TIOCMBIS && request != TIOCMBIC)
        return;
    errno = 0;
    const long word = ::ptrace(PTRACE_PEEKDATA, pid, info.entry.args[2], nullptr);
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
    const QByteArray link = QByteArray("/proc/") + QByteArray::number(pid) + "/fd/"
                            + QByteArray::number(qulonglong(info.entry.args[0]));
    const ssize_t length = ::readlink(link.constData(), device, sizeof device - 1);
    requests << QStringLiteral("%1 %2 on %3")
                    .arg(request == TIOCMBIS ? "raise" : "lower", lines.join(' '),
                         QString::fromLocal8Bit(device, length > 0 ? length : 0));
}

// Attaches to `pid`, runs `trigger` and follows the process to its end, writing down its
// modem-control requests: from the delivery of `signal` on, or all of them (`signal` 0).
// `refused` is set when the system does not let the test trace it.
inline Ending follow(pid_t pid, int signal, const std::function<void()> &trigger, QString &refused)
{
    Ending ending;
    if (::ptrace(PTRACE_SEIZE, pid, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL) != 0) {
        refused = QString::fromLocal8Bit(strerror(errno));
        return ending;
    }
    bool tracing = signal == 0;
    if (tracing) {
        // Every system call from now on: the process stops, and goes on traced.
        int status = 0;
        if (::ptrace(PTRACE_INTERRUPT, pid, nullptr, nullptr) != 0
            || ::waitpid(pid, &status, __WALL) != pid || !WIFSTOPPED(status)) {
            ending.failure = QStringLiteral("cannot stop the process to trace it");
            return ending;
        }
        ::ptrace(PTRACE_SYSCALL, pid, nullptr, nullptr);
    }
    trigger();
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        int status = 0;
        const pid_t got = ::waitpid(pid, &status, __WALL | WNOHANG);
        if (got == 0) {
            if (clock.elapsed() > TimeoutMs) {
                ending.failure = QStringLiteral("the process did not end");
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
            ending.status = status;
            return ending;
        }
        if (!WIFSTOPPED(status))
            continue;
        const int stop = WSTOPSIG(status);
        int deliver = 0;
        if (stop == (SIGTRAP | 0x80))
            recordRequest(pid, ending.requests);
        else if (status >> 16 == 0)
            deliver = stop; // a signal on its way to the process
        if (deliver != 0 && deliver == signal)
            tracing = true;
        ::ptrace(tracing ? PTRACE_SYSCALL : PTRACE_CONT, pid, nullptr, deliver);
    }
}

} // namespace KeyerTrace

// The keyer, started with pipes on its standard input and output.
class Keyer
{
public:
    using Ending = KeyerTrace::Ending;

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

    // `ownGroup`: the keyer leads a process group of its own, as a program in a session does.
    bool start(const QStringList &arguments, bool ownGroup = false)
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
            if (ownGroup)
                ::setpgid(0, 0);
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

    // Waits for the keyer's "keyed"; the guard's process id (0: none), or nothing if the keyer
    // ended or said nothing in time.
    std::optional<pid_t> waitUntilKeyed()
    {
        if (!waitFor("keyed "))
            return std::nullopt;
        for (const QByteArray &line : m_said.split('\n'))
            if (line.startsWith("keyed "))
                return pid_t(line.mid(6).toLongLong());
        return std::nullopt;
    }

    pid_t pid() const { return m_pid; }
    // What the keyer said so far (through waitFor()).
    QByteArray said() const { return m_said; }
    // Reads what the keyer says within `timeoutMs` (see said()); false once it has ended.
    bool listen(int timeoutMs)
    {
        pollfd ready = {m_output, POLLIN, 0};
        if (::poll(&ready, 1, timeoutMs) <= 0)
            return true;
        char buffer[256];
        const ssize_t n = ::read(m_output, buffer, sizeof buffer);
        if (n > 0)
            m_said.append(buffer, n);
        return n > 0;
    }
    // Waits for a line that starts with `word` on the keyer's standard output.
    bool waitFor(const QByteArray &word, int timeoutMs = KeyerTrace::TimeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            const QList<QByteArray> lines = m_said.split('\n');
            for (qsizetype i = 0; i + 1 < lines.size(); ++i) // complete lines only
                if (lines[i].startsWith(word))
                    return true;
            if (clock.elapsed() >= timeoutMs || !listen(100))
                return false;
        }
    }

    void tell(const char *line)
    {
        [[maybe_unused]] ssize_t n = ::write(m_input, line, strlen(line));
    }
    // A signal to the keyer's main thread, which waits in its event loop.
    void send(int signal) { ::syscall(SYS_tgkill, m_pid, m_pid, signal); }

    // Attaches to the keyer, runs `trigger` and follows it to its end (see KeyerTrace::follow).
    Ending follow(int signal, const std::function<void()> &trigger, QString &refused)
    {
        Ending ending = KeyerTrace::follow(m_pid, signal, trigger, refused);
        m_ended = ending.failure.isEmpty() && refused.isEmpty();
        return ending;
    }
    // Waits for the keyer's end: its wait status, or -1.
    int wait()
    {
        int status = 0;
        if (m_ended || ::waitpid(m_pid, &status, __WALL) != m_pid)
            return -1;
        m_ended = true;
        return status;
    }

private:
    pid_t m_pid = -1;
    bool m_ended = false;
    int m_input = -1;
    int m_output = -1;
    QByteArray m_said;
};
