// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/loudness/TakeLoudness.h"
#include "station/Result.h"
#include "station/SoundPlayer.h"

#include <QObject>
#include <QString>
#include <QVector>
#include <functional>
#include <memory>

class SettingsBook;
struct AppState;
class AudioInput;
class SoundPlayer;
class QTemporaryDir;
class QTimer;

// Recording a memory from the microphone, without widgets: Record and Stop take a take from the
// input (AppState::AudioInput), Play lets the operator hear it on the preview device, and Save
// trims it, writes it into AppState::RecordDir and binds it to a memory.
//
// Play goes to the monitor output (AppState::AudioMonitor, at its level), or to the system's
// default output when no monitor is chosen; never to the transmitter's output: when that would be
// the same sink (both the default, or the default output is the rig's), or cannot be told apart
// from it (no sound server names the default), Play is refused and says why.
//
// The rules of the station: recording is refused while a message plays, and the phase Recording
// tells the station that no message may start meanwhile. Nothing here keys the transmitter.
// Every outcome the operator must know is said in message().
class Recorder : public QObject
{
    Q_OBJECT
public:
    enum Phase {
        Empty, // no take
        Recording,
        Ready, // a take is held
        Previewing, // the take plays on the preview device
    };

    // The longest take; recording stops by itself there.
    static constexpr int MaxSeconds = 300;

    Recorder(SettingsBook &settings, AudioInput &input, SoundPlayer &preview,
             QObject *parent = nullptr);
    ~Recorder() override;

    // Whether a message plays now (unset: none ever does).
    void setMessageBusy(std::function<bool()> query) { m_messageBusy = std::move(query); }
    // The name of the sound server's default output now; empty when no server names one.
    void setDefaultOutput(std::function<QString()> query) { m_defaultOutput = std::move(query); }
    // The memory (0..5) last started, -1 for none: while a message plays it keeps its file.
    void setCurrentMemory(std::function<int()> query) { m_currentMemory = std::move(query); }
    int currentMemory() const { return m_currentMemory ? m_currentMemory() : -1; }
    // Saves the settings file; returns whether it was saved.
    void setSaveSettings(std::function<bool()> save) { m_saveSettings = std::move(save); }
    // How long the input may deliver nothing after a start before it counts as dead.
    void setNothingTimeout(int milliseconds) { m_nothingTimeout = milliseconds; }

    // Starts a new take (the one held is dropped). False, with a message, when refused.
    bool record();
    // Ends the recording, or the preview.
    void stop();
    // Plays the take as it would be saved. False, with a message, when it cannot.
    bool play();
    // Saves the take for memory (1..6) and binds it; the settings are saved at once. False, with
    // a message, when refused or when writing fails; the take stays held either way.
    bool save(int memory);
    // Saves the take as the voice kit's part `part` in `kitFolder` (made when missing), trimmed
    // and checked as for a memory, replacing the part's recording. A part is a letter or digit,
    // "/" or "slash", a word's name (letters, digits, '-', '_'), or a whole call as
    // "calls/<call>" (a '/' in the call written '-'); letters count alike in either case. False,
    // with a message, when refused or when writing fails; the take stays held either way.
    bool saveKitPart(const QString &kitFolder, const QString &part);
    // The file name of a kit part ("a.wav", "slash.wav", "calls/dl1abc.wav"); empty when `part`
    // names none.
    static QString kitFileName(const QString &part);
    // Removes from `folders` what saves cut short left behind (a take or kit part is written
    // under a hidden name, ".<name>.wav.part", before it gets its own): files and links of that
    // name only, never what a link points to. Returns the paths removed.
    static QStringList removeLeftovers(const QStringList &folders);

    Phase phase() const { return m_phase; }
    const QVector<float> &take() const { return m_take; }
    int sampleRate() const { return m_sampleRate; }
    double seconds() const;
    // What the operator should read now; empty when there is nothing to say.
    const QString &message() const { return m_message; }
    // The file of the latest successful save.
    const QString &savedFile() const { return m_savedFile; }
    // The loudness of the take as it would be saved, measured once it has ended (takeChanged()
    // follows); nothing until then.
    std::optional<Loudness> takeLoudness() const { return m_loudness.result(); }

signals:
    void phaseChanged(Recorder::Phase phase);
    // The peak of the latest block while recording, in dBFS (minus infinity for silence).
    void peak(double dBFS);
    void messageChanged(const QString &message);
    // The take grew or was replaced.
    void takeChanged();

private:
    void onStarted(int sampleRate);
    void onSamples(const QVector<float> &block);
    void onFailed(const QString &reason);
    void onNothingArrived();
    void onPreviewDone(SoundPlayer::Outcome outcome);
    void endRecording(const QString &message);
    void stopPreview();
    void setPhase(Phase phase);
    void say(const QString &message);
    // The file the take is saved as.
    ResultOf<QString> writeTake(int memory, qsizetype begin, qsizetype end);
    // Why Play may not go to the monitor output now; empty when it may.
    QString previewRefusal() const;
    // The output the take plays on, as the operator reads it.
    QString previewOutput() const;
    // The part of the take to keep; false, with a message, when there is none to save.
    bool judgeTake(qsizetype *begin, qsizetype *end);
    // Whether there is a take to play or save; false, with a message, when not.
    bool takeAvailable();
    // Says that the take was not saved, why, and what keeps its file.
    void sayNotSaved(QString error, const QString &kept);
    Result writePart(const QString &folder, const QString &file, qsizetype begin,
                     qsizetype end) const;
    Result writeKitPart(const QString &path, qsizetype begin, qsizetype end);

    SettingsBook &m_settings;
    const AppState &m_state;
    AudioInput &m_input;
    SoundPlayer &m_preview;
    std::function<bool()> m_messageBusy;
    std::function<QString()> m_defaultOutput;
    std::function<int()> m_currentMemory;
    std::function<bool()> m_saveSettings;
    int m_nothingTimeout = 3000;
    QTimer *m_nothingTimer = nullptr;
    std::unique_ptr<QTemporaryDir> m_previewDir; // made at the first preview

    Phase m_phase = Empty;
    QVector<float> m_take;
    int m_sampleRate = 0;
    bool m_anything = false; // a block arrived since the start
    QString m_message;
    QString m_savedFile;
    TakeLoudness m_loudness;
};
