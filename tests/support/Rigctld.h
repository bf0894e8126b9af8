// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QThread>

#include <atomic>
#include <thread>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

// A socket of our own on 127.0.0.1. Without `listening` it only finds a free port number.
class LocalSocket
{
public:
    explicit LocalSocket(bool listening)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), length) != 0
            || (listening && ::listen(m_fd, 16) != 0)
            || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
    }
    ~LocalSocket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    LocalSocket(const LocalSocket &) = delete;
    LocalSocket &operator=(const LocalSocket &) = delete;

    quint16 port() const { return m_port; }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }

    // Whether a socket listens on `port` of 127.0.0.1. Read from the kernel's table, without
    // connecting: rigctld 4.5 may close a connection twice, and the second close would hit the
    // next client's.
    static bool listening(quint16 port)
    {
        QFile table(QStringLiteral("/proc/net/tcp"));
        if (!table.open(QIODevice::ReadOnly))
            return false;
        const QByteArray local
            = "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
        for (const QByteArray &line : table.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() > 3 && fields[1] == local && fields[3] == "0A")
                return true;
        }
        return false;
    }

    // A connection to `port` of 127.0.0.1, or -1.
    static int connectTo(quint16 port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0)
            return fd;
        if (fd >= 0)
            ::close(fd);
        return -1;
    }

    int fd() const { return m_fd; }

private:
    int m_fd = -1;
    quint16 m_port = 0;
};

// The PTT that rigctld's dummy rig reads on a connection of our own: 1, 0, or -1 (no answer;
// rigctld 4.5 may close a connection by mistake, so the next read makes a new one).
class PttReader
{
public:
    explicit PttReader(quint16 port) : m_port(port) { }
    ~PttReader() { drop(); }

    int read()
    {
        if (m_fd < 0)
            m_fd = LocalSocket::connectTo(m_port);
        char answer[32] = {};
        if (m_fd < 0 || ::send(m_fd, "t\n", 2, MSG_NOSIGNAL) != 2
            || ::recv(m_fd, answer, sizeof answer - 1, 0) <= 0) {
            drop();
            return -1;
        }
        return answer[0] == '1' ? 1 : answer[0] == '0' ? 0 : -1;
    }

private:
    void drop()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    quint16 m_port;
    int m_fd = -1;
};

// A rig server that accepts connections and never answers: the kernel completes each connection
// in the listening queue, and nobody ever reads from it.
class SilentServer : public LocalSocket
{
public:
    SilentServer() : LocalSocket(true) { }
};

// A link to a rig server that loses connections as rigctld 4.5 does by mistake: it relays each
// connection to `target`, but closes the next ones at once when told, or cuts all it relays.
class FlakyLink : public LocalSocket
{
public:
    explicit FlakyLink(quint16 target) : LocalSocket(true), m_target(target)
    {
        if (::pipe2(m_wake, O_CLOEXEC) == 0)
            m_thread = std::thread([this] { run(); });
    }
    ~FlakyLink()
    {
        m_stop = true;
        wake();
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_wake[0]);
        ::close(m_wake[1]);
    }

    // The next `count` connections are closed as soon as they are made.
    void dropNext(int count) { m_drop = count; }
    // Every connection relayed now is closed.
    void cutAll()
    {
        m_cut = true;
        wake();
    }

private:
    void wake() { (void)!::write(m_wake[1], "w", 1); }

    void run()
    {
        std::vector<std::pair<int, int>> links; // client, server
        const auto closeLink = [](const std::pair<int, int> &link) {
            ::close(link.first);
            ::close(link.second);
        };
        while (!m_stop) {
            std::vector<pollfd> fds{{fd(), POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            for (const auto &link : links) {
                fds.push_back({link.first, POLLIN, 0});
                fds.push_back({link.second, POLLIN, 0});
            }
            if (::poll(fds.data(), fds.size(), 100) < 0)
                continue;
            if (fds[1].revents & POLLIN) {
                char ignored[16];
                (void)!::read(m_wake[0], ignored, sizeof ignored);
            }
            if (m_cut.exchange(false)) {
                for (const auto &link : links)
                    closeLink(link);
                links.clear();
                continue;
            }
            std::vector<std::pair<int, int>> kept;
            for (size_t i = 0; i < links.size(); ++i) {
                bool open = true;
                for (int side = 0; side < 2 && open; ++side) {
                    if (!(fds[2 + 2 * i + side].revents & (POLLIN | POLLHUP | POLLERR)))
                        continue;
                    const int from = side == 0 ? links[i].first : links[i].second;
                    const int to = side == 0 ? links[i].second : links[i].first;
                    char buffer[4096];
                    const ssize_t got = ::read(from, buffer, sizeof buffer);
                    open = got > 0 && ::send(to, buffer, size_t(got), MSG_NOSIGNAL) == got;
                }
                if (open)
                    kept.push_back(links[i]);
                else
                    closeLink(links[i]);
            }
            links = kept;
            if (fds[0].revents & POLLIN) {
                const int client = ::accept4(fd(), nullptr, nullptr, SOCK_CLOEXEC);
                const int server = client >= 0 && m_drop == 0 ? connectTo(m_target) : -1;
                if (client >= 0 && m_drop > 0)
                    --m_drop;
                if (server >= 0)
                    links.push_back({client, server});
                else if (client >= 0)
                    ::close(client);
            }
        }
        for (const auto &link : links)
            closeLink(link);
    }

    quint16 m_target;
    int m_wake[2] = {-1, -1};
    std::atomic<int> m_drop = 0;
    std::atomic<bool> m_cut = false;
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

// hamlib's rig daemon with its dummy rig, on a free port of 127.0.0.1: started, paused and ended
// by its process id. `-P RIG` makes the dummy rig keep a PTT state.
class Rigctld
{
public:
    ~Rigctld() { kill(); }

    static QString program() { return QStandardPaths::findExecutable(QStringLiteral("rigctld")); }

    // Starts it (on `port`, or on a free one) and waits until it takes connections.
    bool start(quint16 port = 0)
    {
        kill();
        m_port = port ? port : LocalSocket(false).port();
        m_process.setProgram(program());
        m_process.setArguments(
            {"-m", "1", "-T", "127.0.0.1", "-t", QString::number(m_port), "-P", "RIG"});
        // Nothing of its own on the test's standard error, which the tests read.
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        // It goes with the test, even one that crashes.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.start();
        if (!m_process.waitForStarted(5000)) {
            m_error = m_process.errorString();
            return false;
        }
        QElapsedTimer clock;
        clock.start();
        while (!LocalSocket::listening(m_port)) {
            if (clock.elapsed() > 5000 || m_process.state() != QProcess::Running) {
                m_error
                    = QStringLiteral("rigctld does not take connections on port %1").arg(m_port);
                kill();
                return false;
            }
            QThread::msleep(20);
        }
        return true;
    }

    bool isRunning() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }
    quint16 port() const { return m_port; }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    QString error() const { return m_error; }

    // It stops answering (SIGSTOP) while connections still reach it, and goes on (SIGCONT).
    void pause() { sendSignal(SIGSTOP); }
    void resume() { sendSignal(SIGCONT); }

    void kill()
    {
        if (!isRunning())
            return;
        sendSignal(SIGKILL);
        m_process.waitForFinished(5000);
    }

    // The dummy rig's PTT as a separate rigctl reads it: 1 keyed, 0 released, -1 unreadable.
    int ptt() const
    {
        QProcess rigctl;
        rigctl.start(QStandardPaths::findExecutable(QStringLiteral("rigctl")),
                     {"-m", "2", "-r", address(), "t"});
        if (!rigctl.waitForFinished(5000)) {
            rigctl.kill();
            rigctl.waitForFinished();
            return -1;
        }
        bool ok = false;
        const int value = rigctl.readAllStandardOutput().trimmed().toInt(&ok);
        return ok && rigctl.exitCode() == 0 ? value : -1;
    }

private:
    void sendSignal(int number)
    {
        if (isRunning() && pid() > 0)
            ::kill(pid_t(pid()), number);
    }

    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
