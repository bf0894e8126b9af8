// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/loudness/LoudnessCache.h"

#include "station/FileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <sys/stat.h>

namespace {

const QByteArray Header = "voicevocta loudness 1";
constexpr int Fields = 6; // size, modified, LUFS, dBTP, seconds, path
// A larger file is no cache of this program's.
constexpr qint64 MaxBytes = 16 << 20;

QByteArray number(double value)
{
    return std::isfinite(value) ? QByteArray::number(value, 'g', 10) : QByteArray("-inf");
}

bool parseNumber(const QByteArray &text, double *value)
{
    if (text == "-inf") {
        *value = Loudness::Silent;
        return true;
    }
    bool ok = false;
    *value = text.toDouble(&ok);
    return ok && std::isfinite(*value);
}

bool parseLine(const QByteArray &line, QString *path, LoudnessCache::Entry *entry)
{
    const QList<QByteArray> fields = line.split('\t');
    if (fields.size() != Fields)
        return false;
    bool sized = false;
    bool dated = false;
    entry->stamp.size = fields[0].toLongLong(&sized);
    entry->stamp.modifiedNs = fields[1].toLongLong(&dated);
    Loudness &loudness = entry->loudness;
    if (!sized || !dated || entry->stamp.size < 0 || !parseNumber(fields[2], &loudness.lufs)
        || !parseNumber(fields[3], &loudness.truePeak) || !parseNumber(fields[4], &loudness.seconds)
        || fields[5].isEmpty())
        return false;
    *path = FileNames::decode(QByteArray::fromPercentEncoding(fields[5]));
    return true;
}

} // namespace

std::optional<FileStamp> FileStamp::of(const QString &path)
{
    struct stat info;
    if (::stat(FileNames::encode(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return FileStamp{qint64(info.st_size),
                     qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

QString LoudnessCache::defaultFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
           + QStringLiteral("/voicevocta/loudness");
}

Result LoudnessCache::read(const QString &file, Entries *entries)
{
    entries->clear();
    QFile input(file);
    if (!input.exists())
        return {};
    if (!input.open(QIODevice::ReadOnly))
        return Result::failure(input.errorString());
    if (input.size() > MaxBytes)
        return Result::failure(QStringLiteral("it is too large to be a cache of this program's"));
    const QList<QByteArray> lines = input.readAll().split('\n');
    if (lines.isEmpty() || lines.first() != Header)
        return Result::failure(QStringLiteral("it is not a cache of this program's"));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].isEmpty() && i == lines.size() - 1)
            break;
        QString path;
        Entry entry;
        if (!parseLine(lines[i], &path, &entry)) {
            entries->clear();
            return Result::failure(QStringLiteral("line %1 is damaged").arg(i + 1));
        }
        entries->insert(path, entry);
    }
    return {};
}

Result LoudnessCache::write(const QString &file, const Entries &entries)
{
    const QString folder = QFileInfo(file).path();
    if (!QDir().mkpath(folder))
        return Result::failure(QStringLiteral("the folder %1 cannot be made").arg(folder));
    QByteArray text = Header + '\n';
    for (auto entry = entries.cbegin(); entry != entries.cend(); ++entry) {
        const Loudness &loudness = entry->loudness;
        text += QByteArray::number(entry->stamp.size) + '\t'
                + QByteArray::number(entry->stamp.modifiedNs) + '\t' + number(loudness.lufs) + '\t'
                + number(loudness.truePeak) + '\t' + number(loudness.seconds) + '\t'
                + FileNames::encode(entry.key()).toPercentEncoding("/") + '\n';
    }
    QSaveFile output(file);
    if (!output.open(QIODevice::WriteOnly) || output.write(text) != text.size() || !output.commit())
        return Result::failure(output.errorString());
    return {};
}
