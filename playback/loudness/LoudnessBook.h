// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/audio/MessageLoudness.h"
#include "playback/loudness/LoudnessCache.h"

#include <QObject>
#include <QSet>
#include <QStringList>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

class MidiSynth;

// The loudness of the messages, each file measured once (a MIDI file on its rendering) and kept
// by its path and stamp, in memory and in the cache file between runs: a file changed behind the
// program's back is measured again. Files are measured on a thread of the book's own, which runs
// only while there is work; a message opened before it was measured is measured on the player's
// worker before its output gets ready (settle()), never on the UI thread.
//
// With a target, every message plays at one gain (LoudnessGain): to the target, below the
// ceiling, at most MaxBoostDb up; without one, as recorded, sample for sample. A message that stays
// below the target, is silent or cannot be measured is said once on standard error.
class LoudnessBook : public QObject, public MessageLoudness
{
    Q_OBJECT
public:
    // `cacheFile`: where the measurements are kept between runs (LoudnessCache::defaultFile()).
    explicit LoudnessBook(const QString &cacheFile, QObject *parent = nullptr);
    ~LoudnessBook() override;

    // The loudness that messages play at, in LUFS (none: as recorded), and the ceiling of their
    // true peaks in dBTP; from the next open on.
    void setTarget(std::optional<double> lufs, double ceiling);
    std::optional<double> target() const { return m_target; }
    double ceiling() const { return m_ceiling; }

    // Measures these files in the background, those not measured as they are now; measured()
    // follows for each. Returns at once.
    void measureSoon(const QStringList &paths);
    // What `path` measures as it is now; nothing where it is not measured (yet) or cannot be.
    std::optional<Loudness> known(const QString &path) const;
    // Why `path` as it is now cannot be measured; empty where it can or was not tried.
    QString problem(const QString &path) const;
    // Waits until the background has nothing left to do (the benchmark, tests).
    void waitForIdle();

    std::unique_ptr<AudioSource> leveled(const QString &path,
                                         std::unique_ptr<AudioSource> source) override;

    // A longer message not measured yet is not measured before it plays: it plays as recorded
    // that time, and is measured in the background for the next.
    static constexpr double MaxSpotSeconds = 300;
    // The most files the cache keeps; those played longest ago go first.
    static constexpr int MaxEntries = 1000;

signals:
    // `path` was measured, or found not to be measurable.
    void measured(const QString &path);

private:
    struct Entry
    {
        LoudnessCache::Entry kept;
        quint64 used = 0;
    };
    struct Problem
    {
        FileStamp stamp;
        QString reason;
    };

    void startWorker();
    void work();
    void loadCache();
    void saveCache();
    void measureInBackground(const QString &path, std::unique_ptr<MidiSynth> &synth);
    // Measures `source` (opened from `path` with `stamp`) and keeps the result; the gain for it.
    float measureNow(const QString &path, FileStamp stamp, double target, double ceiling,
                     AudioSource &source, const std::atomic<bool> &abandon);
    void keep(const QString &path, FileStamp stamp, const Loudness &loudness);
    void keepProblem(const QString &path, FileStamp stamp, const QString &reason);
    std::optional<Loudness> lookUp(const QString &path, FileStamp stamp);
    // The gain for a measured message; its note said once.
    float gainFor(const QString &path, FileStamp stamp, const Loudness &loudness, double target,
                  double ceiling);
    void sayOnce(const QString &key, const QString &line);

    QString m_cacheFile;
    std::optional<double> m_target; // UI thread
    double m_ceiling = -1;

    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    QHash<QString, Entry> m_entries;
    QHash<QString, Problem> m_problems;
    QStringList m_queue;
    QSet<QString> m_said;
    quint64 m_uses = 0;
    bool m_dirty = false;
    bool m_working = false;
    bool m_quit = false;
    std::atomic<bool> m_abandon{false};
    std::once_flag m_cacheLoaded;
    std::thread m_worker;
};
