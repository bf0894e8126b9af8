// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/PttDevices.h"

#include "ptt/HamlibRig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <hamlib/rig.h>

#include <algorithm>

namespace PttDevices {

QList<SerialName> serialByIdNames(const QString &folder)
{
    QList<SerialName> names;
    const QDir dir(folder);
    for (const QString &entry : dir.entryList(QDir::Files | QDir::System, QDir::Name)) {
        const QFileInfo info(dir.filePath(entry));
        const QString device = info.canonicalFilePath();
        if (!device.isEmpty())
            names.append({info.filePath(), device});
    }
    return names;
}

bool isCm108Family(quint16 vendor, quint16 product)
{
    // The chips that hamlib accepts for CM108 keying.
    if (vendor == 0x0d8c) {
        return (product >= 0x0008 && product <= 0x000f) || product == 0x0012 || product == 0x0013
               || product == 0x013a || product == 0x013c;
    }
    if (vendor == 0x0c76)
        return product == 0x1605 || product == 0x1607 || product == 0x160b;
    return false;
}

QList<Cm108Device> cm108Devices(const QString &sysClass, const QString &devFolder)
{
    QList<std::pair<int, Cm108Device>> found;
    const QDir dir(sysClass);
    for (const QString &entry : dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        bool numbered = false;
        const int number = entry.mid(6).toInt(&numbered);
        if (!entry.startsWith(QLatin1String("hidraw")) || !numbered)
            continue;
        QFile uevent(dir.filePath(entry + QLatin1String("/device/uevent")));
        if (!uevent.open(QIODevice::ReadOnly))
            continue;
        // HID_ID=<bus>:<vendor>:<product>, in hex; bus 0003 is USB.
        Cm108Device device;
        bool usb = false;
        for (const QByteArray &line : uevent.read(64 * 1024).split('\n')) {
            if (line.startsWith("HID_ID=")) {
                const QList<QByteArray> ids = line.mid(7).split(':');
                if (ids.size() != 3)
                    break;
                bool ok[3] = {};
                usb = ids[0].toUInt(&ok[0], 16) == 3;
                device.vendor = quint16(ids[1].toUInt(&ok[1], 16));
                device.product = quint16(ids[2].toUInt(&ok[2], 16));
                usb = usb && ok[0] && ok[1] && ok[2];
            } else if (line.startsWith("HID_NAME=")) {
                device.name = QString::fromUtf8(line.mid(9)).trimmed();
            }
        }
        if (!usb || !isCm108Family(device.vendor, device.product))
            continue;
        device.path = QDir(devFolder).filePath(entry);
        found.append({number, device});
    }
    std::sort(found.begin(), found.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    QList<Cm108Device> devices;
    for (const auto &entry : found)
        devices.append(entry.second);
    return devices;
}

namespace {

int addModel(const struct rig_caps *caps, rig_ptr_t data)
{
    static_cast<QList<RigModel> *>(data)->append({int(caps->rig_model),
                                                  QString::fromUtf8(caps->mfg_name).trimmed(),
                                                  QString::fromUtf8(caps->model_name).trimmed()});
    return 1; // go on
}

} // namespace

QList<RigModel> rigModels()
{
    HamlibRig::loadAllModels();
    QList<RigModel> models;
    rig_list_foreach(addModel, &models);
    std::sort(models.begin(), models.end(), [](const RigModel &a, const RigModel &b) {
        if (const int c = a.manufacturer.compare(b.manufacturer, Qt::CaseInsensitive))
            return c < 0;
        if (const int c = a.model.compare(b.model, Qt::CaseInsensitive))
            return c < 0;
        return a.number < b.number;
    });
    return models;
}

} // namespace PttDevices
