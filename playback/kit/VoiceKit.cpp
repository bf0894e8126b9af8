// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/kit/VoiceKit.h"

#include "playback/kit/KitText.h"
#include "playback/loudness/LoudnessGain.h"
#include "playback/loudness/LoudnessMeter.h"
#include "station/FileNames.h"
#include "station/LogText.h"

#include <QDir>

#include <algorithm>
#include <cmath>
#include <sys/stat.h>

namespace {

bool isFile(const QString &path)
{
    struct stat info;
    return ::stat(FileNames::encode(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

void addOnce(QStringList &list, const QString &entry)
{
    if (!list.contains(entry))
        list.append(entry);
}

// Brings the part that ends `sound` (from sample `first` on) to `lufs`, with one gain.
void matchPart(SoundBuffer &sound, size_t first, double lufs)
{
    float *part = sound.samples.data() + first;
    const qint64 frames = qint64(sound.samples.size() - first) / sound.channels;
    const Loudness measured = LoudnessMeter::measure(part, frames, sound.sampleRate, sound.channels,
                                                     LoudnessMeter::WithoutTruePeak);
    const float gain = LoudnessGain::forPart(measured, lufs).linear();
    std::for_each(part, part + frames * sound.channels, [gain](float &v) { v *= gain; });
}

qint64 framesAt(qint64 frames, int fromRate, int toRate)
{
    return fromRate == toRate ? frames : std::llround(double(frames) * toRate / fromRate);
}

} // namespace

QString VoiceKit::folderFor(const QString &configured, const QString &defaultFolder,
                            const QString &programFolder)
{
    if (configured.isEmpty())
        return defaultFolder;
    if (QDir::isAbsolutePath(configured))
        return configured;
    return programFolder + QLatin1Char('/') + configured;
}

void VoiceKit::setGaps(int letterGapMs, int wordGapMs)
{
    m_letterGapMs = std::clamp(letterGapMs, 0, MaxGapMs);
    m_wordGapMs = std::clamp(wordGapMs, 0, MaxGapMs);
}

QString VoiceKit::path(const QString &file) const
{
    return m_folder + QLatin1Char('/') + file;
}

QList<VoiceKit::Piece> VoiceKit::choosePieces(const QString &text, Spoken &spoken) const
{
    const KitText::Plan plan = KitText::plan(text);
    QList<Piece> pieces;
    for (const KitText::Word &word : plan.words) {
        const QStringList files = !word.call.isEmpty() && isFile(path(word.call))
                                      ? QStringList{word.call}
                                      : word.spelled;
        for (const QString &file : files) {
            if (!isFile(path(file)))
                addOnce(spoken.missing, file);
            pieces.append({file, m_letterGapMs});
        }
        if (!pieces.isEmpty())
            pieces.last().gapAfterMs = m_wordGapMs;
    }
    for (const QString &what : plan.unspeakable)
        addOnce(spoken.missing, what);
    if (!pieces.isEmpty())
        pieces.last().gapAfterMs = 0;
    return pieces;
}

VoiceKit::Spoken VoiceKit::speak(const QString &text)
{
    Spoken spoken;
    if (text.size() > KitText::MaxCharacters) {
        spoken.error = QStringLiteral("the text has %1 characters; at most %2 are spoken")
                           .arg(text.size())
                           .arg(KitText::MaxCharacters);
        return spoken;
    }
    const QList<Piece> pieces = choosePieces(text, spoken);
    if (!spoken.missing.isEmpty()) {
        spoken.error
            = QStringLiteral("missing from the voice kit in %1: %2")
                  .arg(LogText::quoted(m_folder), spoken.missing.join(QLatin1String(", ")));
        return spoken;
    }
    if (pieces.isEmpty()) {
        spoken.error = QStringLiteral("the text has nothing to say");
        return spoken;
    }
    const PartFormat format = commonFormat(pieces, spoken);
    if (!spoken.missing.isEmpty()) {
        spoken.error = unusableParts(spoken.missing);
        return spoken;
    }
    const qint64 frames = framesOf(pieces, format.rate);
    spoken.seconds = double(frames) / format.rate;
    if (spoken.seconds > MaxSeconds) {
        spoken.error = QStringLiteral("the message would last %1 s; at most %2 s are spoken")
                           .arg(spoken.seconds, 0, 'f', 1)
                           .arg(MaxSeconds);
        return spoken;
    }
    std::shared_ptr<SoundBuffer> sound = join(pieces, format, frames, spoken);
    if (!sound)
        return spoken;
    spoken.seconds = sound->seconds();
    spoken.sound = std::move(sound);
    spoken.ok = true;
    return spoken;
}

VoiceKit::PartFormat VoiceKit::commonFormat(const QList<Piece> &pieces, Spoken &spoken)
{
    // Each part as recorded, to find the rate and channel count they all take.
    PartFormat format;
    for (const Piece &piece : pieces) {
        const auto part = m_parts.part(path(piece.file), 0, 0);
        if (!part) {
            addOnce(spoken.missing, QStringLiteral("%1 (%2)").arg(piece.file, part.error));
            continue;
        }
        format.rate = std::max(format.rate, std::min(part.value->sampleRate, MaxRate));
        format.channels = std::max(format.channels, std::min(part.value->channels, MaxChannels));
    }
    return format;
}

qint64 VoiceKit::framesOf(const QList<Piece> &pieces, int rate)
{
    qint64 frames = 0;
    for (const Piece &piece : pieces) {
        const auto part = m_parts.part(path(piece.file), 0, 0).value;
        frames += framesAt(part ? part->frameCount() : 0, part ? part->sampleRate : rate, rate)
                  + qint64(piece.gapAfterMs) * rate / 1000;
    }
    return frames;
}

std::shared_ptr<SoundBuffer> VoiceKit::join(const QList<Piece> &pieces, PartFormat format,
                                            qint64 frames, Spoken &spoken)
{
    auto sound = std::make_shared<SoundBuffer>();
    sound->sampleRate = format.rate;
    sound->channels = format.channels;
    sound->samples.reserve(size_t(frames) * size_t(format.channels));
    for (const Piece &piece : pieces) {
        const auto found = m_parts.part(path(piece.file), format.rate, format.channels);
        if (!found) { // changed under our feet since it was looked at
            spoken.missing.append(QStringLiteral("%1 (%2)").arg(piece.file, found.error));
            spoken.error = unusableParts(spoken.missing);
            return nullptr;
        }
        const std::shared_ptr<const SoundBuffer> &part = found.value;
        const size_t first = sound->samples.size();
        sound->samples.insert(sound->samples.end(), part->samples.begin(), part->samples.end());
        if (m_loudness)
            matchPart(*sound, first, *m_loudness);
        sound->samples.resize(sound->samples.size()
                              + size_t(qint64(piece.gapAfterMs) * format.rate / 1000)
                                    * size_t(format.channels));
    }
    return sound;
}

QString VoiceKit::unusableParts(const QStringList &parts) const
{
    return QStringLiteral("the voice kit in %1 has parts that cannot be used: %2")
        .arg(LogText::quoted(m_folder), parts.join(QLatin1String(", ")));
}
