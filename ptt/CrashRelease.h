// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/SerialLines.h"

#include <csignal>

// The transmitters released when the program dies of a fault. On SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGABRT or SIGQUIT each line that keys a transmitter is put at its receive level on each open
// port watched (one per radio, at most MaxPorts); then the signal takes its default course, so
// that the program ends as it would have, with its core dump.
//
// The handler makes async-signal-safe calls only, on descriptors of the ports kept for it in
// fixed slots, and reads nothing but plain process-wide data. One instance per process: it
// installs the handlers and, when it goes, gives the signals back their default actions. Each
// port layer that registers gets a slot of its own.
class CrashRelease
{
public:
    CrashRelease();
    ~CrashRelease();
    CrashRelease(const CrashRelease &) = delete;
    CrashRelease &operator=(const CrashRelease &) = delete;

    static constexpr int MaxPorts = 2;
    // A slot for one port layer's port (0 .. MaxPorts - 1); -1 when every slot is taken (said on
    // standard error: that port is not released on a fault).
    int addPort();
    // The slot is free again (its port forgotten).
    void removePort(int slot);

    // The port of `slot` that was just opened (a descriptor of it, duplicated for the handler).
    void watch(int slot, int portDescriptor);
    // The lines of `slot`'s port to put at their receive levels, and those levels.
    void setReceiveLevels(int slot, const SerialLines::ReceiveLevels &levels);
    // The port of `slot` is about to be released: a fault no longer touches it.
    void forget(int slot);

    // The signals that are handled.
    static constexpr int handledSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGQUIT};

private:
    bool m_taken[MaxPorts] = {};
};
