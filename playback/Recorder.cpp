// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/Recorder.h"

#include "playback/AudioInput.h"
#include "playback/SoundChoices.h"
#include "playback/TakeRules.h"
#include "playback/audio/WavWriter.h"
#include "station/AppState.h"
#include "station/Log.h"
#include "station/LogText.h"
#include "station/SoundPlayer.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
constexpr int MinRate = 1000;
constexpr int MaxRate = 384000;
} // namespace

Recorder::Recorder(AppState &state, AudioInput &input, SoundPlayer &preview, QObject *parent)
    : QObject(parent), m_state(state), m_input(input), m_preview(preview)
{
    m_nothingTimer = new QTimer(this);
    m_nothingTimer->setSingleShot(true);
    connect(m_nothingTimer, &QTimer::timeout, this, &Recorder::onNothingArrived);
    connect(&m_input, &AudioInput::started, this, &Recorder::onStarted);
    connect(&m_input, &AudioInput::samples, this, &Recorder::onSamples);
    connect(&m_input, &AudioInput::failed, this, &Recorder::onFailed);
    connect(&m_preview, &SoundPlayer::finished, this, &Recorder::onPreviewDone);
    connect(&m_loudness, &TakeLoudness::measured, this, &Recorder::takeChanged);
}

Recorder::~Recorder()
{
    if (m_phase == Recording)
        m_input.stop();
    else if (m_phase == Previewing)
        m_preview.close();
}

double Recorder::seconds() const
{
    return m_sampleRate > 0 ? double(m_take.size()) / m_sampleRate : 0.0;
}

bool Recorder::record()
{
    if (m_phase == Recording)
        return true;
    if (m_messageBusy && m_messageBusy()) {
        say(QStringLiteral("A message is playing: record when it has ended."));
        return false;
    }
    if (m_phase == Previewing)
        stopPreview();

    m_take.clear();
    m_loudness.clear();
    m_sampleRate = 0;
    m_anything = false;
    m_savedFile.clear();
    emit takeChanged();
    // Said before the input starts: from now on no message may start.
    setPhase(Recording);
    say(QString());
    m_nothingTimer->start(m_nothingTimeout);
    m_input.start(m_state.AudioInput);
    return m_phase == Recording;
}

void Recorder::stop()
{
    if (m_phase == Recording) {
        m_input.stop();
        endRecording(m_take.isEmpty() ? QStringLiteral("Nothing was recorded.") : QString());
    } else if (m_phase == Previewing) {
        stopPreview();
    }
}

void Recorder::onStarted(int sampleRate)
{
    if (m_phase != Recording)
        return;
    if (sampleRate < MinRate || sampleRate > MaxRate) {
        m_input.stop();
        endRecording(QStringLiteral("The input records at %1 frames per second, which cannot be "
                                    "saved.")
                         .arg(sampleRate));
        return;
    }
    m_sampleRate = sampleRate;
}

void Recorder::onSamples(const QVector<float> &block)
{
    if (m_phase != Recording || m_sampleRate == 0 || block.isEmpty())
        return;
    m_anything = true;
    m_nothingTimer->stop();
    const qsizetype room = qsizetype(MaxSeconds) * m_sampleRate - m_take.size();
    const qsizetype taken = std::min(room, block.size());
    m_take.append(block.first(taken));
    emit peak(TakeRules::peakDbfs(block.constData(), block.size()));
    emit takeChanged();
    if (taken < block.size() || room == taken) {
        m_input.stop();
        endRecording(
            QStringLiteral("Recording stopped at its limit of %1 minutes.").arg(MaxSeconds / 60));
    }
}

void Recorder::onFailed(const QString &reason)
{
    if (m_phase != Recording)
        return;
    if (m_take.isEmpty())
        endRecording(QStringLiteral("Cannot record: %1").arg(reason));
    else
        endRecording(QStringLiteral("Recording stopped: %1").arg(reason));
}

void Recorder::onNothingArrived()
{
    if (m_phase != Recording || m_anything)
        return;
    m_input.stop();
    const QString input
        = m_state.AudioInput.isEmpty()
              ? QStringLiteral("the default input")
              : QStringLiteral("the input %1").arg(LogText::quoted(m_state.AudioInput));
    endRecording(QStringLiteral("Nothing arrives from %1: check that it is plugged in, or choose "
                                "another input under Setup > Sound...")
                     .arg(input));
}

void Recorder::endRecording(const QString &message)
{
    m_nothingTimer->stop();
    setPhase(m_take.isEmpty() ? Empty : Ready);
    say(message);
    // The part that would be saved (a silent take whole).
    const TakeRules::Verdict verdict = TakeRules::judge(m_take, m_sampleRate);
    if (verdict.kind != TakeRules::Verdict::Silent && !m_take.isEmpty())
        m_loudness.measure(m_take.mid(verdict.begin, verdict.end - verdict.begin), m_sampleRate);
}

bool Recorder::play()
{
    if (m_phase == Recording) {
        say(QStringLiteral("Stop the recording first."));
        return false;
    }
    if (m_take.isEmpty()) {
        say(QStringLiteral("Nothing is recorded yet."));
        return false;
    }
    if (m_phase == Previewing)
        stopPreview();
    const QString refusal = previewRefusal();
    if (!refusal.isEmpty()) {
        say(refusal);
        return false;
    }

    // The take as it would be saved; a silent one whole.
    const TakeRules::Verdict verdict = TakeRules::judge(m_take, m_sampleRate);
    const bool trimmed = verdict.kind != TakeRules::Verdict::Silent;
    const qsizetype begin = trimmed ? verdict.begin : 0;
    const qsizetype end = trimmed ? verdict.end : m_take.size();
    if (!m_previewDir)
        m_previewDir = std::make_unique<QTemporaryDir>();
    if (!m_previewDir->isValid()) {
        say(QStringLiteral("The take cannot be played: %1").arg(m_previewDir->errorString()));
        m_previewDir.reset();
        return false;
    }
    const QString file = m_previewDir->filePath(QStringLiteral("take.wav"));
    QString error;
    if (!WavWriter::write(file, m_take.constData() + begin, end - begin, m_sampleRate, &error)) {
        say(QStringLiteral("The take cannot be played: %1").arg(error));
        return false;
    }

    m_preview.close();
    m_preview.setOutput(m_state.AudioMonitor);
    m_preview.setLevel(m_state.AudioMonitor.isEmpty() ? 100 : m_state.MonitorLevel);
    m_preview.open(file);
    m_preview.play();
    if (m_preview.mode() != SoundPlayer::Mode::Playing) {
        m_preview.close();
        say(QStringLiteral("The take cannot be played: %1 does not answer.").arg(previewOutput()));
        return false;
    }
    setPhase(Previewing);
    say(QString());
    return true;
}

void Recorder::stopPreview()
{
    m_preview.stop();
    // Closing drops the end that the stop would report later.
    m_preview.close();
    setPhase(Ready);
}

QString Recorder::previewOutput() const
{
    return m_state.AudioMonitor.isEmpty()
               ? QStringLiteral("the default output")
               : QStringLiteral("the monitor output %1").arg(LogText::quoted(m_state.AudioMonitor));
}

QString Recorder::previewRefusal() const
{
    const QString defaultOutput = m_defaultOutput ? m_defaultOutput() : QString();
    switch (SoundChoices::listening(m_state.AudioMonitor, m_state.AudioOutput, defaultOutput)) {
    case SoundChoices::Listening::OnTheTransmitter:
        return QStringLiteral("Play is refused: the take would go out on the transmitter's "
                              "output. Choose a monitor output of its own under Setup > Sound...");
    case SoundChoices::Listening::Unknown:
        return QStringLiteral("Play is refused: no sound server tells the default output from the "
                              "transmitter's. Choose a monitor output under Setup > Sound...");
    case SoundChoices::Listening::Apart:
        break;
    }
    return QString();
}

void Recorder::onPreviewDone(SoundPlayer::Outcome outcome)
{
    if (m_phase != Previewing)
        return;
    setPhase(Ready);
    if (outcome == SoundPlayer::Outcome::Failed)
        say(QStringLiteral("The take could not be played to its end: %1 went away.")
                .arg(previewOutput()));
}

bool Recorder::save(int memory)
{
    if (memory < 1 || memory > 6)
        return false;
    if (m_phase == Recording) {
        say(QStringLiteral("Stop the recording first."));
        return false;
    }
    if (m_take.isEmpty()) {
        say(QStringLiteral("Nothing is recorded yet."));
        return false;
    }
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

    QString path;
    QString error;
    if (!writeTake(memory, begin, end, &path, &error)) {
        qCWarning(lcSound).noquote() << QStringLiteral("Cannot save the recording in %1: %2")
                                            .arg(LogText::quoted(m_state.RecordDir), error);
        // The system's reason may end a sentence of its own ("No space left on device.").
        while (error.endsWith(QLatin1Char('.')))
            error.chop(1);
        say(QStringLiteral("The take was not saved: %1. It is kept here; memory %2 keeps its "
                           "file.")
                .arg(error)
                .arg(memory));
        return false;
    }

    m_state.MemFile[memory - 1] = path;
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
    if (m_phase == Recording) {
        say(QStringLiteral("Stop the recording first."));
        return false;
    }
    if (m_take.isEmpty()) {
        say(QStringLiteral("Nothing is recorded yet."));
        return false;
    }
    qsizetype begin = 0;
    qsizetype end = 0;
    if (!judgeTake(&begin, &end))
        return false;
    const QString path = QDir(kitFolder).filePath(file);
    QString error;
    if (!writeKitPart(path, begin, end, &error)) {
        qCWarning(lcSound).noquote()
            << QStringLiteral("Cannot save the kit part %1: %2").arg(LogText::quoted(path), error);
        while (error.endsWith(QLatin1Char('.')))
            error.chop(1);
        say(QStringLiteral("The take was not saved: %1. It is kept here; the kit keeps its "
                           "part.")
                .arg(error));
        return false;
    }
    m_savedFile = path;
    say(QStringLiteral("Saved as the kit's part %1.").arg(LogText::quoted(file)));
    return true;
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

// Writes the kept part of the take beside the kit's part, and puts it in the part's place only
// when it is whole: the part it replaces stays until then.
bool Recorder::writeKitPart(const QString &path, qsizetype begin, qsizetype end, QString *error)
{
    const QFileInfo target(path);
    if (!QDir().mkpath(target.path())) {
        *error = QStringLiteral("the folder %1 cannot be made").arg(target.path());
        return false;
    }
    const QString temporary
        = target.dir().filePath(QLatin1Char('.') + target.fileName() + QStringLiteral(".part"));
    if (!WavWriter::write(temporary, m_take.constData() + begin, end - begin, m_sampleRate, error))
        return false;
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData())
        != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(temporary);
        return false;
    }
    return true;
}

// Writes the part [begin, end) of the take under a temporary name, and gives it its own name only
// when it is whole, never over an existing file.
bool Recorder::writeTake(int memory, qsizetype begin, qsizetype end, QString *path, QString *error)
{
    const QDir folder(m_state.RecordDir);
    if (!QDir().mkpath(folder.path())) {
        *error = QStringLiteral("the folder %1 cannot be made").arg(folder.path());
        return false;
    }
    const QDateTime now = QDateTime::currentDateTime();
    const QString temporary = folder.filePath(QLatin1Char('.') + TakeRules::fileName(memory, now)
                                              + QStringLiteral(".part"));
    if (!WavWriter::write(temporary, m_take.constData() + begin, end - begin, m_sampleRate, error))
        return false;

    constexpr int Attempts = 1000;
    for (int attempt = 1; attempt <= Attempts; ++attempt) {
        const QString name = folder.filePath(TakeRules::fileName(memory, now, attempt));
        if (QFileInfo::exists(name))
            continue;
        QFile file(temporary);
        if (file.rename(name)) {
            *path = name;
            return true;
        }
        if (!QFileInfo::exists(name)) {
            *error = file.errorString();
            QFile::remove(temporary);
            return false;
        }
    }
    QFile::remove(temporary);
    *error = QStringLiteral("no free file name");
    return false;
}

void Recorder::setPhase(Phase phase)
{
    if (phase == m_phase)
        return;
    m_phase = phase;
    emit phaseChanged(phase);
}

void Recorder::say(const QString &message)
{
    if (message == m_message)
        return;
    m_message = message;
    emit messageChanged(message);
}
