// SPDX-License-Identifier: GPL-3.0-or-later
// voicevocta-guard: releases the transmitter when Voice Vocta ends without saying goodbye (it
// was killed, it crashed, the out-of-memory killer took it), and when it freezes while keyed.
//
//   voicevocta-guard <the program's process id>
//   voicevocta-guard --connect <socket name> <the program's process id>
//
// The program starts it as its child with one end of a socket on descriptor 3, or in a service
// unit of its own (where a user service manager runs), and then the guard connects to the socket
// the program listens on by its name. The program tells it there what keys the transmitter: a rig
// (its settings), the serial port (a descriptor of the open port, and the lines' receive levels),
// and when it keys and releases. When the program ends, the socket ends; for a child the kernel's
// parent-death signal is a second sign, for a guard of its own a descriptor of the program's
// process. Without a goodbye the guard puts the serial lines at their receive levels and releases
// the rig, then ends. A microphone the program muted for a message (and had not yet seen put
// back) is unmuted through the sound server, after a goodbye too.
//
// While the transmitter is keyed the guard asks the program twice a second whether it answers. A
// program that has not answered for two seconds (stopped, or hung), or that stays keyed two
// seconds past its time-out, is taken for frozen: the guard releases the transmitter itself, tells
// the program so, and goes on watching. Otherwise it wakes for nothing. It leaves the terminal's
// signals (Ctrl+C, a hang-up) and the session's end to the program, and ends only with it.

#include "ptt/GuardProtocol.h"
#include "ptt/RigLink.h"
#include "ptt/RigctldLink.h"
#include "ptt/SourceRestore.h"

#include <QStringList>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

using GuardProtocol::Message;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How long a rig that cannot be reached is tried before the guard gives up.
constexpr std::chrono::seconds GiveUpAfter{60};
// The parent-death signal.
constexpr int ProgramEnded = SIGUSR1;

void say(const QString &text)
{
    std::fprintf(stderr, "voicevocta: %s\n", text.toLocal8Bit().constData());
}

void onProgramEnded(int) { }

// What the program asked to be watched.
struct Watch
{
    std::optional<HamlibSettings> rig;
    int port = -1;
    SerialLines::ReceiveLevels levels;
    QStringList sources;
    bool goodbye = false;
    bool keyed = false;
    int timeout = 0; // seconds, 0: none
    Clock::time_point keyedSince;

    void take(const Message &message, int descriptor);
};

void Watch::take(const Message &message, int descriptor)
{
    switch (message.kind) {
    case Message::Kind::Rig:
        rig = message.rig;
        break;
    case Message::Kind::NoRig:
        rig.reset();
        break;
    case Message::Kind::Port:
    case Message::Kind::NoPort:
        if (port >= 0)
            ::close(port);
        port = message.kind == Message::Kind::Port ? descriptor : -1;
        levels = message.levels;
        break;
    case Message::Kind::Levels:
        levels = message.levels;
        break;
    case Message::Kind::Goodbye:
        goodbye = true;
        break;
    case Message::Kind::Sources:
        sources = message.sources;
        break;
    case Message::Kind::Keyed:
        if (!keyed)
            keyedSince = Clock::now();
        keyed = true;
        timeout = message.timeout;
        break;
    case Message::Kind::Released:
        keyed = false;
        break;
    default:
        break;
    }
}

// The link to the rig the program keyed, as the program would make it; its keyings are the
// program's (`program`), so that a keying found there is released.
std::unique_ptr<RigConnection> linkTo(const HamlibSettings &settings, pid_t program)
{
    if (settings.throughRigctld())
        return std::make_unique<RigctldLink>(settings, program);
    HamlibRig::setUpLibrary();
    return std::make_unique<RigLink>(settings, program);
}

// Each line that keys the transmitter at its receive level. Whether the port's last close lowers
// the lines (the tty flag HUPCL) the program has already set as the lines need it.
void releaseLines(int port, const SerialLines::ReceiveLevels &levels)
{
    int raised = 0;
    int lowered = 0;
    if (levels.rts)
        (*levels.rts ? raised : lowered) |= TIOCM_RTS;
    if (levels.dtr)
        (*levels.dtr ? raised : lowered) |= TIOCM_DTR;
    bool done = true;
    if (raised)
        done = ::ioctl(port, TIOCMBIS, &raised) == 0 && done;
    if (lowered)
        done = ::ioctl(port, TIOCMBIC, &lowered) == 0 && done;
    const int error = errno;
    char device[64] = {};
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(port);
    [[maybe_unused]] const ssize_t length = ::readlink(link.constData(), device, sizeof device - 1);
    if (raised || lowered)
        say(done ? QStringLiteral("the serial lines of %1 released").arg(device)
                 : QStringLiteral("cannot release the serial lines of %1 (%2)")
                       .arg(device, QString::fromLocal8Bit(std::strerror(error))));
}

// The rig released, tried until it confirms it or GiveUpAfter has passed; then read back once
// more a moment later, and put right should a request of the program's have come late.
void releaseRig(const HamlibSettings &settings, pid_t program)
{
    const std::unique_ptr<RigConnection> link = linkTo(settings, program);
    // The program may have left a request on its way to the rig.
    link->assumeUnsure();
    const auto giveUp = Clock::now() + GiveUpAfter;
    RigConnection::Result result;
    for (;;) {
        const auto started = Clock::now();
        result = link->bring(false);
        if (result.failure == RigConnection::Failure::None) {
            say(QStringLiteral("%1 released").arg(link->name()));
            break;
        }
        if (result.failure == RigConnection::Failure::Settings || Clock::now() >= giveUp) {
            say(QStringLiteral("cannot release the transmitter: %1").arg(result.text));
            return;
        }
        // A link that does not answer goes on waiting; one that cannot be reached is tried
        // again a second after the last try began.
        if (result.failure != RigConnection::Failure::NoAnswer)
            std::this_thread::sleep_until(started + milliseconds(1000));
    }
    if (const auto check = link->checkDue()) {
        std::this_thread::sleep_until(*check);
        link->bring(false);
    }
    link->close();
}

// A descriptor that becomes readable when `pid` ends (-1 where the kernel has none).
int processDescriptor(pid_t pid)
{
#ifdef SYS_pidfd_open
    return int(::syscall(SYS_pidfd_open, pid, 0));
#else
    return -1;
#endif
}

// The guard's watch over the program.
class Guard
{
public:
    Guard(int socket, pid_t program, bool child)
        : m_socket(socket)
        , m_program(program)
        , m_child(child)
        , m_ended(child ? -1 : processDescriptor(program))
    { }

    // Waits for the end of the program, releasing the transmitter meanwhile should it freeze.
    // True when it said goodbye.
    bool watch();
    const Watch &watched() const { return m_watched; }

private:
    bool takeAll(int flags);
    int msUntilNext() const;
    void look();
    void takeOver(const QString &reason);

    Watch m_watched;
    int m_socket;
    pid_t m_program;
    bool m_child;
    int m_ended; // the program's process, for a guard of its own
    Clock::time_point m_heard; // the program last answered
    Clock::time_point m_nextPing;
};

// Takes what the program sent; false once the socket has ended.
bool Guard::takeAll(int flags)
{
    QByteArray bytes;
    int descriptor = -1;
    for (;;) {
        const ssize_t length = GuardProtocol::receive(m_socket, bytes, &descriptor, flags);
        if (length < 0)
            return errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK;
        if (length == 0)
            return false;
        const std::optional<Message> message = GuardProtocol::decode(bytes);
        const bool portGiven = message && message->kind == Message::Kind::Port;
        if (descriptor >= 0 && !portGiven)
            ::close(descriptor);
        m_heard = Clock::now();
        if (message) {
            const bool wasKeyed = m_watched.keyed;
            m_watched.take(*message, portGiven ? descriptor : -1);
            if (m_watched.keyed && !wasKeyed)
                m_nextPing = m_heard + milliseconds(GuardProtocol::PingEveryMs);
        }
        if (m_watched.goodbye)
            return true;
        flags |= MSG_DONTWAIT;
    }
}

int Guard::msUntilNext() const
{
    if (!m_watched.keyed)
        return -1;
    auto next = std::min(m_nextPing, m_heard + milliseconds(GuardProtocol::SilenceMs));
    if (m_watched.timeout > 0)
        next = std::min(next, m_watched.keyedSince + std::chrono::seconds(m_watched.timeout)
                                  + milliseconds(GuardProtocol::TimeoutMarginMs));
    const auto left = std::chrono::ceil<milliseconds>(next - Clock::now()).count();
    return int(std::clamp<qint64>(left, 0, 60'000));
}

// While keyed: the program is asked whether it answers, and taken over from once it is frozen.
void Guard::look()
{
    if (!m_watched.keyed)
        return;
    const auto now = Clock::now();
    if (now - m_heard >= milliseconds(GuardProtocol::SilenceMs)) {
        takeOver(QStringLiteral("has not answered for %1 s while keyed")
                     .arg(GuardProtocol::SilenceMs / 1000));
        return;
    }
    if (m_watched.timeout > 0
        && now - m_watched.keyedSince >= std::chrono::seconds(m_watched.timeout)
                                             + milliseconds(GuardProtocol::TimeoutMarginMs)) {
        takeOver(QStringLiteral("stayed keyed past its time-out of %1 s").arg(m_watched.timeout));
        return;
    }
    if (now >= m_nextPing) {
        GuardProtocol::send(m_socket, Message::of(Message::Kind::Ping));
        m_nextPing = now + milliseconds(GuardProtocol::PingEveryMs);
    }
}

void Guard::takeOver(const QString &reason)
{
    say(QStringLiteral("the program %1: releasing the transmitter").arg(reason));
    m_watched.keyed = false;
    if (m_watched.port >= 0)
        releaseLines(m_watched.port, m_watched.levels);
    if (m_watched.rig)
        releaseRig(*m_watched.rig, m_program);
    Message told = Message::of(Message::Kind::TookOver);
    told.reason = reason;
    GuardProtocol::send(m_socket, told);
}

bool Guard::watch()
{
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, ProgramEnded);
    sigset_t waiting;
    ::sigprocmask(SIG_BLOCK, &blocked, &waiting);
    sigdelset(&waiting, ProgramEnded);
    if (m_child) {
        struct sigaction action = {};
        action.sa_handler = onProgramEnded;
        ::sigaction(ProgramEnded, &action, nullptr);
        ::prctl(PR_SET_PDEATHSIG, ProgramEnded);
    }
    m_heard = Clock::now();
    // Until the program has gone: the socket's end, its process's end, or (should a descendant
    // of the program still hold its end) the parent-death signal.
    while (!m_child || ::getppid() == m_program) {
        pollfd fds[2] = {{m_socket, POLLIN, 0}, {m_ended, POLLIN, 0}};
        const int wait = msUntilNext();
        timespec timeout = {wait / 1000, (wait % 1000) * 1'000'000L};
        const int ready
            = ::ppoll(fds, m_ended >= 0 ? 2 : 1, wait < 0 ? nullptr : &timeout, &waiting);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0 && fds[0].revents != 0 && !takeAll(0))
            break;
        if (m_watched.goodbye)
            return true;
        if (ready > 0 && m_ended >= 0 && (fds[1].revents & POLLIN))
            break;
        look();
    }
    // What was sent before the end still counts, a goodbye too.
    takeAll(MSG_DONTWAIT);
    return m_watched.goodbye;
}

// The program's socket of `name` in the abstract namespace, or -1.
int connectTo(const QByteArray &name)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (name.isEmpty() || name.size() >= int(sizeof address.sun_path) - 1)
        return -1;
    std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), length) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

int main(int argc, char *argv[])
{
    // The terminal's and the session's signals are the program's: it ends in order on them and
    // says goodbye. The guard stays until then.
    for (int signal : {SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGTSTP, SIGTTIN, SIGTTOU, SIGPIPE})
        std::signal(signal, SIG_IGN);
    const bool own = argc == 4 && std::strcmp(argv[1], "--connect") == 0;
    const pid_t program = argc == 2 ? pid_t(std::atol(argv[1]))
                          : own     ? pid_t(std::atol(argv[3]))
                                    : 0;
    if (program <= 0) {
        std::fputs("usage: voicevocta-guard [--connect <socket name>] <process id> (started by "
                   "voicevocta)\n",
                   stderr);
        return 2;
    }
    const int socket = own ? connectTo(argv[2]) : GuardProtocol::SocketDescriptor;
    if (socket < 0) {
        say(QStringLiteral("the guard cannot reach the program %1 at %2: %3")
                .arg(program)
                .arg(QString::fromLocal8Bit(argv[2]),
                     QString::fromLocal8Bit(std::strerror(errno))));
        return 1;
    }

    Guard guard(socket, program, !own);
    const bool goodbye = guard.watch();
    const Watch &watched = guard.watched();
    // The microphones first, on a thread of their own: a rig that does not answer must not keep
    // them muted, nor a sound server the transmitter keyed.
    std::thread sources;
    if (!watched.sources.isEmpty())
        sources = std::thread(restoreSources, watched.sources, GiveUpAfter, say);
    if (!goodbye && (watched.port >= 0 || watched.rig)) {
        say(QStringLiteral("the program ended without a goodbye: releasing the transmitter"));
        if (watched.port >= 0)
            releaseLines(watched.port, watched.levels);
        if (watched.rig)
            releaseRig(*watched.rig, program);
    }
    // The port is the program's to close: its last close is its own.
    if (watched.port >= 0)
        ::close(watched.port);
    if (sources.joinable())
        sources.join();
    return 0;
}
