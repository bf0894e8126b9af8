// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/kit/KitMessages.h"

#include "station/AppState.h"
#include "station/FileNames.h"
#include "station/Log.h"
#include "station/LogText.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sndfile.h>

#include <cstdio>

KitMessages::KitMessages(const AppState &settings, const QString &defaultFolder,
                         const QString &programFolder)
    : m_settings(settings), m_defaultFolder(defaultFolder), m_programFolder(programFolder)
{ }

KitMessages::~KitMessages() = default;

KitMessages::Built KitMessages::prepare(const QString &text)
{
    return speak(text, false);
}

KitMessages::Built KitMessages::build(const QString &text)
{
    Built built = speak(text, true);
    if (!built.ok)
        qCWarning(lcSound).noquote()
            << QStringLiteral("Cannot say %1: %2").arg(LogText::quoted(text), built.error);
    return built;
}

KitMessages::Built KitMessages::speak(const QString &text, bool write)
{
    m_kit.setFolder(
        VoiceKit::folderFor(m_settings.Kit.KitFolder, m_defaultFolder, m_programFolder));
    m_kit.setGaps(m_settings.Kit.KitLetterGapMs, m_settings.Kit.KitWordGapMs);
    m_kit.setLoudness(m_settings.Audio.AudioLoudness);
    const VoiceKit::Spoken spoken = m_kit.speak(text);
    Built built{spoken.ok, spoken.missing, spoken.seconds, spoken.error, QString()};
    if (built.ok && write) {
        const ResultOf<QString> written = this->write(*spoken.sound);
        built.path = written.value;
        if (!written) {
            built.ok = false;
            built.error = written.error;
        }
    }
    return built;
}

ResultOf<QString> KitMessages::write(const SoundBuffer &sound)
{
    if (!m_folder || !m_folder->isValid()) {
        QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        if (runtime.isEmpty())
            runtime = QDir::tempPath();
        m_folder = std::make_unique<QTemporaryDir>(runtime + QLatin1String("/voicevocta-XXXXXX"));
        if (!m_folder->isValid())
            return ResultOf<QString>::failure(
                QStringLiteral("no folder for the spoken text in %1: %2")
                    .arg(runtime, m_folder->errorString()));
    }
    const QString part = m_folder->filePath(QStringLiteral("text.wav.part"));
    const QString done = m_folder->filePath(QStringLiteral("text.wav"));
    SF_INFO info{};
    info.samplerate = sound.sampleRate;
    info.channels = sound.channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE *file = sf_open(FileNames::encode(part).constData(), SFM_WRITE, &info);
    bool whole = file != nullptr;
    if (whole)
        whole = sf_writef_float(file, sound.samples.data(), sf_count_t(sound.frameCount()))
                == sf_count_t(sound.frameCount());
    const QString failure = QString::fromUtf8(sf_strerror(file));
    if (file && sf_close(file) != 0)
        whole = false;
    // Renamed over the one before: a player that has that one open goes on reading it.
    if (!whole
        || std::rename(FileNames::encode(part).constData(), FileNames::encode(done).constData())
               != 0) {
        QFile::remove(part);
        return ResultOf<QString>::failure(
            QStringLiteral("the spoken text cannot be written to %1: %2").arg(part, failure));
    }
    return {done};
}
