// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/FileNames.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QFileInfo>
#endif

namespace {

constexpr char16_t EscapeBase = 0xDC00; // a byte b that is not UTF-8 reads as EscapeBase + b
constexpr char16_t FirstEscape = EscapeBase + 0x80;
constexpr char16_t LastEscape = EscapeBase + 0xFF;
constexpr char32_t Replacement = 0xFFFD;

bool isContinuation(uchar byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence at `at`, 0 when the byte there does not start one. The
// rules are those of RFC 3629: no overlong forms, no surrogates, nothing above U+10FFFF.
qsizetype sequenceLength(QByteArrayView bytes, qsizetype at)
{
    const auto lead = uchar(bytes[at]);
    if (lead < 0x80)
        return 1;
    qsizetype length = 0;
    uchar low = 0x80; // the allowed range of the second byte
    uchar high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    const auto second = uchar(bytes[at + 1]);
    if (second < low || second > high)
        return 0;
    for (qsizetype i = 2; i < length; ++i) {
        if (!isContinuation(uchar(bytes[at + i])))
            return 0;
    }
    return length;
}

void appendUtf8(QByteArray &out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

} // namespace

namespace FileNames {

QString decode(QByteArrayView bytes)
{
    // Decoded here rather than by QString::fromUtf8, which drops a byte-order mark at the start.
    QString name;
    name.reserve(bytes.size());
    qsizetype at = 0;
    while (at < bytes.size()) {
        const qsizetype length = sequenceLength(bytes, at);
        const auto lead = uchar(bytes[at]);
        if (length == 0) {
            name += QChar(char16_t(EscapeBase + lead));
            ++at;
            continue;
        }
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (qsizetype i = 1; i < length; ++i)
            c = (c << 6) | (uchar(bytes[at + i]) & 0x3F);
        if (c < 0x10000) {
            name += QChar(char16_t(c));
        } else {
            name += QChar(QChar::highSurrogate(c));
            name += QChar(QChar::lowSurrogate(c));
        }
        at += length;
    }
    return name;
}

QByteArray encode(QStringView name)
{
    QByteArray bytes;
    bytes.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t unit = name[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < name.size()
            && QChar::isLowSurrogate(name[i + 1].unicode())) {
            appendUtf8(bytes, QChar::surrogateToUcs4(unit, name[i + 1].unicode()));
            ++i;
        } else if (unit >= FirstEscape && unit <= LastEscape) {
            bytes += char(unit - EscapeBase);
        } else if (QChar::isSurrogate(unit)) {
            appendUtf8(bytes, Replacement);
        } else {
            appendUtf8(bytes, unit);
        }
    }
    return bytes;
}

Result openForReading(QFile &file, const QString &name)
{
#ifdef Q_OS_UNIX
    const QByteArray path = encode(name);
    if (path.isEmpty() || path.contains('\0'))
        return Result::failure(QStringLiteral("no such file"));
    struct stat status;
    if (::stat(path.constData(), &status) != 0) {
        const int code = errno;
        return Result::failure(code == ENOENT || code == ENOTDIR ? QStringLiteral("no such file")
                                                                 : qt_error_string(code));
    }
    if (!S_ISREG(status.st_mode))
        return Result::failure(QStringLiteral("not a regular file"));
    // Should the file be swapped for a named pipe meanwhile, opening it does not wait.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Result::failure(qt_error_string(errno));
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return Result::failure(QStringLiteral("not a regular file"));
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Result::failure(file.errorString());
    }
    return {};
#else
    const QFileInfo info(name);
    if (!info.exists())
        return Result::failure(QStringLiteral("no such file"));
    if (!info.isFile())
        return Result::failure(QStringLiteral("not a regular file"));
    file.setFileName(name);
    if (!file.open(QIODevice::ReadOnly))
        return Result::failure(file.errorString());
    return {};
#endif
}

} // namespace FileNames
