// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class StationFixture;

// What every fault test checks around the fault: the window kept answering, the transmitter is
// where it belongs, the settings on disk are as they were.
namespace FaultWatch {

// The longest the UI thread may be held while a fault is handled. A loaded two-core machine
// running a sanitizer build is slow; a hung or blocking handler takes far longer than this.
constexpr int ResponsiveMs = 400;

// Watches the UI thread: a timer that asks for a tick every few milliseconds, and the longest
// time between two ticks (up to now). A handler that holds the UI thread shows as a long gap.
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
    QElapsedTimer m_clock;
    qint64 m_lastTick = 0;
    qint64 m_longest = 0;
};

// The event loop turns: a zero timer posted now arrives within `boundMs`.
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
