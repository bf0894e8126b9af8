// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <optional>

class KeyerAdaptor;
class StationRemote;

// The station's service on the session bus: the name org.voicevocta.Keyer, the object /Keyer
// with the interface org.voicevocta.Keyer1 (KeyerAdaptor). One copy of the program holds the
// name; another one runs without the interface, and says so once.
class KeyerService : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *ServiceName = "org.voicevocta.Keyer";
    static constexpr const char *ObjectPath = "/Keyer";

    explicit KeyerService(StationRemote &station, QObject *parent = nullptr);
    ~KeyerService() override;

    // Offers the interface on `bus`. False when it cannot: silently when there is no bus, with
    // one line on standard error when another program holds the name.
    bool start(const QDBusConnection &bus);
    // Takes the interface off the bus again.
    void stop();
    bool isRunning() const { return m_bus.has_value(); }

    // The interface itself: its slots can be called in-process, with or without a bus.
    KeyerAdaptor &adaptor() { return *m_adaptor; }

private:
    KeyerAdaptor *m_adaptor;
    std::optional<QDBusConnection> m_bus;
};
