// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/FormTimer.h"

#include <QTimerEvent>

FormTimer::FormTimer(QObject *parent) : QObject(parent) { }

void FormTimer::setInterval(int milliseconds)
{
    m_interval = qMax(0, milliseconds);
    restart();
}

void FormTimer::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    restart();
}

void FormTimer::restart()
{
    if (isRunning())
        m_timer.start(m_interval, Qt::PreciseTimer, this);
    else
        m_timer.stop();
}

void FormTimer::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timer.timerId())
        return QObject::timerEvent(event);
    // A tick that was due when the timer was stopped is dropped here.
    if (isRunning())
        emit Timer();
}
