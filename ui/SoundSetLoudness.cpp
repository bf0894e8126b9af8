// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SoundSetLoudness.h"

#include "playback/loudness/LoudnessBook.h"
#include "playback/loudness/LoudnessGain.h"
#include "settings/AudioSettings.h"
#include "station/AppState.h"
#include "ui/SoundSet.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QSignalBlocker>

namespace {

constexpr int Targets[] = {-16, -18, -20, -23};
constexpr int Ceilings[] = {-1, -2, -3};

QString decibels(double value, const char *unit)
{
    return QStringLiteral("%1 %2").arg(value).arg(QLatin1String(unit));
}

// Puts `entries` into `combo`, with `stored` as its text (an entry, or a value typed earlier).
void fill(QComboBox *combo, const QStringList &entries, const QString &stored)
{
    const QSignalBlocker blocker(combo);
    combo->clear();
    combo->addItems(entries);
    combo->setCurrentIndex(int(entries.indexOf(stored)));
    combo->setEditText(stored);
}

} // namespace

SoundSetLoudness::SoundSetLoudness(AppState &state, SoundSet &dialog, LoudnessBook *book)
    : QObject(&dialog), m_state(state), m_dialog(dialog), m_book(book)
{
    connect(&dialog, &SoundSet::Combo5_Change, this, &SoundSetLoudness::targetTyped);
    connect(&dialog, &SoundSet::Combo6_Change, this, &SoundSetLoudness::ceilingTyped);
    if (m_book)
        connect(m_book, &LoudnessBook::measured, this, &SoundSetLoudness::showMemories);
}

void SoundSetLoudness::show()
{
    setNote(QString());
    showChoices();
    showMemories();
}

void SoundSetLoudness::showChoices()
{
    QStringList targets{QStringLiteral("Off")};
    for (int target : Targets)
        targets << decibels(target, "LUFS");
    fill(m_dialog.Combo5(), targets,
         m_state.Audio.AudioLoudness ? decibels(*m_state.Audio.AudioLoudness, "LUFS") : targets.first());
    QStringList ceilings;
    for (int ceiling : Ceilings)
        ceilings << decibels(ceiling, "dBTP");
    fill(m_dialog.Combo6(), ceilings, decibels(m_state.Audio.AudioTruePeak, "dBTP"));
}

void SoundSetLoudness::targetTyped()
{
    const QString text = m_dialog.Combo5()->currentText().trimmed();
    const bool off = text.isEmpty() || text.compare(QLatin1String("off"), Qt::CaseInsensitive) == 0;
    const std::optional<double> target
        = off ? std::nullopt
              : AudioSettings::decibelsIn(text, AudioSettings::MinLoudness,
                                          AudioSettings::MaxLoudness);
    const bool refused = !off && !target;
    setNote(refused ? QStringLiteral("The target must be from %1 to %2 LUFS: \"%3\" is refused.")
                          .arg(AudioSettings::MinLoudness)
                          .arg(AudioSettings::MaxLoudness)
                          .arg(text)
                    : QString());
    const bool change = !refused && target != m_state.Audio.AudioLoudness;
    if (change)
        m_state.Audio.AudioLoudness = target;
    showChoices(); // the choice in the list's own words, or as it was
    if (change) {
        showMemories();
        emit changed();
    }
}

void SoundSetLoudness::ceilingTyped()
{
    const QString text = m_dialog.Combo6()->currentText().trimmed();
    const std::optional<double> ceiling
        = AudioSettings::decibelsIn(text, AudioSettings::MinTruePeak, AudioSettings::MaxTruePeak);
    setNote(ceiling ? QString()
                    : QStringLiteral("The ceiling must be from %1 to %2 dBTP: \"%3\" is refused.")
                          .arg(AudioSettings::MinTruePeak)
                          .arg(AudioSettings::MaxTruePeak)
                          .arg(text));
    const bool change = ceiling && *ceiling != m_state.Audio.AudioTruePeak;
    if (change)
        m_state.Audio.AudioTruePeak = *ceiling;
    showChoices();
    if (change) {
        showMemories();
        emit changed();
    }
}

void SoundSetLoudness::showMemories()
{
    QStringList lines;
    QStringList files;
    QStringList unmeasured;
    for (int memory = 0; memory < MemoryCount; ++memory) {
        lines << memoryLine(memory, &unmeasured);
        files << QStringLiteral("%1: %2").arg(memory + 1).arg(m_state.Memories.MemFile[size_t(memory)]);
    }
    m_dialog.Label4()->setText(lines.join(QLatin1Char('\n')));
    m_dialog.Label4()->setToolTip(files.join(QLatin1Char('\n')));
    if (m_book && !unmeasured.isEmpty())
        m_book->measureSoon(unmeasured);
}

// "1: -21.4 LUFS, -3.0 dBTP, +1.4 dB  CQ.wav", the name shortened to fit.
QString SoundSetLoudness::memoryLine(int memory, QStringList *unmeasured) const
{
    const QString path = m_state.Memories.MemFile[size_t(memory)];
    QString line = QStringLiteral("%1: ").arg(memory + 1);
    const std::optional<Loudness> loudness = m_book ? m_book->known(path) : std::nullopt;
    const QString problem = m_book && !loudness ? m_book->problem(path) : QString();
    if (path.isEmpty() || !m_book) {
        line += QStringLiteral("no file");
    } else if (!loudness) {
        line += problem.isEmpty() ? QStringLiteral("measuring...") : problem;
        if (problem.isEmpty())
            *unmeasured << path;
    } else if (loudness->silent()) {
        line += QStringLiteral("silent, plays as recorded");
    } else {
        line += QStringLiteral("%1 LUFS, %2 dBTP")
                    .arg(loudness->lufs, 0, 'f', 1)
                    .arg(loudness->truePeak, 0, 'f', 1);
        if (m_state.Audio.AudioLoudness) {
            const LoudnessGain gain = LoudnessGain::forMessage(*loudness, *m_state.Audio.AudioLoudness,
                                                               m_state.Audio.AudioTruePeak);
            line += QString::asprintf(", %+.1f dB", gain.db);
            if (gain.limit != LoudnessGain::None)
                line += QStringLiteral(" (stays below)");
        }
    }
    const QFontMetrics metrics = m_dialog.Label4()->fontMetrics();
    const int room
        = m_dialog.Label4()->width() - metrics.horizontalAdvance(line + QLatin1String("  "));
    return line + QLatin1String("  ")
           + metrics.elidedText(QFileInfo(path).fileName(), Qt::ElideMiddle, std::max(room, 0));
}

void SoundSetLoudness::setNote(const QString &note)
{
    if (note == m_note)
        return;
    m_note = note;
    emit noteChanged();
}
