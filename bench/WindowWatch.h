// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

#include <chrono>
#include <optional>

struct xcb_connection_t;

// An X server of the benchmark's own (Xvfb, no window manager), started and ended by its PID.
class PrivateXServer
{
public:
    PrivateXServer() = default;
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer &) = delete;
    PrivateXServer &operator=(const PrivateXServer &) = delete;

    // False, with `error`, where Xvfb cannot start.
    bool start(QString *error);
    // ":N", for DISPLAY.
    QString display() const { return m_display; }

private:
    QProcess m_process;
    QString m_display;
};

// Watches an X server for windows being mapped: the moment a program's window appears, as seen
// from outside the program.
class WindowWatch
{
public:
    using Clock = std::chrono::steady_clock;

    explicit WindowWatch(const QString &display);
    ~WindowWatch();
    WindowWatch(const WindowWatch &) = delete;
    WindowWatch &operator=(const WindowWatch &) = delete;

    bool isConnected() const { return m_connection != nullptr; }
    // Forgets the windows mapped so far.
    void clear();
    // Waits up to `timeoutMs` for a top-level window (not a menu or a tooltip) to be mapped; when
    // the server said so, or none.
    std::optional<Clock::time_point> waitForMap(int timeoutMs);

private:
    xcb_connection_t *m_connection = nullptr;
};
