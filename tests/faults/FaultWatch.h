// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class StationFixture;

// What every fault test checks around the fault: the window kept answering, the transmitter is
// where it belongs, the settings on disk are as they were.
namespace FaultWatch {

// The longest the UI thread may be held while a fault is handled. A sanitizer build is slow; a
// hung or blocking handler takes far longer than this.
constexpr int ResponsiveMs = 400;

// The UI thread's own clock, in milliseconds: the time that passed, less the time the thread
// waited for a processor while it could have run (Linux's per-thread scheduler statistics). A
// machine busy with other work does not advance it; a handler that works or waits on something
// (a file, a device, a rig) does. Where the system does not tell, it is the plain elapsed time.
class OwnClock
{
public:
    OwnClock() { start(); }
    void start();
    qint64 elapsed() const;

private:
    QElapsedTimer m_wall;
    qint64 m_waitedAtStart = 0;
};

// Watches the UI thread: a timer that asks for a tick every few milliseconds, and the longest
// time between two ticks (up to now) on the thread's own clock. A handler that holds the UI
// thread shows as a long gap; a busy machine does not.
class UiWatch : public QObject
{
    Q_OBJECT
public:
    UiWatch();

    // Milliseconds; the time since the last tick counts as a gap too.
    qint64 longestGap() const;
    void restart();

private:
    void tick();

    QTimer m_timer;
    OwnClock m_clock;
    qint64 m_lastTick = 0;
    qint64 m_longest = 0;
};

// The event loop turns: a zero timer posted now arrives within `boundMs` of the UI thread's own
// clock (however long a busy machine keeps it waiting for a processor).
bool eventLoopAnswers(int boundMs = ResponsiveMs);

// The station's transmitter on the wire: RTS keys it (positive), on port 1, opened through the
// COM dialog's "OK" as the operator would.
void keyThroughRts(StationFixture &f);
// Whether the transmitter is keyed: the RTS level on the wire.
bool keyed(const StationFixture &f);

// The operator gives memory `index` a file through the right button and the file dialog; the
// choice is saved at once.
void chooseFile(StationFixture &f, int index, const QString &path);

// The bytes of a file, or a null array when it cannot be read as a file.
QByteArray fileBytes(const QString &path);

} // namespace FaultWatch
