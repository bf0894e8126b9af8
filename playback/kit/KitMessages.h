// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/kit/VoiceKit.h"

#include "station/Result.h"

#include <QString>
#include <QStringList>

#include <memory>

struct AppState;
class QTemporaryDir;

// Texts as messages for the station: built from the voice kit that the settings choose (its
// folder and gaps read at each text), and written as one sound file that the station opens as it
// opens a memory's. The file lives in a folder of the program's own under the user's runtime
// folder, made at the first text and removed with this object; each text replaces the one before
// (a player that still holds that one open keeps reading it).
class KitMessages
{
public:
    struct Built
    {
        bool ok = false;
        QStringList missing; // see VoiceKit::Spoken
        double seconds = 0;
        QString error; // without `ok`: why, in one sentence
        QString path; // with `ok` from build(): the sound file
    };

    // `defaultFolder` is the kit's folder when the settings name none; a relative one is taken
    // from `programFolder`.
    KitMessages(const AppState &settings, const QString &defaultFolder,
                const QString &programFolder);
    ~KitMessages();

    // What the text would be (its parts decoded and kept for the message to come), not written.
    Built prepare(const QString &text);
    // The text built and written. Without `ok`, one line on standard error says why.
    Built build(const QString &text);

private:
    Built speak(const QString &text, bool write);
    // The file that `sound` is written to.
    ResultOf<QString> write(const SoundBuffer &sound);

    const AppState &m_settings;
    QString m_defaultFolder;
    QString m_programFolder;
    VoiceKit m_kit;
    std::unique_ptr<QTemporaryDir> m_folder;
};
