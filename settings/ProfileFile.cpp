// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/ProfileFile.h"
#include "station/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtDebug>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

namespace {

bool isUtf16Text(QByteArrayView head)
{
    return head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF");
}

// The six random letters of a temporary file's name, as QSaveFile makes them.
bool isTemporarySuffix(QStringView suffix)
{
    if (suffix.size() != 6)
        return false;
    bool capital = false;
    for (const QChar c : suffix) {
        const char16_t u = c.unicode();
        const bool small = u >= 'a' && u <= 'z';
        const bool large = u >= 'A' && u <= 'Z';
        if (!small && !large)
            return false;
        capital = capital || large;
    }
    return capital;
}

// Forces what was written onto the disk: some file systems report a full disk only here.
bool syncToDisk(QFileDevice &file, QString *reason)
{
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) == 0 || errno == EINVAL || errno == EROFS)
        return true; // synced, or a file system that cannot sync
    *reason = qt_error_string(errno);
    return false;
#else
    Q_UNUSED(file);
    Q_UNUSED(reason);
    return true;
#endif
}

} // namespace

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
    const QByteArray bytes = file.read(MaxFileSize);
    if (isUtf16Text(bytes))
        return {};
    return ProfileText(bytes);
}

bool ProfileFile::isUtf16() const
{
    if (!QFileInfo(m_path).isFile())
        return false;
    QFile file(m_path);
    return file.open(QIODevice::ReadOnly) && isUtf16Text(file.read(2));
}

QStringList ProfileFile::removeLeftovers() const
{
    const QFileInfo settings(m_path);
    const QString prefix = settings.fileName() + QLatin1Char('.');
    const QDir folder = settings.absoluteDir();
    QStringList removed;
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QString &name : names) {
        if (!name.startsWith(prefix) || !isTemporarySuffix(QStringView(name).sliced(prefix.size())))
            continue;
        const QFileInfo entry(folder.filePath(name));
        if (entry.isSymLink() || !entry.isFile())
            continue;
        if (QFile::remove(entry.filePath()))
            removed.append(name);
    }
    return removed;
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
        if (isUtf16Text(old))
            return fail(QStringLiteral("the file is UTF-16 text, which this program cannot edit"));
    }

    ProfileText text(old);
    edit(text);
    if (text.bytes() == old)
        return true; // nothing to change, nothing to create
    // Reading stops at MaxFileSize bytes, so a longer file would not read back what was written.
    if (text.bytes().size() > MaxFileSize)
        return fail(QStringLiteral("the file would be larger than %1 bytes").arg(MaxFileSize));

    // Unbuffered: a write that fails (a full disk) fails here, where it is seen, and not in the
    // flush inside commit(), which would put the short file in place all the same.
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(file.errorString());
    if (exists)
        file.setPermissions(info.permissions());
    const QByteArray &bytes = text.bytes();
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 count = file.write(bytes.constData() + written, bytes.size() - written);
        if (count <= 0)
            break;
        written += count;
    }
    QString reason;
    bool whole = written == bytes.size() && file.flush() && file.error() == QFileDevice::NoError;
    if (!whole)
        reason = file.errorString();
    else
        whole = syncToDisk(file, &reason);
    if (!whole) {
        file.cancelWriting();
        return fail(reason.isEmpty() ? QStringLiteral("the new file could not be written whole")
                                     : reason);
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
