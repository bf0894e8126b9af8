// SPDX-License-Identifier: GPL-3.0-or-later
// voicevocta-guard: releases the transmitter when Voice Vocta ends without saying goodbye (it
// was killed, it crashed, the out-of-memory killer took it).
//
//   voicevocta-guard <the program's process id>
//
// The program starts it with one end of a socket on descriptor 3 and tells it there what keys
// the transmitter: a rig through hamlib (its settings), the serial port (a descriptor of the
// open port, and the lines' receive levels). The guard waits in a blocking read, waking for
// nothing else. When the program ends, the socket ends; the kernel's parent-death signal is a
// second sign. Without a goodbye the guard puts the serial lines at their receive levels and
// releases the rig through hamlib, then ends. A microphone the program muted for a message (and
// had not yet seen put back) is unmuted through the sound server, after a goodbye too. It leaves
// the terminal's signals (Ctrl+C, a hang- up) and the session's end to the program, and ends only
// with it.

#include "ptt/GuardProtocol.h"
#include "ptt/RigLink.h"
#include "ptt/SourceRestore.h"

#include <QStringList>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using GuardProtocol::Message;
using Clock = std::chrono::steady_clock;

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

    void take(const QByteArray &bytes, int descriptor);
};

void Watch::take(const QByteArray &bytes, int descriptor)
{
    const std::optional<Message> message = GuardProtocol::decode(bytes);
    const bool portGiven = message && message->kind == Message::Kind::Port && descriptor >= 0;
    if (descriptor >= 0 && !portGiven)
        ::close(descriptor);
    if (!message)
        return;
    switch (message->kind) {
    case Message::Kind::Rig:
        rig = message->rig;
        break;
    case Message::Kind::NoRig:
        rig.reset();
        break;
    case Message::Kind::Port:
    case Message::Kind::NoPort:
        if (port >= 0)
            ::close(port);
        port = portGiven ? descriptor : -1;
        levels = message->levels;
        break;
    case Message::Kind::Levels:
        levels = message->levels;
        break;
    case Message::Kind::Goodbye:
        goodbye = true;
        break;
    case Message::Kind::Sources:
        sources = message->sources;
        break;
    }
}

// Waits for the end of the program. True when it said goodbye.
bool watch(Watch &watched, pid_t program)
{
    using GuardProtocol::SocketDescriptor;
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, ProgramEnded);
    sigset_t waiting;
    ::sigprocmask(SIG_BLOCK, &blocked, &waiting);
    sigdelset(&waiting, ProgramEnded);
    struct sigaction action = {};
    action.sa_handler = onProgramEnded;
    ::sigaction(ProgramEnded, &action, nullptr);
    ::prctl(PR_SET_PDEATHSIG, ProgramEnded);

    QByteArray bytes;
    int descriptor = -1;
    // Until the program has gone: the socket's end, or (should a descendant of the program
    // still hold its end) the parent-death signal.
    while (::getppid() == program) {
        pollfd socket = {SocketDescriptor, POLLIN, 0};
        if (::ppoll(&socket, 1, nullptr, &waiting) < 0) {
            if (errno == EINTR)
                continue; // the signal, or a signal for nothing: the loop looks
            break;
        }
        const ssize_t length = GuardProtocol::receive(SocketDescriptor, bytes, &descriptor);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            break;
        watched.take(bytes, descriptor);
        if (watched.goodbye)
            return true;
    }
    // What was sent before the end still counts, a goodbye too.
    while (GuardProtocol::receive(SocketDescriptor, bytes, &descriptor, MSG_DONTWAIT) > 0) {
        watched.take(bytes, descriptor);
        if (watched.goodbye)
            return true;
    }
    return false;
}

// Each line that keys the transmitter at its receive level; the port is then let go. Whether
// its last close lowers the lines (the tty flag HUPCL) the program has already set as the lines
// need it.
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
    ::close(port);
}

// The rig released, tried until it confirms it or GiveUpAfter has passed; then read back once
// more a moment later, and put right should a request of the program's have come late.
void releaseRig(const HamlibSettings &settings)
{
    HamlibRig::setUpLibrary();
    RigLink link(settings);
    // The program may have died with a request on its way to the rig.
    link.assumeUnsure();
    const auto giveUp = Clock::now() + GiveUpAfter;
    RigLink::Result result;
    for (;;) {
        result = link.bring(false);
        if (result.failure == HamlibRig::Failure::None) {
            say(QStringLiteral("%1 released").arg(link.name()));
            break;
        }
        if (result.failure == HamlibRig::Failure::Settings || Clock::now() >= giveUp) {
            say(QStringLiteral("cannot release the transmitter: %1").arg(result.text));
            return;
        }
        // A rig that does not answer was waited for (by hamlib, or for rigctld's answer).
        std::this_thread::sleep_for(
            std::chrono::milliseconds(result.failure == HamlibRig::Failure::NoAnswer ? 100 : 1000));
    }
    if (const auto check = link.checkDue()) {
        std::this_thread::sleep_until(*check);
        link.bring(false);
    }
    link.close();
}

} // namespace

int main(int argc, char *argv[])
{
    // The terminal's and the session's signals are the program's: it ends in order on them and
    // says goodbye. The guard stays until then.
    for (int signal : {SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGTSTP, SIGTTIN, SIGTTOU, SIGPIPE})
        std::signal(signal, SIG_IGN);
    const pid_t program = argc == 2 ? pid_t(std::atol(argv[1])) : 0;
    if (program <= 0) {
        std::fputs("usage: voicevocta-guard <process id> (started by voicevocta)\n", stderr);
        return 2;
    }

    Watch watched;
    const bool goodbye = watch(watched, program);
    if (goodbye && watched.port >= 0)
        ::close(watched.port); // the program's to close: its last close is its own
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
            releaseRig(*watched.rig);
    }
    if (sources.joinable())
        sources.join();
    return 0;
}
