// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QBasicTimer>
#include <QObject>

// A window timer with an interval and an enabled flag, both as the handlers set them: it ticks
// every interval milliseconds while it is enabled and its interval is not 0. An interval of 0
// never ticks. Changing the interval, or enabling it, starts the count afresh. Once it is
// disabled (or its interval set to 0) no tick arrives, not even one that was already due.
class FormTimer : public QObject
{
    Q_OBJECT
public:
    explicit FormTimer(QObject *parent = nullptr);

    void setInterval(int milliseconds);
    int interval() const { return m_interval; }

    void setEnabled(bool enabled);
    bool isEnabled() const { return m_enabled; }

    // Enabled with an interval: a tick will come.
    bool isRunning() const { return m_enabled && m_interval > 0; }

signals:
    void Timer();

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void restart();

    QBasicTimer m_timer;
    int m_interval = 0;
    bool m_enabled = true;
};
