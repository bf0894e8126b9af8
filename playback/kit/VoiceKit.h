// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/audio/SoundBuffer.h"
#include "playback/kit/KitParts.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// A voice kit: a folder of recordings from which texts are spoken (which recordings make a text:
// KitText). A text is built into one sound, all its parts at one rate and channel count (the
// highest among them, at most MaxRate and MaxChannels), each trimmed and faded (KitParts), with
// LetterGapMs of silence between the parts of a word and WordGapMs between words: the station
// plays it as one message.
//
// With a loudness target, each part is brought to it on its own (LoudnessGain::forPart; a part
// shorter than the standard's 400 ms block measured ungated), so that letters, digits and words
// come out at one loudness; the text as a whole then plays as any message does. Without one, the
// parts join as recorded.
//
// If any part is missing or cannot be used, nothing is built.
class VoiceKit
{
public:
    static constexpr int DefaultLetterGapMs = 60;
    static constexpr int DefaultWordGapMs = 150;
    static constexpr int MaxGapMs = 2000;
    // A longer message is refused.
    static constexpr double MaxSeconds = 60.0;
    // Enough for a voice on a transmitter; richer recordings are brought down to it.
    static constexpr int MaxRate = 48000;
    static constexpr int MaxChannels = 2;

    struct Spoken
    {
        bool ok = false;
        // Without `ok`: the recordings that are not in the kit ("k.wav"), those that cannot be
        // used with the reason ("7.wav (the file holds no sound)"), and what no recording can
        // stand for ("'?'"), once each.
        QStringList missing;
        // How long the sound lasts (or would last, when it is too long).
        double seconds = 0;
        // Without `ok`: why, in one sentence.
        QString error;
        std::shared_ptr<const SoundBuffer> sound;
    };

    // The kit's folder: `configured` when it is given (relative to `programFolder`), else
    // `defaultFolder`.
    static QString folderFor(const QString &configured, const QString &defaultFolder,
                             const QString &programFolder);

    void setFolder(const QString &folder) { m_folder = folder; }
    QString folder() const { return m_folder; }
    // Clamped into 0..MaxGapMs.
    void setGaps(int letterGapMs, int wordGapMs);
    // The loudness each part is brought to, in LUFS; none: as recorded.
    void setLoudness(std::optional<double> lufs) { m_loudness = lufs; }

    Spoken speak(const QString &text);

private:
    struct Piece
    {
        QString file;
        int gapAfterMs;
    };

    // The rate and channel count that all the parts take.
    struct PartFormat
    {
        int rate = 0;
        int channels = 0;
    };

    QString path(const QString &file) const;
    QList<Piece> choosePieces(const QString &text, Spoken &spoken) const;
    // Those that cannot be used go into spoken.missing.
    PartFormat commonFormat(const QList<Piece> &pieces, Spoken &spoken);
    qint64 framesOf(const QList<Piece> &pieces, int rate);
    // The pieces in one sound; null, with spoken's error set, when a part cannot be used.
    std::shared_ptr<SoundBuffer> join(const QList<Piece> &pieces, PartFormat format, qint64 frames,
                                      Spoken &spoken);
    QString unusableParts(const QStringList &parts) const;

    QString m_folder;
    int m_letterGapMs = DefaultLetterGapMs;
    int m_wordGapMs = DefaultWordGapMs;
    std::optional<double> m_loudness;
    KitParts m_parts;
};
