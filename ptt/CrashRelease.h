// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/SerialLines.h"

#include <csignal>

// The transmitter released when the program dies of a fault. On SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGABRT or SIGQUIT each line that keys the transmitter is put at its receive level on the open
// port; then the signal takes its default course, so that the program ends as it would have,
// with its core dump.
//
// The handler makes async-signal-safe calls only, on a descriptor of the port kept for it, and
// reads nothing but plain process-wide data. One instance per process: it installs the handlers
// and, when it goes, gives the signals back their default actions.
class CrashRelease
{
public:
    CrashRelease();
    ~CrashRelease();
    CrashRelease(const CrashRelease &) = delete;
    CrashRelease &operator=(const CrashRelease &) = delete;

    // The port that was just opened (a descriptor of it, which is duplicated for the handler).
    void watch(int portDescriptor);
    // The lines to put at their receive levels, and those levels.
    void setReceiveLevels(const SerialLines::ReceiveLevels &levels);
    // The port is about to be released: a fault no longer touches it.
    void forget();

    // The signals that are handled.
    static constexpr int handledSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGQUIT};
};
