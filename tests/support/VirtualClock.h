// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/Clock.h"

#include <QtGlobal>
#include <optional>
#include <vector>

// The tests' clock: time stands until the test moves it on, and then every timer that falls due
// meanwhile ticks at its own time, in the order they fall due. Timers that the clock made must not
// outlive it.
class VirtualClock final : public Clock
{
public:
    std::unique_ptr<Timer> timer(std::function<void()> tick, bool repeating = false) override;

    // Milliseconds since the clock was made.
    qint64 now() const override { return m_now; }
    // Moves the time on by `milliseconds`, ticking what falls due on the way.
    void advance(qint64 milliseconds);
    // When the next tick falls due; none while no timer runs.
    std::optional<qint64> nextDue() const;
    // Moves the time to the next tick and lets it tick; false when no timer runs.
    bool tickNext();

private:
    class VirtualTimer;
    VirtualTimer *next(qint64 until) const;

    qint64 m_now = 0;
    quint64 m_starts = 0; // orders timers that fall due at the same time by their start
    std::vector<VirtualTimer *> m_timers;
};
