// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/SerialDevices.h"

#include <QDir>
#include <algorithm>
#include <array>

namespace SerialDevices {

namespace {

// The groups in port order: USB adapters first, as they come and go; the built-in ports last.
constexpr std::array<const char *, 3> groups{"ttyUSB", "ttyACM", "ttyS"};

// The number after `prefix` in `name`, or -1 if the rest is not a plain number.
int numberAfter(const QString &name, const QString &prefix)
{
    if (!name.startsWith(prefix) || name.size() == prefix.size())
        return -1;
    bool ok = false;
    const QStringView rest = QStringView(name).mid(prefix.size());
    if (!std::all_of(rest.begin(), rest.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return -1;
    const int number = rest.toInt(&ok);
    return ok ? number : -1;
}

} // namespace

QStringList order(const QStringList &entries)
{
    QStringList devices;
    for (const char *group : groups) {
        const QString prefix = QLatin1String(group);
        QList<std::pair<int, QString>> numbered;
        for (const QString &entry : entries) {
            const int number = numberAfter(entry, prefix);
            if (number >= 0)
                numbered.append({number, entry});
        }
        // By number, and names that spell the same number ("ttyS01", "ttyS1") by name.
        std::sort(numbered.begin(), numbered.end());
        for (const auto &[number, entry] : std::as_const(numbered))
            devices.append(QLatin1String("/dev/") + entry);
    }
    return devices;
}

QStringList present()
{
    const QDir dev(QStringLiteral("/dev"));
    return order(dev.entryList(
        {QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*"), QStringLiteral("ttyS*")},
        // Every device counts, also one this user may not open: the numbers must
        // not shift, and opening it tells why it cannot be used.
        QDir::System | QDir::Files));
}

QString forPort(int number, const QStringList &devices)
{
    if (number < 1 || number > devices.size())
        return {};
    return devices.at(number - 1);
}

QString noSuchDevice(int number)
{
    return QStringLiteral("Port %1: no such device").arg(number);
}

} // namespace SerialDevices
