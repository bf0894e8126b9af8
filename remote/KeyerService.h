// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "remote/KeyerBus.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <optional>

class KeyerAdaptor;
class StationRemote;

// The station's service on the session bus: the name org.voicevocta.Keyer, the object /Keyer
// with the interface org.voicevocta.Keyer1 (KeyerAdaptor). One copy of the program holds the
// name; another one waits in the bus's queue for it, says so once, and takes it (and with it the
// loggers' calls) when the first one ends. The bus says through its QDBusContext which call it
// delivers to the interface.
class KeyerService : public QObject, public QDBusContext
{
    Q_OBJECT
public:
    static constexpr const char *ServiceName = KeyerBus::Service;
    static constexpr const char *ObjectPath = KeyerBus::Path;

    explicit KeyerService(StationRemote &station, QObject *parent = nullptr);
    ~KeyerService() override;

    // Offers the interface on `bus`. True when it holds the name now. False when it cannot:
    // silently when there is no bus; with one line on standard error when another program holds
    // the name (then it waits for it: isWaiting(), and running() once it has it).
    bool start(const QDBusConnection &bus);
    // Takes the interface off the bus again, and leaves the queue.
    void stop();
    bool isRunning() const { return m_running; }
    bool isWaiting() const { return m_bus.has_value() && !m_running; }

    // The interface itself: its slots can be called in-process, with or without a bus.
    KeyerAdaptor &adaptor() { return *m_adaptor; }

signals:
    // The name became this copy's after waiting for it.
    void running();

private slots:
    void nameAcquired(const QString &name);

private:
    KeyerAdaptor *m_adaptor;
    std::optional<QDBusConnection> m_bus; // while it holds the name or waits for it
    bool m_running = false;
};
