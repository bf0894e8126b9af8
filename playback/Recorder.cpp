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

#include <QTemporaryDir>
#include <QTimer>

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
    m_input.start(m_state.Audio.AudioInput);
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
        = m_state.Audio.AudioInput.isEmpty()
              ? QStringLiteral("the default input")
              : QStringLiteral("the input %1").arg(LogText::quoted(m_state.Audio.AudioInput));
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
    if (!takeAvailable())
        return false;
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
    const Result written
        = WavWriter::write(file, m_take.constData() + begin, end - begin, m_sampleRate);
    if (!written) {
        say(QStringLiteral("The take cannot be played: %1").arg(written.error));
        return false;
    }

    m_preview.close();
    m_preview.setOutput(m_state.Audio.AudioMonitor);
    m_preview.setLevel(m_state.Audio.AudioMonitor.isEmpty() ? 100 : m_state.Audio.MonitorLevel);
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
    return m_state.Audio.AudioMonitor.isEmpty()
               ? QStringLiteral("the default output")
               : QStringLiteral("the monitor output %1").arg(LogText::quoted(m_state.Audio.AudioMonitor));
}

QString Recorder::previewRefusal() const
{
    const QString defaultOutput = m_defaultOutput ? m_defaultOutput() : QString();
    switch (SoundChoices::listening(m_state.Audio.AudioMonitor, m_state.Audio.AudioOutput, defaultOutput)) {
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

bool Recorder::takeAvailable()
{
    if (m_phase == Recording) {
        say(QStringLiteral("Stop the recording first."));
        return false;
    }
    if (m_take.isEmpty()) {
        say(QStringLiteral("Nothing is recorded yet."));
        return false;
    }
    return true;
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
