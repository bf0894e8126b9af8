// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/PttGuard.h"
#include "station/Log.h"

#include "ptt/GuardProtocol.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using GuardProtocol::Message;

namespace {

const QString GuardName = QStringLiteral("voicevocta-guard");

// Collects the guard's exit status, now or a moment later (it ends right after its socket).
void reap(pid_t pid, int attempts = 10)
{
    if (pid <= 0 || ::waitpid(pid, nullptr, WNOHANG) != 0 || attempts <= 0)
        return;
    QTimer::singleShot(100, [pid, attempts] { reap(pid, attempts - 1); });
}

} // namespace

PttGuard::PttGuard(const QString &program, QObject *parent)
    : QObject(parent), m_program(program) { }

PttGuard::~PttGuard()
{
    delete m_notifier;
    if (m_socket >= 0)
        ::close(m_socket);
}

QString PttGuard::locate(const QString &executableDir)
{
    const QString beside = QDir(executableDir).filePath(GuardName);
    const QString system
        = QDir::cleanPath(executableDir + QStringLiteral("/../libexec/voicevocta/") + GuardName);
    return QFileInfo::exists(beside) || !QFileInfo::exists(system) ? beside : system;
}

void PttGuard::watchRig(const HamlibSettings &settings)
{
    m_rig = settings;
    if (ensureRunning())
        send({Message::Kind::Rig, settings, {}, {}});
}

void PttGuard::forgetRig()
{
    if (!m_rig)
        return;
    m_rig.reset();
    if (m_pid)
        send({Message::Kind::NoRig, {}, {}, {}});
}

void PttGuard::watchPort(int descriptor, const SerialLines::ReceiveLevels &levels)
{
    m_port = descriptor;
    m_levels = levels;
    if (ensureRunning())
        send({Message::Kind::Port, {}, levels, {}}, descriptor);
}

void PttGuard::setReceiveLevels(const SerialLines::ReceiveLevels &levels)
{
    if (levels == m_levels)
        return;
    m_levels = levels;
    if (m_pid && m_port >= 0)
        send({Message::Kind::Levels, {}, levels, {}});
}

void PttGuard::forgetPort()
{
    if (m_port < 0)
        return;
    m_port = -1;
    if (m_pid)
        send({Message::Kind::NoPort, {}, {}, {}});
}

void PttGuard::watchMutedSources(const QStringList &sources)
{
    if (sources == m_sources)
        return;
    m_sources = sources;
    if (sources.isEmpty() ? m_pid != 0 : ensureRunning())
        send({Message::Kind::Sources, {}, {}, sources});
}

void PttGuard::sayGoodbye()
{
    if (m_pid)
        send({Message::Kind::Goodbye, {}, {}, {}});
    m_goodbye = true;
    delete m_notifier;
    m_notifier = nullptr;
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = -1;
    reap(pid_t(m_pid));
    m_pid = 0;
}

bool PttGuard::ensureRunning()
{
    if (m_goodbye)
        return false;
    return m_pid || start();
}

// Starts the guard in a session of its own (so that a terminal's Ctrl+C and hang-up do not
// reach it), with its end of the socket as descriptor 3 and no other descriptor of the
// program's: one of a rig's port would keep that port from the guard.
bool PttGuard::start()
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
        setProblem(QStringLiteral("cannot start the PTT guard: %1").arg(strerror(errno)));
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, ends[1], GuardProtocol::SocketDescriptor);
    posix_spawn_file_actions_addclosefrom_np(&actions, GuardProtocol::SocketDescriptor + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    QByteArray path = QFile::encodeName(m_program);
    QByteArray parent = QByteArray::number(qint64(::getpid()));
    char *arguments[] = {path.data(), parent.data(), nullptr};
    pid_t pid = 0;
    const int result
        = ::posix_spawn(&pid, path.constData(), &actions, &attributes, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(ends[1]);
    if (result != 0) {
        ::close(ends[0]);
        setProblem(QStringLiteral("cannot start the PTT guard %1 (%2): should the program die, "
                                  "the transmitter may stay keyed")
                       .arg(m_program, QString::fromLocal8Bit(strerror(result))));
        return false;
    }
    m_socket = ends[0];
    m_pid = pid;
    // The guard never writes: its end becoming readable is its end.
    m_notifier = new QSocketNotifier(m_socket, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PttGuard::ended);
    tellEverything();
    setProblem(QString());
    return m_pid != 0;
}

void PttGuard::tellEverything()
{
    if (m_rig)
        send({Message::Kind::Rig, *m_rig, {}, {}});
    if (m_port >= 0)
        send({Message::Kind::Port, {}, m_levels, {}}, m_port);
    if (!m_sources.isEmpty())
        send({Message::Kind::Sources, {}, {}, m_sources});
}

void PttGuard::send(const Message &message, int descriptor)
{
    if (m_socket >= 0 && GuardProtocol::send(m_socket, message, descriptor))
        return;
    ended();
}

// The guard ended while the program runs: said once; the next change starts it again.
void PttGuard::ended()
{
    if (!m_pid)
        return;
    delete m_notifier;
    m_notifier = nullptr;
    ::close(m_socket);
    m_socket = -1;
    reap(pid_t(m_pid));
    m_pid = 0;
    setProblem(QStringLiteral("the PTT guard ended: should the program die, the transmitter may "
                              "stay keyed"));
}

void PttGuard::setProblem(const QString &text)
{
    if (text == m_problem)
        return;
    m_problem = text;
    if (!text.isEmpty() && !m_problemSaid) {
        m_problemSaid = true;
        qCWarning(lcPtt).noquote() << text;
    }
    emit problemChanged(text);
}
