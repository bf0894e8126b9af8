#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QThread>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
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

    // Whether something accepts connections on `port` of 127.0.0.1.
    static bool accepts(quint16 port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        const bool connected
            = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        if (fd >= 0)
            ::close(fd);
        return connected;
    }

private:
    int m_fd = -1;
    quint16 m_port = 0;
};

// A rig server that accepts connections and never answers: the kernel completes each connection
// in the listening queue, and nobody ever reads from it.
class SilentServer : public LocalSocket
{
public:
    SilentServer() : LocalSocket(true) { }
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
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.start();
        if (!m_process.waitForStarted(5000)) {
            m_error = m_process.errorString();
            return false;
        }
        QElapsedTimer clock;
        clock.start();
        while (!LocalSocket::accepts(m_port)) {
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
