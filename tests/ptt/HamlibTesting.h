// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/faults/FaultWatch.h"
#include "tests/support/Rigctld.h"

#include "ptt/HamlibKeyer.h"

#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <thread>

// What the tests of keying through hamlib share. Include it in one file per test program.

// hamlib 4.5 keeps what it reads from rigctld at each opening in the rig model's shared
// description, and drops what the opening before kept there: a few hundred bytes per opening,
// its own, which the leak checker of the sanitizer build is told about.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libhamlib.so\n";
}

namespace HamlibTesting {

// The longest the UI thread may be held while the rig hangs: a keyer that waited for the rig
// would hold it for a second or more. What the keyer itself takes is a few microseconds (see the
// benchmark); the rest is a loaded machine running a sanitizer build.
constexpr int StallBoundMs = FaultWatch::ResponsiveMs;
// How long a rig may take to open, answer, or be found dead, on a loaded machine.
constexpr int WaitMs = 8000;

// CAT through rigctld at `address`.
inline HamlibSettings cat(const QString &address)
{
    HamlibSettings settings;
    settings.rigPort = address;
    return settings;
}

// Whether the latest confirmation says `onAir`.
inline bool lastConfirmed(const QSignalSpy &confirmed, bool onAir)
{
    return !confirmed.isEmpty() && confirmed.last().at(0).toBool() == onAir;
}

// Opens `keyer` on `rigctld` and waits until it is ready and released.
inline bool openOn(HamlibKeyer &keyer, const Rigctld &rigctld)
{
    QSignalSpy confirmed(&keyer, &PttKeyer::confirmed);
    keyer.setSettings(cat(rigctld.address()));
    keyer.open();
    return QTest::qWaitFor([&] { return keyer.isReady() && lastConfirmed(confirmed, false); },
                           WaitMs);
}

// Reads the dummy rig's PTT over a connection of its own, as often as rigctld answers, while it
// lives: whether it was ever seen released.
class PttWatch
{
public:
    explicit PttWatch(quint16 port)
        : m_thread([this, port] {
            int fd = -1;
            while (!m_stop) {
                if (fd < 0)
                    fd = LocalSocket::connectTo(port);
                char answer[32] = {};
                if (fd < 0 || ::send(fd, "t\n", 2, MSG_NOSIGNAL) != 2
                    || ::recv(fd, answer, sizeof answer - 1, 0) <= 0) {
                    if (fd >= 0)
                        ::close(fd); // rigctld 4.5 may close it by mistake: made again
                    fd = -1;
                    continue;
                }
                ++m_reads;
                if (answer[0] == '0')
                    m_released = true;
            }
            if (fd >= 0)
                ::close(fd);
        })
    { }
    ~PttWatch() { stop(); }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    int reads() const { return m_reads; }
    bool seenReleased() const { return m_released; }

private:
    std::atomic<bool> m_stop = false;
    std::atomic<bool> m_released = false;
    std::atomic<int> m_reads = 0;
    std::thread m_thread;
};

} // namespace HamlibTesting

// Starts `rigctld`, or skips the test where it cannot start.
#define START_OR_SKIP(rigctld) \
    if (Rigctld::program().isEmpty()) \
        QSKIP("rigctld is not installed (Debian package libhamlib-utils)"); \
    if (!(rigctld).start()) \
        QSKIP(qPrintable("rigctld cannot start: " + (rigctld).error()));

// A keyer opened on `rigctld`, ready and released.
#define OPEN_ON(keyer, rigctld) \
    QVERIFY2(HamlibTesting::openOn(keyer, rigctld), qPrintable((keyer).statusText()))
