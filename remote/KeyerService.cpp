// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/KeyerService.h"

#include "remote/KeyerAdaptor.h"
#include "station/Log.h"

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
    if (!bus.isConnected())
        return false; // no session bus: the program runs without one, silently
    QDBusConnection connection = bus;
    const QString path = QString::fromLatin1(ObjectPath);
    const QString name = QString::fromLatin1(ServiceName);
    // The object first, so that a call that arrives as soon as the name is ours finds it.
    if (!connection.registerObject(path, this, QDBusConnection::ExportAdaptors)) {
        qCWarning(lcVocta).noquote()
            << QStringLiteral("the object %1 is taken on the session bus: the keyer interface "
                              "is off")
                   .arg(path);
        return false;
    }
    if (!connection.registerService(name)) {
        connection.unregisterObject(path);
        qCWarning(lcVocta).noquote()
            << QStringLiteral("%1 is held by another program on the session bus (another Voice "
                              "Vocta?): this one runs without its keyer interface")
                   .arg(name);
        return false;
    }
    m_adaptor->setBus(connection, path);
    m_bus = connection;
    return true;
}

void KeyerService::stop()
{
    if (!m_bus)
        return;
    m_adaptor->clearBus();
    m_bus->unregisterService(QString::fromLatin1(ServiceName));
    m_bus->unregisterObject(QString::fromLatin1(ObjectPath));
    m_bus.reset();
}
