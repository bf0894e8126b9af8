// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SiteDefault.h"

#include "settings/ProfileFile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace {

// A byte that no settings text holds: a control character other than tab, line feed, form feed
// and carriage return.
bool isBinary(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && u != '\t' && u != '\n' && u != '\f' && u != '\r') || u == 0x7F;
}

// Whether the text has a section, or nothing at all but blank lines and comments.
bool holdsSettings(QByteArray bytes)
{
    if (bytes.startsWith(ProfileText::ByteOrderMark))
        bytes.remove(0, ProfileText::ByteOrderMark.size());
    bool content = false;
    for (const QByteArray &line : bytes.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith('['))
            return true;
        content
            = content || !(trimmed.isEmpty() || trimmed.startsWith(';') || trimmed.startsWith('#'));
    }
    return !content;
}

} // namespace

ResultOf<std::optional<ProfileText>> SiteDefault::read(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return {std::nullopt};
    const auto refuse = [](const QString &why) {
        return ResultOf<std::optional<ProfileText>>::failure(why);
    };
    if (!info.exists())
        return refuse(QStringLiteral("it is a link to nothing"));
    // Opening a named pipe or a device may wait forever.
    if (!info.isFile())
        return refuse(QStringLiteral("it is not a regular file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(QStringLiteral("it cannot be read (%1)").arg(file.errorString()));
    const QByteArray bytes = file.read(ProfileFile::MaxFileSize + 1);
    if (bytes.size() > ProfileFile::MaxFileSize)
        return refuse(QStringLiteral("it is larger than %1 bytes").arg(ProfileFile::MaxFileSize));
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        return refuse(QStringLiteral("it is UTF-16 text, which this program cannot read"));
    if (std::any_of(bytes.cbegin(), bytes.cend(), isBinary))
        return refuse(QStringLiteral("it is not text"));
    QByteArrayView text(bytes);
    if (text.startsWith(ProfileText::ByteOrderMark))
        text = text.sliced(ProfileText::ByteOrderMark.size());
    if (text.trimmed().isEmpty())
        return refuse(QStringLiteral("it is empty"));
    if (!holdsSettings(bytes))
        return refuse(QStringLiteral("it holds no section of settings"));
    return {ProfileText(bytes)};
}
