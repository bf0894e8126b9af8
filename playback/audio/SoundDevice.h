// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/Result.h"
#include "station/SoundPlayer.h"

#include <QStringList>

#include <chrono>
#include <memory>

class AudioSource;
class MessageLoudness;
class PulseConnection;

// The sound player on the computer's sound output: sound files through libsndfile, MIDI
// files through FluidSynth, played through the sound server (PulseAudio, or PipeWire through
// pipewire-pulse) and, only where no server answers, through SDL2's audio. Decoding runs ahead on
// a worker thread, so no command waits for a whole file; a MIDI file's length comes from its
// tempo map.
//
// A named output (setOutput) is the server's sink of that name and never another: where it is
// absent, open() does not open the file and a play does not start. A play that stops making
// progress for StallMs (a sound server that hangs) fails, so the transmitter is released. The
// level is applied by the sound server, at once, also to what it holds queued.
class SoundDevice : public SoundPlayer
{
    Q_OBJECT
public:
    static QString defaultSoundFont();

    // On a connection to the sound server of its own.
    explicit SoundDevice(QObject *parent = nullptr);
    // On the program's shared connection, which must outlive the device.
    explicit SoundDevice(PulseConnection &connection, QObject *parent = nullptr);
    SoundDevice(PulseConnection *connection, const QString &soundFontPath,
                QObject *parent = nullptr);
    ~SoundDevice() override;

    // Opens the sound-file library in the background, so that the first file opened need not wait
    // for it. Returns at once.
    void loadSoundFileLibrary();
    // Loads the soundfont in the background when one of `paths` (the memories' files) is a MIDI
    // file, so that its first play need not wait for it. Returns at once.
    void preloadFor(const QStringList &paths);

    // How loud the messages play (none: as recorded), asked at every open; it must outlive the
    // device. levelAgain() applies a change to the file that is open, unless it plays (then from
    // the next open on): a message keeps one gain from its first sample to its last.
    void setLoudness(MessageLoudness *loudness);
    void levelAgain();

    void setOutput(const QString &name) override;
    void setLevel(int percent) override;
    // The sound server's output that also plays every message, for the operator's ears (empty:
    // none), and its level in percent (0..100). The output is used from the next play on; the
    // level at once. It never holds the messages: a monitor that is absent or falls behind drops
    // out, with one line on standard error.
    void setMonitor(const QString &name, int percent);

    OpenResult open(const QString &path) override;
    void close() override;
    // Makes the sound server's stream ready and its sink awake for the play (SDL's output, and a
    // server that has not answered yet, are started by the play); prepared(true) follows once the
    // server has done it, prepared(false) when it cannot or does not within PrepareMs.
    void prepare() override;
    void play() override;
    void stop() override;
    void rewind() override;
    void stepBack() override;
    void toEnd() override;

    Mode mode() const override;
    qint32 length() const override;

    // When the latest play was asked for, when its first audible sample and its last sample were
    // handed to the output, and when its Done was emitted (for the benchmark).
    struct Timings
    {
        std::chrono::steady_clock::time_point play;
        std::chrono::steady_clock::time_point firstSound;
        std::chrono::steady_clock::time_point lastSample;
        std::chrono::steady_clock::time_point done;
    };
    Timings timings() const;

    static constexpr int StallMs = 4000;
    static constexpr int PrepareMs = 4000;

private:
    void setMode(Mode mode);
    void applyLevels();
    ResultOf<std::unique_ptr<AudioSource>> openMidi(const QString &path);
    ResultOf<std::unique_ptr<AudioSource>> openSource(const QString &path);
    void queueDone(Outcome outcome);
    void deliverDone(quint64 generation, quint64 play, Outcome outcome);
    void finishPlay(quint64 play, Outcome outcome);
    void finishPrepare(quint64 token, bool ok, const QString &error);
    void dropPrepare();
    // Why the named output cannot play now; empty when it can (or when that is not known yet).
    QString missingOutput() const;
    void routeChanged();
    void startPending();
    void checkProgress();

    struct Private;
    std::unique_ptr<Private> d;
};
