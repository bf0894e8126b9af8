// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/audio/SoundBuffer.h"

#include "station/Result.h"

#include <QHash>
#include <QString>

#include <memory>

// The recordings of a voice kit, each decoded once and kept until its file changes: trimmed to
// its sound (where it first and last reaches the recorder's silence level) and faded in and out
// over FadeMs, so that parts join without clicks. A part is also kept at the rate and channel
// count it was last asked for, so that a text said again is not converted again.
class KitParts
{
public:
    static constexpr int FadeMs = 5;
    // A longer recording is refused without being decoded.
    static constexpr int MaxPartSeconds = 20;
    // The most that is kept; the parts used longest ago go first.
    static constexpr qint64 MaxKeptBytes = qint64(64) << 20;

    // The recording at `path`, trimmed and faded, at `sampleRate` and `channels` when they are
    // not 0, else as recorded. A failure, with the reason, when it cannot be used.
    ResultOf<std::shared_ptr<const SoundBuffer>> part(const QString &path, int sampleRate,
                                                      int channels);

    // What is kept, in bytes.
    qint64 keptBytes() const;

private:
    struct Stamp
    {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 modifiedNs = 0;
        bool operator==(const Stamp &) const = default;
    };
    struct Entry
    {
        Stamp stamp;
        std::shared_ptr<const SoundBuffer> recorded;
        std::shared_ptr<const SoundBuffer> converted;
        quint64 used = 0;
    };

    static Result stamp(const QString &path, Stamp *stamp);
    static ResultOf<std::shared_ptr<const SoundBuffer>> decode(const QString &path);
    void keepWithinLimit();

    QHash<QString, Entry> m_entries;
    quint64 m_uses = 0;
};
