// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/PttGuard.h"
#include "station/Log.h"

#include "ptt/GuardProtocol.h"
#include "ptt/TransientUnit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using GuardProtocol::Message;
using Kind = GuardProtocol::Message::Kind;

namespace {

const QString GuardName = QStringLiteral("voicevocta-guard");

// Collects a child guard's exit status, now or a moment later (it ends right after its socket).
void reap(pid_t pid, int attempts = 10)
{
    if (pid <= 0 || ::waitpid(pid, nullptr, WNOHANG) != 0 || attempts <= 0)
        return;
    QTimer::singleShot(100, [pid, attempts] { reap(pid, attempts - 1); });
}

Message rigMessage(const HamlibSettings &settings)
{
    Message message = Message::of(Kind::Rig);
    message.rig = settings;
    return message;
}

Message levelsMessage(Kind kind, const SerialLines::ReceiveLevels &levels)
{
    Message message = Message::of(kind);
    message.levels = levels;
    return message;
}

// A socket in the abstract namespace for a guard to connect to, listening; -1 on failure.
int listenOn(const QByteArray &name)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd >= 0
        && (::bind(fd, reinterpret_cast<sockaddr *>(&address), length) != 0
            || ::listen(fd, 2) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

PttGuard::PttGuard(const QString &program, QObject *parent) : QObject(parent), m_program(program)
{
    m_restart.setSingleShot(true);
    m_restart.setInterval(RestartMs);
    connect(&m_restart, &QTimer::timeout, this, [this] {
        if (watching())
            ensureRunning();
    });
    m_connectWithin.setSingleShot(true);
    m_connectWithin.setInterval(ConnectWithinMs);
    connect(&m_connectWithin, &QTimer::timeout, this,
            [this] { unitFailed(QStringLiteral("it did not connect")); });
}

PttGuard::~PttGuard()
{
    stopListening();
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

bool PttGuard::watching() const
{
    return !m_goodbye && (m_rig || m_port >= 0 || !m_sources.isEmpty());
}

void PttGuard::watchRig(const HamlibSettings &settings)
{
    m_rig = settings;
    if (ensureRunning())
        send(rigMessage(settings));
}

void PttGuard::forgetRig()
{
    if (!m_rig)
        return;
    m_rig.reset();
    send(Message::of(Kind::NoRig));
}

void PttGuard::watchPort(int descriptor, const SerialLines::ReceiveLevels &levels)
{
    m_port = descriptor;
    m_levels = levels;
    if (ensureRunning())
        send(levelsMessage(Kind::Port, levels), descriptor);
}

void PttGuard::setReceiveLevels(const SerialLines::ReceiveLevels &levels)
{
    if (levels == m_levels)
        return;
    m_levels = levels;
    if (m_port >= 0)
        send(levelsMessage(Kind::Levels, levels));
}

void PttGuard::forgetPort()
{
    if (m_port < 0)
        return;
    m_port = -1;
    send(Message::of(Kind::NoPort));
}

void PttGuard::watchMutedSources(const QStringList &sources)
{
    if (sources == m_sources)
        return;
    m_sources = sources;
    if (!sources.isEmpty())
        ensureRunning();
    Message message = Message::of(Kind::Sources);
    message.sources = sources;
    send(message);
}

void PttGuard::setKeyed(bool keyed, int timeoutSeconds)
{
    if (keyed == m_keyed && (!keyed || timeoutSeconds == m_timeout))
        return;
    m_keyed = keyed;
    m_timeout = timeoutSeconds;
    Message message = Message::of(keyed ? Kind::Keyed : Kind::Released);
    message.timeout = timeoutSeconds;
    send(message);
}

void PttGuard::sayGoodbye()
{
    send(Message::of(Kind::Goodbye));
    m_goodbye = true;
    m_restart.stop();
    stopListening();
    delete m_notifier;
    m_notifier = nullptr;
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = -1;
    if (m_child)
        reap(pid_t(m_pid));
    m_pid = 0;
}

bool PttGuard::ensureRunning()
{
    if (m_goodbye)
        return false;
    if (m_socket >= 0 || m_listener >= 0)
        return true;
    if (m_unit && !m_unitRefused) {
        startInUnit();
        return true;
    }
    return startChild();
}

// A unit of its own: the guard connects to a socket of the program's, by a name of its own.
void PttGuard::startInUnit()
{
    const QByteArray name = "voicevocta-guard-" + QByteArray::number(::getpid()) + '-'
                            + QByteArray::number(QRandomGenerator::global()->generate(), 36);
    m_listener = listenOn(name);
    if (m_listener < 0) {
        unitFailed(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_listening = new QSocketNotifier(m_listener, QSocketNotifier::Read, this);
    connect(m_listening, &QSocketNotifier::activated, this, &PttGuard::accept);
    m_connectWithin.start();
    const QStringList command{m_program, QStringLiteral("--connect"), QString::fromLatin1(name),
                              QString::number(::getpid())};
    m_unit->start(QString::fromLatin1(name), QStringLiteral("Voice Vocta's PTT guard"), command,
                  [this](const QString &failure) {
                      if (!failure.isEmpty() && m_listener >= 0)
                          unitFailed(failure);
                  });
}

void PttGuard::accept()
{
    const int socket = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (socket < 0)
        return;
    // Only a process of this user's takes the guard's place.
    ucred peer = {};
    socklen_t length = sizeof peer;
    if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0
        || peer.uid != ::getuid()) {
        ::close(socket);
        return;
    }
    stopListening();
    connected(socket, peer.pid, false);
}

// The service manager is not there, or refused the unit: the guard runs as a child from now on.
// Said once where a manager refused it.
void PttGuard::unitFailed(const QString &why)
{
    stopListening();
    m_unitRefused = true;
    if (why != QLatin1String("no user service manager") && why != QLatin1String("no session bus"))
        qCWarning(lcPtt).noquote()
            << QStringLiteral("the PTT guard cannot run in a service unit of its own (%1): it runs "
                              "as the program's child")
                   .arg(why);
    if (watching() || m_keyed)
        startChild();
}

void PttGuard::stopListening()
{
    m_connectWithin.stop();
    delete m_listening;
    m_listening = nullptr;
    if (m_listener >= 0)
        ::close(m_listener);
    m_listener = -1;
}

// Starts the guard in a session of its own (so that a terminal's Ctrl+C and hang-up do not
// reach it), with its end of the socket as descriptor 3 and no other descriptor of the
// program's: one of a rig's port would keep that port from the guard.
bool PttGuard::startChild()
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
    connected(ends[0], pid, true);
    return true;
}

void PttGuard::connected(int socket, qint64 pid, bool child)
{
    m_socket = socket;
    m_pid = pid;
    m_child = child;
    m_notifier = new QSocketNotifier(m_socket, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PttGuard::read);
    tellEverything();
    setProblem(QString());
    emit running(pid);
}

void PttGuard::tellEverything()
{
    if (m_rig)
        send(rigMessage(*m_rig));
    if (m_port >= 0)
        send(levelsMessage(Kind::Port, m_levels), m_port);
    if (!m_sources.isEmpty()) {
        Message message = Message::of(Kind::Sources);
        message.sources = m_sources;
        send(message);
    }
    if (m_keyed) {
        Message message = Message::of(Kind::Keyed);
        message.timeout = m_timeout;
        send(message);
    }
}

// What the guard says: its questions are answered at once; its end is the guard's end.
void PttGuard::read()
{
    QByteArray bytes;
    int descriptor = -1;
    for (;;) {
        const ssize_t length = GuardProtocol::receive(m_socket, bytes, &descriptor, MSG_DONTWAIT);
        if (descriptor >= 0)
            ::close(descriptor);
        if (length < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        if (length <= 0) {
            ended();
            return;
        }
        const std::optional<Message> message = GuardProtocol::decode(bytes);
        if (!message)
            continue;
        if (message->kind == Kind::Ping) {
            send(Message::of(Kind::Pong));
        } else if (message->kind == Kind::TookOver) {
            m_keyed = false;
            emit tookOver(message->reason);
        }
        if (m_socket < 0)
            return;
    }
}

void PttGuard::send(const Message &message, int descriptor)
{
    if (m_socket < 0)
        return; // told once it connects
    if (GuardProtocol::send(m_socket, message, descriptor))
        return;
    ended();
}

// The guard ended while the program runs: said once, and started again.
void PttGuard::ended()
{
    if (m_socket < 0)
        return;
    delete m_notifier;
    m_notifier = nullptr;
    ::close(m_socket);
    m_socket = -1;
    if (m_child)
        reap(pid_t(m_pid));
    m_pid = 0;
    if (m_goodbye)
        return;
    setProblem(QStringLiteral("the PTT guard ended: should the program die, the transmitter may "
                              "stay keyed"));
    m_restart.start();
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
