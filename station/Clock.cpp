// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/Clock.h"

#include <QBasicTimer>
#include <QObject>
#include <QTimerEvent>

#include <chrono>

namespace {

class EventLoopTimer final : public QObject, public Timer
{
public:
    EventLoopTimer(std::function<void()> tick, bool repeating)
        : m_tick(std::move(tick)), m_repeating(repeating)
    { }

    void start(int milliseconds) override
    {
        m_interval = qMax(0, milliseconds);
        m_next = Steady::now() + std::chrono::milliseconds(m_interval);
        m_skip = 0;
        m_steered = false;
        ++m_starts;
        m_timer.start(m_interval, Qt::PreciseTimer, this);
    }
    void stop() override
    {
        m_timer.stop();
        ++m_starts;
    }
    bool isActive() const override { return m_timer.isActive(); }
    int interval() const override { return m_interval; }
    void skip(int ticks) override { m_skip = qMax(0, ticks); }

protected:
    void timerEvent(QTimerEvent *event) override
    {
        if (event->timerId() != m_timer.timerId() || !m_timer.isActive())
            return QObject::timerEvent(event);
        if (!m_repeating) {
            m_timer.stop();
            m_tick();
            return;
        }
        // The next tick counts from this one's time, as the event loop's repeating timer does; one
        // that came later than a whole interval counts from now.
        const Steady::time_point now = Steady::now();
        const std::chrono::milliseconds interval(qMax(1, m_interval));
        m_next += interval;
        if (m_next < now)
            m_next = now + interval;
        const quint64 starts = m_starts;
        m_tick();
        if (m_starts != starts)
            return; // started afresh or stopped
        if (m_skip > 0) {
            m_next += interval * m_skip;
            m_skip = 0;
            m_steered = true;
        }
        // Once ticks were let pass, each tick sets the time to the next from the due times.
        if (m_steered) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(m_next - Steady::now());
            m_timer.start(int(qMax<qint64>(0, wait.count())), Qt::PreciseTimer, this);
        }
    }

private:
    using Steady = std::chrono::steady_clock;

    std::function<void()> m_tick;
    bool m_repeating;
    int m_interval = 0;
    int m_skip = 0;
    bool m_steered = false;
    quint64 m_starts = 0;
    Steady::time_point m_next;
    QBasicTimer m_timer;
};

} // namespace

std::unique_ptr<Timer> SystemClock::timer(std::function<void()> tick, bool repeating)
{
    return std::make_unique<EventLoopTimer>(std::move(tick), repeating);
}
