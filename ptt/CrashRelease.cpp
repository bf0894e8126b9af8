// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/CrashRelease.h"

#include "station/Log.h"

#include <atomic>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// What the handler reads. A signal handler can reach nothing but plain data, so these values
// live at file scope, one of each per slot: a descriptor of the open port (-1: none), and the
// modem-control bits to raise (low half) and to lower (high half) on it, in one value, so that
// the handler never sees half of a change.
std::atomic<int> portDescriptor[CrashRelease::MaxPorts] = {-1, -1};
std::atomic<unsigned> lineBits[CrashRelease::MaxPorts] = {0, 0};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<unsigned>::is_always_lock_free,
              "the handler may only read lock-free atomics");

// A stack of its own for the handler, so that it also runs when the fault is a stack overflow.
alignas(16) char handlerStack[64 * 1024];
bool handlerStackInstalled = false;

unsigned packLevels(const SerialLines::ReceiveLevels &levels)
{
    unsigned raised = 0;
    unsigned lowered = 0;
    if (levels.rts)
        (*levels.rts ? raised : lowered) |= TIOCM_RTS;
    if (levels.dtr)
        (*levels.dtr ? raised : lowered) |= TIOCM_DTR;
    return raised | lowered << 16;
}

bool validSlot(int slot)
{
    return slot >= 0 && slot < CrashRelease::MaxPorts;
}

void onFatalSignal(int signal)
{
    for (int slot = 0; slot < CrashRelease::MaxPorts; ++slot) {
        const int port = portDescriptor[slot].load();
        if (port < 0)
            continue;
        const unsigned bits = lineBits[slot].load();
        int raised = int(bits & 0xFFFF);
        int lowered = int(bits >> 16);
        if (raised)
            ::ioctl(port, TIOCMBIS, &raised);
        if (lowered)
            ::ioctl(port, TIOCMBIC, &lowered);
    }
    // The lines are safe: the signal now does what it would have done, ending the program with
    // a core dump. It is blocked while this handler runs and arrives as soon as it returns (a
    // fault of the program's own code would come again anyway when its instruction is retried).
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    ::raise(signal);
}

} // namespace

CrashRelease::CrashRelease()
{
    stack_t current = {};
    if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE)) {
        stack_t stack = {};
        stack.ss_sp = handlerStack;
        stack.ss_size = sizeof handlerStack;
        handlerStackInstalled = ::sigaltstack(&stack, nullptr) == 0;
    }
    struct sigaction action = {};
    action.sa_handler = onFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_ONSTACK;
    for (int signal : handledSignals)
        ::sigaction(signal, &action, nullptr);
}

CrashRelease::~CrashRelease()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signal : handledSignals)
        ::sigaction(signal, &action, nullptr);
    if (handlerStackInstalled) {
        stack_t stack = {};
        stack.ss_flags = SS_DISABLE;
        ::sigaltstack(&stack, nullptr);
        handlerStackInstalled = false;
    }
    for (int slot = 0; slot < MaxPorts; ++slot)
        removePort(slot);
}

int CrashRelease::addPort()
{
    for (int slot = 0; slot < MaxPorts; ++slot) {
        if (!m_taken[slot]) {
            m_taken[slot] = true;
            qCDebug(lcPtt) << "crash release: port slot" << slot;
            return slot;
        }
    }
    qCWarning(lcPtt).noquote() << QStringLiteral(
        "a third serial port is not released should the program die of a fault");
    return -1;
}

void CrashRelease::removePort(int slot)
{
    if (!validSlot(slot))
        return;
    forget(slot);
    lineBits[slot].store(0);
    m_taken[slot] = false;
}

void CrashRelease::watch(int slot, int port)
{
    forget(slot);
    if (validSlot(slot) && port >= 0)
        portDescriptor[slot].store(::fcntl(port, F_DUPFD_CLOEXEC, 0));
}

void CrashRelease::setReceiveLevels(int slot, const SerialLines::ReceiveLevels &levels)
{
    if (validSlot(slot))
        lineBits[slot].store(packLevels(levels));
}

void CrashRelease::forget(int slot)
{
    if (!validSlot(slot))
        return;
    const int port = portDescriptor[slot].exchange(-1);
    if (port >= 0)
        ::close(port);
}
