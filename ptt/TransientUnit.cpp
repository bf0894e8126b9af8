// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/TransientUnit.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QTimer>

namespace {

const QString Service = QStringLiteral("org.freedesktop.systemd1");
const QString Path = QStringLiteral("/org/freedesktop/systemd1");
const QString Manager = QStringLiteral("org.freedesktop.systemd1.Manager");

// One command of a unit's ExecStart: (s path, as argv, b ignore failure).
struct ExecCommand
{
    QString path;
    QStringList arguments;
    bool ignoreFailure = false;
};

// One property of a unit: (s name, v value).
struct UnitProperty
{
    QString name;
    QDBusVariant value;
};

// A unit that comes with the one asked (none here): (s name, a(sv) properties).
struct AuxiliaryUnit
{
    QString name;
    QList<UnitProperty> properties;
};

QDBusArgument &operator<<(QDBusArgument &argument, const ExecCommand &command)
{
    argument.beginStructure();
    argument << command.path << command.arguments << command.ignoreFailure;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, ExecCommand &command)
{
    argument.beginStructure();
    argument >> command.path >> command.arguments >> command.ignoreFailure;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const UnitProperty &property)
{
    argument.beginStructure();
    argument << property.name << property.value;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, UnitProperty &property)
{
    argument.beginStructure();
    argument >> property.name >> property.value;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const AuxiliaryUnit &unit)
{
    argument.beginStructure();
    argument << unit.name << unit.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, AuxiliaryUnit &unit)
{
    argument.beginStructure();
    argument >> unit.name >> unit.properties;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(ExecCommand)
Q_DECLARE_METATYPE(UnitProperty)
Q_DECLARE_METATYPE(AuxiliaryUnit)

TransientUnit::TransientUnit(QObject *parent)
    : QObject(parent), m_bus(QStringLiteral("voicevocta-no-bus"))
{ }

void TransientUnit::start(const QString &name, const QString &description,
                          const QStringList &command, Done done)
{
    // From the event loop: connecting to the bus never holds what called.
    QTimer::singleShot(0, this, [=, this] { ask(name, description, command, done); });
}

void TransientUnit::ask(const QString &name, const QString &description, const QStringList &command,
                        const Done &done)
{
    if (!m_busSet) {
        m_bus = QDBusConnection::sessionBus();
        m_busSet = true;
    }
    if (!m_bus.isConnected()) {
        done(QStringLiteral("no session bus"));
        return;
    }
    if (!m_bus.interface()->isServiceRegistered(Service)) {
        done(QStringLiteral("no user service manager"));
        return;
    }
    qDBusRegisterMetaType<ExecCommand>();
    qDBusRegisterMetaType<QList<ExecCommand>>();
    qDBusRegisterMetaType<UnitProperty>();
    qDBusRegisterMetaType<QList<UnitProperty>>();
    qDBusRegisterMetaType<AuxiliaryUnit>();
    qDBusRegisterMetaType<QList<AuxiliaryUnit>>();

    const QList<ExecCommand> exec{{command.value(0), command, false}};
    const QList<UnitProperty> properties{
        {QStringLiteral("Description"), QDBusVariant(description)},
        {QStringLiteral("ExecStart"), QDBusVariant(QVariant::fromValue(exec))},
        // Gone once it ends, also after a failure.
        {QStringLiteral("CollectMode"), QDBusVariant(QStringLiteral("inactive-or-failed"))},
    };
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Manager,
                                                       QStringLiteral("StartTransientUnit"));
    call << name + QStringLiteral(".service") << QStringLiteral("fail")
         << QVariant::fromValue(properties) << QVariant::fromValue(QList<AuxiliaryUnit>{});
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, done] {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
        done(reply.isError() ? reply.error().message() : QString());
    });
}
