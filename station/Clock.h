// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

#include <functional>
#include <memory>

// The station's timers, made by a clock: the program's runs on the event loop, the tests' on a
// time of their own that they move on by hand.
//
// A timer ticks once `milliseconds` after start() (a repeating one every `milliseconds` until it
// is stopped). Starting it again counts afresh. Once it is stopped no tick arrives, not even one
// that was already due. Ticks come on the UI thread, between other events, never inside start().
class Timer
{
public:
    virtual ~Timer() = default;
    virtual void start(int milliseconds) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
    // The milliseconds of the last start().
    virtual int interval() const = 0;
    // A repeating timer lets its next `ticks` ticks pass without a call: the tick after them
    // comes at its own time, as if they had come. Said in a tick, for the ticks after it;
    // start() and stop() forget it.
    virtual void skip(int ticks) = 0;
};

class Clock
{
public:
    virtual ~Clock() = default;
    // A stopped timer that calls `tick` when it ticks.
    virtual std::unique_ptr<Timer> timer(std::function<void()> tick, bool repeating = false) = 0;
    // The time now, in milliseconds from a start of the clock's own.
    virtual qint64 now() const = 0;
};

// The event loop's clock (precise timers).
class SystemClock final : public Clock
{
public:
    SystemClock() { m_started.start(); }
    std::unique_ptr<Timer> timer(std::function<void()> tick, bool repeating = false) override;
    qint64 now() const override { return m_started.elapsed(); }

private:
    QElapsedTimer m_started;
};
