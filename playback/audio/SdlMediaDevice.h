#pragma once

#include "playback/MediaDevice.h"

#include <chrono>
#include <memory>

// The multimedia device on the computer's sound output: sound files through libsndfile, MIDI
// files through FluidSynth, played with SDL2's audio. Decoding runs ahead on a worker thread, so
// no command waits for a whole file; a MIDI file's length comes from its tempo map.
class SdlMediaDevice : public MediaDevice
{
    Q_OBJECT
public:
    static QString defaultSoundFont();

    explicit SdlMediaDevice(QObject *parent = nullptr);
    explicit SdlMediaDevice(const QString &soundFontPath, QObject *parent = nullptr);
    ~SdlMediaDevice() override;

    // Starts the sound output and loads the soundfont in the background, so that the first
    // "Play" of a MIDI file need not wait for them. Returns at once.
    void preload();

    int Mode() const override;
    qint32 Length() const override;

    // When the latest play was asked for, when its first audible sample and its last sample were
    // handed to the driver, and when its Done was emitted (for the benchmark).
    struct Timings
    {
        std::chrono::steady_clock::time_point play;
        std::chrono::steady_clock::time_point firstSound;
        std::chrono::steady_clock::time_point lastSample;
        std::chrono::steady_clock::time_point done;
    };
    Timings timings() const;

protected:
    void open() override;
    void close() override;
    void play() override;
    void stop() override;
    void prev() override;
    void back() override;
    void next() override;

private:
    void setMode(int mode);
    void queueDone(int notifyCode);
    void deliverDone(quint64 generation, quint64 play, int notifyCode);
    void finishPlay(quint64 play, int notifyCode);

    struct Private;
    std::unique_ptr<Private> d;
};
