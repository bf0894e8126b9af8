// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <csignal>
#include <cstdlib>
#include <string>

#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

// Xvfb with a display of its own, started before the application connects to it and ended by its
// PID (or with this process). Keys held repeat after 250 ms, every 30 ms, as an operator's
// keyboard does. Once it runs, DISPLAY names it and Qt is told to use it.
class XServer
{
public:
    XServer()
    {
        int ready[2];
        if (::pipe(ready) != 0)
            return;
        const pid_t parent = ::getpid();
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent)
                ::_exit(1);
            ::close(ready[0]);
            const std::string fd = std::to_string(ready[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "800x600x24",
                     "-nolisten", "tcp", "-ardelay", "250", "-arinterval", "30", nullptr);
            ::_exit(127);
        }
        ::close(ready[1]);
        // The number and a line break, written when the server is ready (not always at once).
        QByteArray number;
        pollfd wait{ready[0], POLLIN, 0};
        char byte = 0;
        while (m_pid > 0 && !number.endsWith('\n') && number.size() < 16
               && ::poll(&wait, 1, 30000) == 1 && ::read(ready[0], &byte, 1) == 1)
            number += byte;
        ::close(ready[0]);
        if (number.endsWith('\n'))
            m_display = ':' + number.trimmed();
        if (m_display.size() > 1) {
            ::setenv("DISPLAY", m_display.constData(), 1);
            ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        }
    }
    ~XServer()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;

    bool running() const { return m_display.size() > 1; }

private:
    pid_t m_pid = -1;
    QByteArray m_display;
};
