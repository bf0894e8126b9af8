// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/VirtualClock.h"

#include <algorithm>
#include <limits>

class VirtualClock::VirtualTimer final : public Timer
{
public:
    VirtualTimer(VirtualClock &clock, std::function<void()> tick, bool repeating)
        : m_clock(clock), m_tick(std::move(tick)), m_repeating(repeating)
    {
        m_clock.m_timers.push_back(this);
    }
    ~VirtualTimer() override { std::erase(m_clock.m_timers, this); }

    void start(int milliseconds) override
    {
        m_interval = std::max(0, milliseconds);
        m_due = m_clock.m_now + m_interval;
        m_start = ++m_clock.m_starts;
        m_active = true;
    }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }
    int interval() const override { return m_interval; }
    void skip(int ticks) override { m_skip = std::max(0, ticks); }

    qint64 due() const { return m_due; }
    quint64 startOrder() const { return m_start; }

    void fire()
    {
        if (m_repeating) {
            // The next tick counts from this one's time and the ticks it lets pass, unless the
            // tick starts it afresh.
            m_due += std::max(1, m_interval);
            m_start = ++m_clock.m_starts;
        } else {
            m_active = false;
        }
        const quint64 start = m_start;
        m_skip = 0;
        m_tick();
        if (m_repeating && m_start == start)
            m_due += qint64(std::max(1, m_interval)) * std::exchange(m_skip, 0);
    }

private:
    VirtualClock &m_clock;
    std::function<void()> m_tick;
    bool m_repeating;
    bool m_active = false;
    int m_interval = 0;
    int m_skip = 0;
    qint64 m_due = 0;
    quint64 m_start = 0;
};

std::unique_ptr<Timer> VirtualClock::timer(std::function<void()> tick, bool repeating)
{
    return std::make_unique<VirtualTimer>(*this, std::move(tick), repeating);
}

VirtualClock::VirtualTimer *VirtualClock::next(qint64 until) const
{
    VirtualTimer *first = nullptr;
    for (VirtualTimer *timer : m_timers) {
        if (!timer->isActive() || timer->due() > until)
            continue;
        if (!first || timer->due() < first->due()
            || (timer->due() == first->due() && timer->startOrder() < first->startOrder()))
            first = timer;
    }
    return first;
}

void VirtualClock::advance(qint64 milliseconds)
{
    const qint64 until = m_now + std::max<qint64>(0, milliseconds);
    while (VirtualTimer *timer = next(until)) {
        m_now = std::max(m_now, timer->due());
        timer->fire();
    }
    m_now = until;
}

std::optional<qint64> VirtualClock::nextDue() const
{
    if (const VirtualTimer *timer = next(std::numeric_limits<qint64>::max()))
        return timer->due();
    return std::nullopt;
}

bool VirtualClock::tickNext()
{
    VirtualTimer *timer = next(std::numeric_limits<qint64>::max());
    if (!timer)
        return false;
    m_now = std::max(m_now, timer->due());
    timer->fire();
    return true;
}
