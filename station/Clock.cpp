// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/Clock.h"

#include <QBasicTimer>
#include <QObject>
#include <QTimerEvent>

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
        m_timer.start(m_interval, Qt::PreciseTimer, this);
    }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }
    int interval() const override { return m_interval; }

protected:
    void timerEvent(QTimerEvent *event) override
    {
        if (event->timerId() != m_timer.timerId() || !m_timer.isActive())
            return QObject::timerEvent(event);
        if (!m_repeating)
            m_timer.stop();
        m_tick();
    }

private:
    std::function<void()> m_tick;
    bool m_repeating;
    int m_interval = 0;
    QBasicTimer m_timer;
};

} // namespace

std::unique_ptr<Timer> SystemClock::timer(std::function<void()> tick, bool repeating)
{
    return std::make_unique<EventLoopTimer>(std::move(tick), repeating);
}
