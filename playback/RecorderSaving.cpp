// SPDX-License-Identifier: GPL-3.0-or-later
// The recorder's saving: the take, trimmed, as a memory's file or as a part of the voice kit; each
// written under a temporary name first and put in place only when it is whole.

#include "playback/Recorder.h"

#include "playback/TakeRules.h"
#include "playback/audio/WavWriter.h"
#include "station/AppState.h"
#include "station/Log.h"
#include "station/LogText.h"
#include "station/SettingsBook.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>

bool Recorder::save(int memory)
{
    if (memory < 1 || memory > MemoryCount)
        return false;
    if (!takeAvailable())
        return false;
    const bool busy = m_messageBusy && m_messageBusy();
    if (busy && currentMemory() == memory - 1) {
        // The memory that plays or waits for its repeat keeps its file.
        say(QStringLiteral("Memory %1 is playing: save the take when it has ended.").arg(memory));
        return false;
    }

    qsizetype begin = 0;
    qsizetype end = 0;
    if (!judgeTake(&begin, &end))
        return false;

    const ResultOf<QString> written = writeTake(memory, begin, end);
    if (!written) {
        qCWarning(lcSound).noquote()
            << QStringLiteral("Cannot save the recording in %1: %2")
                   .arg(LogText::quoted(m_state.Places.RecordDir), written.error);
        sayNotSaved(written.error, QStringLiteral("memory %1 keeps its file").arg(memory));
        return false;
    }
    const QString &path = written.value;

    m_settings.edit(&AppState::Memories, [&](auto &area) { area.MemFile[memory - 1] = path; });
    m_savedFile = path;
    const bool settingsSaved = m_saveSettings ? m_saveSettings() : true;
    const QString name = QFileInfo(path).fileName();
    if (settingsSaved)
        say(QStringLiteral("Saved for memory %1 as \"%2\".").arg(memory).arg(name));
    else
        say(QStringLiteral("Saved for memory %1 as \"%2\", but the settings file could not be "
                           "written: the memory keeps it until the program ends.")
                .arg(memory)
                .arg(name));
    return true;
}

bool Recorder::judgeTake(qsizetype *begin, qsizetype *end)
{
    const TakeRules::Verdict verdict = TakeRules::judge(m_take, m_sampleRate);
    if (verdict.kind == TakeRules::Verdict::Silent) {
        say(QStringLiteral("The take is silent: nothing in it reaches %1 dBFS. Check the input "
                           "and record again.")
                .arg(TakeRules::SilenceDbfs));
        return false;
    }
    if (verdict.kind == TakeRules::Verdict::Clipped) {
        say(QStringLiteral("The take is clipped in %1% of its samples: lower the input's level "
                           "and record again.")
                .arg(verdict.clippedShare * 100, 0, 'f', 1));
        return false;
    }
    *begin = verdict.begin;
    *end = verdict.end;
    return true;
}

QString Recorder::kitFileName(const QString &part)
{
    static const QRegularExpression word(QStringLiteral("^[a-z0-9_-]+$"));
    static const QRegularExpression call(QStringLiteral("^calls/[a-z0-9-]+$"));
    const QString name = part.trimmed().toLower();
    if (name == QLatin1String("/") || name == QLatin1String("slash"))
        return QStringLiteral("slash.wav");
    if (word.match(name).hasMatch() || call.match(name).hasMatch())
        return name + QLatin1String(".wav");
    return QString();
}

bool Recorder::saveKitPart(const QString &kitFolder, const QString &part)
{
    const QString file = kitFileName(part);
    if (file.isEmpty()) {
        say(QStringLiteral("%1 is no name for a kit part: a letter, a digit, \"/\", a word "
                           "(letters, digits, - and _) or calls/ and a call.")
                .arg(LogText::quoted(part.trimmed())));
        return false;
    }
    if (!takeAvailable())
        return false;
    qsizetype begin = 0;
    qsizetype end = 0;
    if (!judgeTake(&begin, &end))
        return false;
    const QString path = QDir(kitFolder).filePath(file);
    const Result written = writeKitPart(path, begin, end);
    if (!written) {
        qCWarning(lcSound).noquote() << QStringLiteral("Cannot save the kit part %1: %2")
                                            .arg(LogText::quoted(path), written.error);
        sayNotSaved(written.error, QStringLiteral("the kit keeps its part"));
        return false;
    }
    m_savedFile = path;
    say(QStringLiteral("Saved as the kit's part %1.").arg(LogText::quoted(file)));
    return true;
}

void Recorder::sayNotSaved(QString error, const QString &kept)
{
    // The system's reason may end a sentence of its own ("No space left on device.").
    while (error.endsWith(QLatin1Char('.')))
        error.chop(1);
    say(QStringLiteral("The take was not saved: %1. It is kept here; %2.").arg(error, kept));
}

QStringList Recorder::removeLeftovers(const QStringList &folders)
{
    static const QRegularExpression leftover(QStringLiteral("^\\..+\\.wav\\.part$"));
    QStringList removed;
    for (const QString &folder : folders) {
        const QFileInfoList entries = QDir(folder).entryInfoList(
            QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QFileInfo &entry : entries) {
            if (leftover.match(entry.fileName()).hasMatch() && (entry.isSymLink() || entry.isFile())
                && QFile::remove(entry.filePath()))
                removed << entry.filePath();
        }
    }
    return removed;
}

// Writes the part [begin, end) of the take to file, in folder, which is made first.
Result Recorder::writePart(const QString &folder, const QString &file, qsizetype begin,
                           qsizetype end) const
{
    if (!QDir().mkpath(folder))
        return Result::failure(QStringLiteral("the folder %1 cannot be made").arg(folder));
    return WavWriter::write(file, m_take.constData() + begin, end - begin, m_sampleRate);
}

// Writes the kept part of the take beside the kit's part, and puts it in the part's place only
// when it is whole: the part it replaces stays until then.
Result Recorder::writeKitPart(const QString &path, qsizetype begin, qsizetype end)
{
    const QFileInfo target(path);
    const QString temporary
        = target.dir().filePath(QLatin1Char('.') + target.fileName() + QStringLiteral(".part"));
    if (Result step = writePart(target.path(), temporary, begin, end); !step)
        return step;
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData())
        != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(temporary);
        return Result::failure(reason);
    }
    return {};
}

// Writes the part [begin, end) of the take under a temporary name, and gives it its own name only
// when it is whole, never over an existing file.
ResultOf<QString> Recorder::writeTake(int memory, qsizetype begin, qsizetype end)
{
    const QDir folder(m_state.Places.RecordDir);
    const QDateTime now = QDateTime::currentDateTime();
    const QString temporary = folder.filePath(QLatin1Char('.') + TakeRules::fileName(memory, now)
                                              + QStringLiteral(".part"));
    if (Result step = writePart(folder.path(), temporary, begin, end); !step)
        return ResultOf<QString>::failure(step.error);

    constexpr int Attempts = 1000;
    for (int attempt = 1; attempt <= Attempts; ++attempt) {
        const QString name = folder.filePath(TakeRules::fileName(memory, now, attempt));
        if (QFileInfo::exists(name))
            continue;
        QFile file(temporary);
        if (file.rename(name))
            return {name};
        if (!QFileInfo::exists(name)) {
            QFile::remove(temporary);
            return ResultOf<QString>::failure(file.errorString());
        }
    }
    QFile::remove(temporary);
    return ResultOf<QString>::failure(QStringLiteral("no free file name"));
}
