// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

class SettingsBook;
struct AppState;
class LoudnessBook;
class SoundSet;

// The "Sound" dialog's loudness: the target every message plays at (off, or a value in LUFS from
// the list or typed) and the ceiling of their true peaks, each stored at once and saved with the
// dialog's OK; a value out of range is refused and the choice stays as it was. Each memory's
// loudness shows as measured (those not measured yet are measured in the background meanwhile),
// with the gain it plays at.
class SoundSetLoudness : public QObject
{
    Q_OBJECT
public:
    // `book`: the measurements (none: the memories' lines stay empty). A child of the dialog.
    SoundSetLoudness(SettingsBook &settings, SoundSet &dialog, LoudnessBook *book);

    // Fills the choices and the memories' lines.
    void show();
    // Why the last value was refused; empty otherwise.
    QString note() const { return m_note; }

signals:
    // AppState::AudioLoudness or AudioTruePeak changed.
    void changed();
    void noteChanged();

private:
    void targetTyped();
    void ceilingTyped();
    void showChoices();
    void showMemories();
    QString memoryLine(int memory, QStringList *unmeasured) const;
    void setNote(const QString &note);

    SettingsBook &m_settings;
    const AppState &m_state;
    SoundSet &m_dialog;
    LoudnessBook *m_book;
    QString m_note;
};
