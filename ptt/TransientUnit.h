// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

// Starts a command in a service unit of its own through the user's service manager (systemd
// --user, `org.freedesktop.systemd1` on the session bus: StartTransientUnit), so that it outlives
// the program's own group of processes: a logout, `systemctl --user kill`, an out-of-memory kill
// of the whole group. The unit goes once the command ends.
class TransientUnit : public QObject
{
    Q_OBJECT
public:
    // How the answer comes: an empty text when the unit started, else why not.
    using Done = std::function<void(const QString &failure)>;

    explicit TransientUnit(QObject *parent = nullptr);

    // Starts `command` (its program first) in a unit named `name` (".service" is added), on the
    // bus the event loop connects to once it runs (the session bus unless set). Returns at once;
    // `done` follows from the event loop. Without a bus, or without a service manager on it,
    // `done` says so.
    void start(const QString &name, const QString &description, const QStringList &command,
               Done done);
    // The bus to ask on (tests give a private one).
    void setBus(const QDBusConnection &bus)
    {
        m_bus = bus;
        m_busSet = true;
    }

private:
    void ask(const QString &name, const QString &description, const QStringList &command,
             const Done &done);

    QDBusConnection m_bus;
    bool m_busSet = false;
};
