// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/TerminationSignals.h"

#include <QCoreApplication>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// The write end of the pipe from the signal handler to the UI thread. A signal handler can reach
// nothing but plain data, so this one value lives at file scope.
int signalPipe[2] = {-1, -1};

constexpr int Signals[] = {SIGTERM, SIGINT, SIGHUP};

void onSignal(int)
{
    const char byte = 1;
    // Nothing more may be done in a signal handler; a full pipe already holds the request.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[0], &byte, 1);
}
} // namespace

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0)
        return;

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int signal : Signals) {
        ::sigaction(signal, &action, nullptr);
        sigaddset(&blocked, signal);
    }
    // A signal that is pending already (sent before the handler was there, to a program started
    // with it blocked) arrives now, and is noted like any other.
    ::pthread_sigmask(SIG_UNBLOCK, &blocked, nullptr);
}

void TerminationSignals::listen()
{
    if (m_notifier || signalPipe[1] < 0 || !QCoreApplication::instance())
        return;
    m_notifier
        = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        while (::read(signalPipe[1], buffer, sizeof buffer) > 0) { }
        emit terminationRequested();
    });
}

TerminationSignals::~TerminationSignals()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signal : Signals)
        ::sigaction(signal, &action, nullptr);
    delete m_notifier;
    for (int &fd : signalPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}
