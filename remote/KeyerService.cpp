// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/KeyerService.h"

#include "remote/KeyerAdaptor.h"
#include "station/Log.h"

#include <QDBusConnectionInterface>

namespace {
const QString Bus = QStringLiteral("org.freedesktop.DBus");
const QString BusPath = QStringLiteral("/org/freedesktop/DBus");
} // namespace

KeyerService::KeyerService(StationRemote &station, QObject *parent)
    : QObject(parent), m_adaptor(new KeyerAdaptor(this, station))
{ }

KeyerService::~KeyerService()
{
    stop();
}

bool KeyerService::start(const QDBusConnection &bus)
{
    stop();
    if (!bus.isConnected() || !bus.interface())
        return false; // no session bus: the program runs without one, silently
    QDBusConnection connection = bus;
    const QString path = QString::fromLatin1(ObjectPath);
    const QString name = QString::fromLatin1(ServiceName);
    // The object first, so that a call that arrives as soon as the name is ours finds it.
    if (!connection.registerObject(path, this, QDBusConnection::ExportAdaptors)) {
        qCWarning(lcRemote).noquote()
            << QStringLiteral("the object %1 is taken on the session bus: the keyer interface "
                              "is off")
                   .arg(path);
        return false;
    }
    // The bus says when a name waited for becomes ours; listening before asking for it.
    connection.connect(Bus, BusPath, Bus, QStringLiteral("NameAcquired"), this,
                       SLOT(nameAcquired(QString)));
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply
        = connection.interface()->registerService(name, QDBusConnectionInterface::QueueService,
                                                  QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() == QDBusConnectionInterface::ServiceNotRegistered) {
        connection.disconnect(Bus, BusPath, Bus, QStringLiteral("NameAcquired"), this,
                              SLOT(nameAcquired(QString)));
        connection.unregisterObject(path);
        qCWarning(lcRemote).noquote()
            << QStringLiteral("%1 cannot be had on the session bus (%2): this copy runs without "
                              "its keyer interface")
                   .arg(name, reply.error().message());
        return false;
    }
    m_bus = connection;
    if (reply.value() == QDBusConnectionInterface::ServiceQueued) {
        qCWarning(lcRemote).noquote()
            << QStringLiteral("%1 is held by another program on the session bus (another Voice "
                              "Vocta?): this copy takes over its keyer interface when that one "
                              "ends")
                   .arg(name);
        return false;
    }
    nameAcquired(name);
    return true;
}

void KeyerService::nameAcquired(const QString &name)
{
    if (!m_bus || m_running || name != QLatin1String(ServiceName))
        return;
    m_running = true;
    m_adaptor->setBus(*m_bus, QString::fromLatin1(ObjectPath));
    emit running();
}

void KeyerService::stop()
{
    if (!m_bus)
        return;
    m_adaptor->clearBus();
    m_bus->disconnect(Bus, BusPath, Bus, QStringLiteral("NameAcquired"), this,
                      SLOT(nameAcquired(QString)));
    // Gives the name up, or leaves the queue for it.
    m_bus->interface()->unregisterService(QString::fromLatin1(ServiceName));
    m_bus->unregisterObject(QString::fromLatin1(ObjectPath));
    m_bus.reset();
    m_running = false;
}
