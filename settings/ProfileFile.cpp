// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/ProfileFile.h"
#include "station/Log.h"
#include "station/Result.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>

#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

bool isUtf16Text(QByteArrayView head)
{
    return head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF");
}

// What follows a settings file's name in the name of the temporary file a save writes first:
// this mark, then six random letters or digits ("vocta.ini.voicevocta-save-QtfDxa"). No operator
// names a file so; a file named so is what an interrupted save left behind.
constexpr QLatin1StringView SaveMark(".voicevocta-save-");
constexpr int SaveSuffixLength = 6;

bool isSaveSuffix(QStringView suffix)
{
    if (suffix.size() != SaveSuffixLength)
        return false;
    for (const QChar c : suffix) {
        const char16_t u = c.unicode();
        if (!((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')))
            return false;
    }
    return true;
}

QString saveSuffix()
{
    static constexpr char Characters[]
        = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString suffix;
    for (int i = 0; i < SaveSuffixLength; ++i)
        suffix += QLatin1Char(Characters[QRandomGenerator::global()->bounded(62)]);
    return suffix;
}

// The file a path stands for: a symbolic link is followed to the file it names, which a save
// replaces (the link stays), as far as it leads.
QString linkTarget(const QString &path)
{
    QFileInfo file(path);
    int depth = 128;
    while (--depth > 0 && file.isSymLink())
        file.setFile(file.symLinkTarget());
    return depth > 0 ? file.filePath() : path;
}

// Puts `from` in the place of `to` in one step, replacing it.
Result replaceFile(const QString &from, const QString &to)
{
#ifdef Q_OS_WIN
    if (::MoveFileExW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(from).utf16()),
                      reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(to).utf16()),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    return Result::failure(qt_error_string(int(::GetLastError())));
#else
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0)
        return {};
    return Result::failure(qt_error_string(errno));
#endif
}

// Forces what was written onto the disk: some file systems report a full disk only here.
Result syncToDisk(QFileDevice &file)
{
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) == 0 || errno == EINVAL || errno == EROFS)
        return {}; // synced, or a file system that cannot sync
    return Result::failure(qt_error_string(errno));
#else
    Q_UNUSED(file);
    return {};
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
    const QFileInfo settings(linkTarget(m_path));
    const QString prefix = settings.fileName() + SaveMark;
    const QDir folder = settings.absoluteDir();
    QStringList removed;
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QString &name : names) {
        if (!name.startsWith(prefix) || !isSaveSuffix(QStringView(name).sliced(prefix.size())))
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

    return replaceWith(text.bytes(), info);
}

// Puts `bytes` in the place of the file that `info` found.
bool ProfileFile::replaceWith(const QByteArray &bytes, const QFileInfo &info)
{
    // The new text goes to a file of its own beside the old one, which it replaces only once it
    // is whole on the disk. Unbuffered: a write that fails (a full disk) fails where it is seen.
    const QString target = linkTarget(m_path);
    QFile file;
    for (int attempt = 0; !file.isOpen(); ++attempt) {
        file.setFileName(target + SaveMark + saveSuffix());
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            break;
        if (attempt == 100 || !QFileInfo::exists(file.fileName()))
            return fail(file.errorString());
    }
    if (info.exists())
        file.setPermissions(info.permissions());
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
    else if (const Result synced = syncToDisk(file); !synced) {
        whole = false;
        reason = synced.error;
    }
    file.close();
    if (whole && file.error() != QFileDevice::NoError) {
        whole = false;
        reason = file.errorString();
    }
    if (whole) {
        const Result replaced = replaceFile(file.fileName(), target);
        whole = replaced.ok;
        reason = replaced.error;
    }
    if (!whole) {
        file.remove();
        return fail(reason.isEmpty() ? QStringLiteral("the new file could not be written whole")
                                     : reason);
    }
    return true;
}

bool ProfileFile::fail(const QString &reason)
{
    m_error = reason;
    qCWarning(lcSettings).noquote()
        << QStringLiteral("Cannot save the settings to %1: %2").arg(m_path, reason);
    return false;
}
