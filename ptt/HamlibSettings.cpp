// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/HamlibSettings.h"

QString HamlibSettings::plainName() const
{
    if (method == Method::Cm108) {
        if (cm108Device.isEmpty())
            return QStringLiteral("the CM108 chip");
        return QStringLiteral("GPIO %1 of %2").arg(cm108Gpio).arg(cm108Device);
    }
    const QString rig = rigModel == NetworkModel ? QStringLiteral("rigctld")
                                                 : QStringLiteral("rig model %1").arg(rigModel);
    return rigPort.isEmpty() ? rig : rig + where();
}

QString HamlibSettings::where() const
{
    const bool network = rigModel == NetworkModel || !rigPort.startsWith(QLatin1Char('/'));
    return (network ? QStringLiteral(" at %1") : QStringLiteral(" on %1")).arg(rigPort);
}
