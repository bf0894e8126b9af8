// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/SoundChoices.h"

#include <QHash>

namespace {

QString captionOf(const SoundEndpoint &device)
{
    return device.description.trimmed().isEmpty() ? device.name : device.description.trimmed();
}

} // namespace

QList<SoundChoices::Entry> SoundChoices::entries(const QList<SoundEndpoint> &devices,
                                                 const QString &defaultName, const QString &stored,
                                                 const QString &defaultCaption)
{
    QHash<QString, int> uses;
    QString defaultDescription;
    for (const SoundEndpoint &device : devices) {
        ++uses[captionOf(device)];
        if (!defaultName.isEmpty() && device.name == defaultName)
            defaultDescription = captionOf(device);
    }

    QList<Entry> result;
    result.append({QString(),
                   defaultDescription.isEmpty()
                       ? defaultCaption
                       : QStringLiteral("%1 (%2)").arg(defaultCaption, defaultDescription),
                   true});
    bool storedFound = stored.isEmpty();
    for (const SoundEndpoint &device : devices) {
        if (device.name.isEmpty())
            continue;
        const QString caption = captionOf(device);
        result.append({device.name,
                       uses.value(caption) > 1 ? QStringLiteral("%1 (%2)").arg(caption, device.name)
                                               : caption,
                       true});
        if (device.name == stored)
            storedFound = true;
    }
    if (!storedFound)
        result.append({stored, QStringLiteral("%1 (not found)").arg(stored), false});
    return result;
}

qsizetype SoundChoices::indexOf(const QList<Entry> &entries, const QString &stored)
{
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries[i].name == stored)
            return i;
    }
    return 0;
}
