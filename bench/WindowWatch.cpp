// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/WindowWatch.h"

#include <QDeadlineTimer>

#include <cstdlib>
#include <poll.h>
#include <xcb/xcb.h>

PrivateXServer::~PrivateXServer()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool PrivateXServer::start(QString *error)
{
    // Xvfb writes the display's number it chose on descriptor 1 once it takes connections.
    m_process.start(QStringLiteral("Xvfb"),
                    {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                     QStringLiteral("0"), QStringLiteral("1280x1024x24"),
                     QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!m_process.waitForStarted(10000)) {
        *error = QStringLiteral("Xvfb does not start: ") + m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(15000);
    while (!m_process.canReadLine() && !deadline.hasExpired())
        m_process.waitForReadyRead(int(deadline.remainingTime()));
    const QByteArray number = m_process.readLine().trimmed();
    if (number.isEmpty()) {
        *error = QStringLiteral("Xvfb gave no display");
        return false;
    }
    m_display = QLatin1Char(':') + QString::fromLatin1(number);
    return true;
}

WindowWatch::WindowWatch(const QString &display)
{
    xcb_connection_t *connection = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    m_connection = connection;
    // Every window mapped on the root window is told to whoever selects its substructure.
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_request_check(m_connection, xcb_change_window_attributes_checked(m_connection, root,
                                                                         XCB_CW_EVENT_MASK, &mask));
}

WindowWatch::~WindowWatch()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

void WindowWatch::clear()
{
    if (!m_connection)
        return;
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection))
        std::free(event);
}

std::optional<WindowWatch::Clock::time_point> WindowWatch::waitForMap(int timeoutMs)
{
    if (!m_connection)
        return std::nullopt;
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
            const Clock::time_point now = Clock::now();
            bool mapped = false;
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY)
                mapped = !reinterpret_cast<xcb_map_notify_event_t *>(event)->override_redirect;
            std::free(event);
            if (mapped)
                return now;
        }
        if (xcb_connection_has_error(m_connection) || deadline.hasExpired())
            return std::nullopt;
        pollfd ready = {xcb_get_file_descriptor(m_connection), POLLIN, 0};
        ::poll(&ready, 1, int(deadline.remainingTime()));
    }
}
