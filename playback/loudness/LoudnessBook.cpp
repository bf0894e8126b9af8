// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/loudness/LoudnessBook.h"

#include "playback/audio/MidiFile.h"
#include "playback/audio/MidiSource.h"
#include "playback/audio/MidiSynth.h"
#include "playback/audio/SoundDevice.h"
#include "playback/audio/SoundFileSource.h"
#include "playback/loudness/LeveledSource.h"
#include "playback/loudness/LoudnessGain.h"
#include "playback/loudness/LoudnessMeter.h"
#include "station/FileNames.h"
#include "station/Log.h"

#include <QFile>

#include <algorithm>

namespace {

// A message file as the player opens it: a MIDI file rendered by a synthesizer of the measuring
// thread's own (loaded once it meets one), any other through libsndfile.
ResultOf<std::unique_ptr<AudioSource>> openForMeasuring(const QString &path,
                                                        std::unique_ptr<MidiSynth> &synth)
{
    using Opened = ResultOf<std::unique_ptr<AudioSource>>;
    QFile probe;
    if (const Result opened = FileNames::openForReading(probe, path); !opened)
        return Opened::failure(opened.error);
    if (!MidiFile::looksLikeMidi(probe.read(4))) {
        ResultOf<std::unique_ptr<SoundFileSource>> file = SoundFileSource::open(path);
        if (!file)
            return Opened::failure(file.error);
        return {std::move(file.value)};
    }
    MidiFile midi;
    if (const Result step = midi.load(path); !step)
        return Opened::failure(step.error);
    if (!synth)
        synth = std::make_unique<MidiSynth>(SoundDevice::defaultSoundFont());
    if (const Result step = synth->ensureLoaded(); !step)
        return Opened::failure(step.error);
    return {std::make_unique<MidiSource>(std::move(midi), *synth)};
}

QString stampKey(const QString &path, FileStamp stamp)
{
    return QStringLiteral("%1\n%2\n%3").arg(path).arg(stamp.size).arg(stamp.modifiedNs);
}

} // namespace

LoudnessBook::LoudnessBook(const QString &cacheFile, QObject *parent)
    : QObject(parent), m_cacheFile(cacheFile)
{ }

LoudnessBook::~LoudnessBook()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        m_queue.clear();
    }
    m_abandon = true;
    if (m_worker.joinable())
        m_worker.join();
    // What was measured before a play since the worker last ran.
    if (m_dirty)
        saveCache();
}

void LoudnessBook::setTarget(std::optional<double> lufs, double ceiling)
{
    m_target = lufs;
    m_ceiling = ceiling;
}

void LoudnessBook::measureSoon(const QStringList &paths)
{
    {
        std::lock_guard lock(m_mutex);
        for (const QString &path : paths)
            if (!path.isEmpty() && !m_queue.contains(path))
                m_queue.append(path);
    }
    startWorker();
}

void LoudnessBook::startWorker()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_working || m_quit)
            return;
        m_working = true;
    }
    if (m_worker.joinable())
        m_worker.join(); // it has said it ends
    m_worker = std::thread([this] { work(); });
}

void LoudnessBook::waitForIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_working; });
}

// The book's thread: the files asked for, then the cache file, then it ends.
void LoudnessBook::work()
{
    std::call_once(m_cacheLoaded, [this] { loadCache(); });
    std::unique_ptr<MidiSynth> synth;
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (!m_queue.isEmpty() && !m_quit) {
            const QString path = m_queue.takeFirst();
            lock.unlock();
            measureInBackground(path, synth);
            lock.lock();
        } else if (m_dirty) {
            lock.unlock();
            saveCache();
            lock.lock();
        } else {
            break;
        }
    }
    m_working = false;
    m_idle.notify_all();
}

void LoudnessBook::loadCache()
{
    LoudnessCache::Entries entries;
    const Result read = LoudnessCache::read(m_cacheFile, &entries);
    if (!read)
        qCWarning(lcSound).noquote()
            << QStringLiteral("The loudness cache %1 cannot be used (%2): the messages are "
                              "measured again")
                   .arg(m_cacheFile, read.error);
    std::lock_guard lock(m_mutex);
    for (auto entry = entries.cbegin(); entry != entries.cend(); ++entry)
        if (!m_entries.contains(entry.key()))
            m_entries.insert(entry.key(), Entry{*entry, 0});
    m_dirty = m_dirty || !read; // a damaged file is replaced at the next save
}

void LoudnessBook::saveCache()
{
    std::vector<std::pair<quint64, QString>> byUse;
    LoudnessCache::Entries entries;
    {
        std::lock_guard lock(m_mutex);
        m_dirty = false;
        for (auto entry = m_entries.cbegin(); entry != m_entries.cend(); ++entry)
            byUse.emplace_back(entry->used, entry.key());
        std::sort(byUse.begin(), byUse.end(), std::greater<>());
        byUse.resize(std::min(byUse.size(), size_t(MaxEntries)));
        for (const auto &[used, path] : byUse)
            entries.insert(path, m_entries.value(path).kept);
    }
    if (const Result written = LoudnessCache::write(m_cacheFile, entries); !written)
        sayOnce(QStringLiteral("\ncache"),
                QStringLiteral("Cannot keep the loudness of the messages in %1 (%2): they are "
                               "measured again at the next start")
                    .arg(m_cacheFile, written.error));
}

void LoudnessBook::measureInBackground(const QString &path, std::unique_ptr<MidiSynth> &synth)
{
    const std::optional<FileStamp> stamp = FileStamp::of(path);
    if (stamp && !lookUp(path, *stamp)) {
        Loudness loudness;
        const ResultOf<std::unique_ptr<AudioSource>> source = openForMeasuring(path, synth);
        const Result measured = source
                                    ? LoudnessMeter::measure(*source.value, &loudness, &m_abandon)
                                    : Result::failure(source.error);
        if (measured)
            keep(path, *stamp, loudness);
        else if (!m_abandon)
            keepProblem(path, *stamp, measured.error);
    }
    QMetaObject::invokeMethod(
        this, [this, path] { emit measured(path); }, Qt::QueuedConnection);
}

std::unique_ptr<AudioSource> LoudnessBook::leveled(const QString &path,
                                                   std::unique_ptr<AudioSource> source)
{
    const std::optional<FileStamp> stamp = FileStamp::of(path);
    if (!m_target || !source || !stamp)
        return source; // as recorded, sample for sample
    const double target = *m_target;
    const double ceiling = m_ceiling;
    if (const std::optional<Loudness> loudness = lookUp(path, *stamp))
        return std::make_unique<LeveledSource>(
            std::move(source), gainFor(path, *stamp, *loudness, target, ceiling), nullptr);
    if (!problem(path).isEmpty())
        return source;
    if (source->frameCount() > MaxSpotSeconds * source->sampleRate()) {
        sayOnce(stampKey(path, *stamp),
                QStringLiteral("\"%1\" is too long to be measured before it plays: it plays as "
                               "recorded this time")
                    .arg(path));
        measureSoon({path});
        return source;
    }
    return std::make_unique<LeveledSource>(
        std::move(source), std::nullopt,
        [this, path, stamp = *stamp, target, ceiling](AudioSource &unmeasured,
                                                      const std::atomic<bool> &abandon) {
            return measureNow(path, stamp, target, ceiling, unmeasured, abandon);
        });
}

// On the player's worker, before the output gets ready for the message.
float LoudnessBook::measureNow(const QString &path, FileStamp stamp, double target, double ceiling,
                               AudioSource &source, const std::atomic<bool> &abandon)
{
    std::call_once(m_cacheLoaded, [this] { loadCache(); });
    if (const std::optional<Loudness> loudness = lookUp(path, stamp))
        return gainFor(path, stamp, *loudness, target, ceiling);
    Loudness loudness;
    if (const Result measured = LoudnessMeter::measure(source, &loudness, &abandon); !measured) {
        source.seek(0);
        if (abandon)
            return 1.0f;
        keepProblem(path, stamp, measured.error);
        sayOnce(stampKey(path, stamp),
                QStringLiteral("\"%1\" cannot be measured (%2): it plays as recorded")
                    .arg(path, measured.error));
        return 1.0f;
    }
    keep(path, stamp, loudness);
    // Kept in the cache file by the book's own thread; the Sound dialog shows it.
    QMetaObject::invokeMethod(
        this,
        [this, path] {
            startWorker();
            emit measured(path);
        },
        Qt::QueuedConnection);
    return gainFor(path, stamp, loudness, target, ceiling);
}

float LoudnessBook::gainFor(const QString &path, FileStamp stamp, const Loudness &loudness,
                            double target, double ceiling)
{
    const LoudnessGain gain = LoudnessGain::forMessage(loudness, target, ceiling);
    const QString note = gain.note(target);
    if (!note.isEmpty())
        sayOnce(stampKey(path, stamp) + QStringLiteral("\n%1\n%2").arg(target).arg(ceiling),
                QStringLiteral("\"%1\" %2").arg(path, note));
    qCDebug(lcSound).noquote() << QStringLiteral("\"%1\" at %2 LUFS, %3 dBTP: %4 dB")
                                      .arg(path)
                                      .arg(loudness.lufs)
                                      .arg(loudness.truePeak)
                                      .arg(gain.db);
    return gain.linear();
}

void LoudnessBook::sayOnce(const QString &key, const QString &line)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_said.contains(key))
            return;
        m_said.insert(key);
    }
    qCWarning(lcSound).noquote() << line;
}

std::optional<Loudness> LoudnessBook::lookUp(const QString &path, FileStamp stamp)
{
    std::lock_guard lock(m_mutex);
    const auto entry = m_entries.find(path);
    if (entry == m_entries.end() || entry->kept.stamp != stamp)
        return std::nullopt;
    entry->used = ++m_uses;
    return entry->kept.loudness;
}

void LoudnessBook::keep(const QString &path, FileStamp stamp, const Loudness &loudness)
{
    std::lock_guard lock(m_mutex);
    m_entries.insert(path, Entry{{stamp, loudness}, ++m_uses});
    m_problems.remove(path);
    m_dirty = true;
}

void LoudnessBook::keepProblem(const QString &path, FileStamp stamp, const QString &reason)
{
    std::lock_guard lock(m_mutex);
    m_problems.insert(path, Problem{stamp, reason});
    m_entries.remove(path);
}

std::optional<Loudness> LoudnessBook::known(const QString &path) const
{
    const std::optional<FileStamp> stamp = FileStamp::of(path);
    std::lock_guard lock(m_mutex);
    const auto entry = m_entries.constFind(path);
    if (!stamp || entry == m_entries.cend() || entry->kept.stamp != *stamp)
        return std::nullopt;
    return entry->kept.loudness;
}

QString LoudnessBook::problem(const QString &path) const
{
    const std::optional<FileStamp> stamp = FileStamp::of(path);
    if (!stamp)
        return QStringLiteral("the file is not there");
    std::lock_guard lock(m_mutex);
    const auto problem = m_problems.constFind(path);
    return problem != m_problems.cend() && problem->stamp == *stamp ? problem->reason : QString();
}
