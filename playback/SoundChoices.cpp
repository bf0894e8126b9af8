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
    QString first = defaultCaption;
    for (const SoundEndpoint &device : devices) {
        ++uses[captionOf(device)];
        // The default named by what it is and by the name that tells it from its twins.
        if (!defaultName.isEmpty() && device.name == defaultName)
            first = device.description.trimmed().isEmpty()
                        ? QStringLiteral("%1 (%2)").arg(defaultCaption, defaultName)
                        : QStringLiteral("%1 (%2, %3)")
                              .arg(defaultCaption, device.description.trimmed(), defaultName);
    }

    QList<Entry> result;
    result.append({QString(), first, true});
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

SoundChoices::Listening SoundChoices::listening(const QString &monitor, const QString &transmitter,
                                                const QString &defaultOutput)
{
    const QString heard = monitor.isEmpty() ? defaultOutput : monitor;
    const QString sent = transmitter.isEmpty() ? defaultOutput : transmitter;
    if ((monitor.isEmpty() && transmitter.isEmpty()) || (!heard.isEmpty() && heard == sent))
        return Listening::OnTheTransmitter;
    return heard.isEmpty() ? Listening::Unknown : Listening::Apart;
}
