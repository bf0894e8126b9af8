// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

// A session bus of its own, private to a test (or a benchmark) and ended with it: dbus-run-session
// runs a shell that prints the bus's address and then waits on its standard input. Closing that
// input (stop(), or this process ending in any way) ends the shell, and dbus-run-session then
// ends the bus.
class PrivateBus
{
public:
    PrivateBus() = default;
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;
    ~PrivateBus() { stop(); }

    // Starts the bus; false, with errorString(), when it cannot (dbus-run-session missing).
    bool start()
    {
        m_process.setProgram(QStringLiteral("dbus-run-session"));
        m_process.setArguments({QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                                QStringLiteral("echo \"$DBUS_SESSION_BUS_ADDRESS\"; exec cat "
                                               ">/dev/null")});
        // The daemon's own remarks (it cannot raise its file limit when not root ...).
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start();
        if (!m_process.waitForStarted(10000)) {
            m_error
                = QStringLiteral("dbus-run-session cannot be started: ") + m_process.errorString();
            return false;
        }
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(10000)) {
                m_error = QStringLiteral("dbus-run-session gave no bus address");
                stop();
                return false;
            }
        }
        m_address = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        if (m_address.isEmpty()) {
            m_error = QStringLiteral("dbus-run-session gave an empty bus address");
            stop();
            return false;
        }
        return true;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    QString address() const { return m_address; }
    QString errorString() const { return m_error; }
    qint64 processId() const { return m_process.processId(); }

    // This process's environment with the bus as the session bus: for the clients it starts.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
        return env;
    }

private:
    QProcess m_process;
    QString m_address;
    QString m_error;
};
