// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/ProfileText.h"

#include <QString>
#include <QStringList>
#include <functional>

class QFileInfo;

// A private-profile (ini) file on disk, read and written key by key as the Windows
// private-profile functions do it, on every platform. See ProfileText for the rules of the text.
//
// Reading never creates the file: a missing or unreadable file, or a path that is a folder or
// anything else but a regular file (a named pipe, a device), reads as empty, so every key gives
// its default. Only the first MaxFileSize bytes are read. A file in UTF-16 (it starts with
// FF FE or FE FF) is not 8-bit text: it reads as empty too, and it is never rewritten.
//
// A file larger than MaxFileSize is never rewritten, nor is a file made larger than that, so
// that every value written reads back.
//
// Writing never leaves a half-written file: the new text goes to a temporary file beside the old
// one ("vocta.ini.voicevocta-save-" and six random letters or digits), which takes its place in
// one step, with the old file's permissions, only once every byte of it is on the disk. A
// settings file that is a symbolic link stays one: the file it names is replaced. A file that
// cannot be written (read-only, its folder missing, the path a folder or a named pipe, too large,
// the disk full) is left untouched; the write returns false and writes one line to standard error.
class ProfileFile
{
public:
    // The largest file that is read, and the largest that is rewritten.
    static constexpr qint64 MaxFileSize = 1024 * 1024;

    explicit ProfileFile(QString path);

    const QString &path() const { return m_path; }

    // The text of the file now (empty when it cannot be read).
    ProfileText load() const;
    // Whether the file is UTF-16 text, which this program does not edit.
    bool isUtf16() const;
    // Removes what interrupted saves left beside the file: regular files named as a save names
    // its temporary file ("vocta.ini.voicevocta-save-QtfDxa"). Nothing else is touched: the
    // operator's own "vocta.ini.Qwerty" or "vocta.ini.backup" stays. Returns the names removed.
    QStringList removeLeftovers() const;

    QByteArray read(QByteArrayView section, QByteArrayView key, QByteArrayView defaultValue) const;
    // The same with 8-bit text carried in a QString, one character per byte (Latin-1).
    QString readLatin1(const QString &section, const QString &key,
                       const QString &defaultValue) const;

    // Sets one key. False when the file cannot be written or the format cannot hold the value.
    bool write(QByteArrayView section, QByteArrayView key, QByteArrayView value);
    bool writeLatin1(const QString &section, const QString &key, const QString &value);

    // A batch of writes: `edit` changes the file's present text in memory, and the result is put
    // in place in one step. The file is not touched when nothing changed.
    bool update(const std::function<void(ProfileText &)> &edit);

    // Why the last write failed; empty after a success.
    const QString &errorString() const { return m_error; }

private:
    bool fail(const QString &reason);
    bool replaceWith(const QByteArray &bytes, const QFileInfo &info);

    QString m_path;
    QString m_error;
};
