// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/loudness/Loudness.h"
#include "station/Result.h"

#include <QHash>
#include <QString>

#include <optional>

// A file as it is now: its size and when it was last changed, to the nanosecond. A measurement
// holds for the file while its stamp stays the same.
struct FileStamp
{
    qint64 size = -1;
    qint64 modifiedNs = 0;
    bool operator==(const FileStamp &) const = default;

    // Nothing when the file is not there (or not a regular file).
    static std::optional<FileStamp> of(const QString &path);
};

// The measured messages kept between runs, in one text file under the user's cache folder
// ($XDG_CACHE_HOME/voicevocta/loudness, ~/.cache/... without it): one line per file, by its path,
// with the stamp it was measured at. Written whole under another name and then renamed over the
// old one, so that a run that ends halfway leaves the file it had.
namespace LoudnessCache {

struct Entry
{
    FileStamp stamp;
    Loudness loudness;
};
using Entries = QHash<QString, Entry>;

QString defaultFile();

// The entries of `file`; none, and done, when there is no such file. A failure, with the reason,
// when it cannot be read or is not this program's (damaged, or of another version): its entries
// are then all dropped, and the messages measured again.
Result read(const QString &file, Entries *entries);
// Replaces `file` with `entries`; a failure says why.
Result write(const QString &file, const Entries &entries);

} // namespace LoudnessCache
