#include "settings/ProfileFile.h"
#include "station/Log.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtDebug>

ProfileFile::ProfileFile(QString path) : m_path(std::move(path)) { }

ProfileText ProfileFile::load() const
{
    // Only a regular file is read: opening a named pipe or a device may wait forever.
    const QFileInfo info(m_path);
    if (info.exists() && !info.isFile())
        return {};
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return ProfileText(file.read(MaxFileSize));
}

QByteArray ProfileFile::read(QByteArrayView section, QByteArrayView key,
                             QByteArrayView defaultValue) const
{
    return load().value(section, key, defaultValue);
}

QString ProfileFile::readLatin1(const QString &section, const QString &key,
                                const QString &defaultValue) const
{
    return QString::fromLatin1(read(QByteArrayView(section.toLatin1()),
                                    QByteArrayView(key.toLatin1()),
                                    QByteArrayView(defaultValue.toLatin1())));
}

bool ProfileFile::write(QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    bool accepted = true;
    const bool written
        = update([&](ProfileText &text) { accepted = text.setValue(section, key, value); });
    if (written && !accepted)
        return fail(QStringLiteral("the value of \"%1\" in [%2] cannot be stored in the file")
                        .arg(QString::fromLatin1(key), QString::fromLatin1(section)));
    return written;
}

bool ProfileFile::writeLatin1(const QString &section, const QString &key, const QString &value)
{
    return write(QByteArrayView(section.toLatin1()), QByteArrayView(key.toLatin1()),
                 QByteArrayView(value.toLatin1()));
}

bool ProfileFile::update(const std::function<void(ProfileText &)> &edit)
{
    m_error.clear();
    const QFileInfo info(m_path);
    if (info.isDir())
        return fail(QStringLiteral("the path is a folder"));
    if (info.exists() && !info.isFile())
        return fail(QStringLiteral("the path is not a regular file"));

    QByteArray old;
    const bool exists = info.exists();
    if (exists) {
        // A file without its owner's write permission is read-only even for the administrator.
        if (!info.isWritable() || !(info.permissions() & QFileDevice::WriteOwner))
            return fail(QStringLiteral("the file is read-only"));
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly))
            return fail(file.errorString());
        old = file.read(MaxFileSize + 1);
        if (old.size() > MaxFileSize)
            return fail(QStringLiteral("the file is larger than %1 bytes").arg(MaxFileSize));
        if (file.error() != QFileDevice::NoError)
            return fail(file.errorString());
    }

    ProfileText text(old);
    edit(text);
    if (text.bytes() == old)
        return true; // nothing to change, nothing to create
    // Reading stops at MaxFileSize bytes, so a longer file would not read back what was written.
    if (text.bytes().size() > MaxFileSize)
        return fail(QStringLiteral("the file would be larger than %1 bytes").arg(MaxFileSize));

    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    if (exists)
        file.setPermissions(info.permissions());
    if (file.write(text.bytes()) != text.bytes().size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return fail(reason);
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

bool ProfileFile::fail(const QString &reason)
{
    m_error = reason;
    qCWarning(lcVocta).noquote()
        << QStringLiteral("Cannot save the settings to %1: %2").arg(m_path, reason);
    return false;
}
