#pragma once

#include "playback/audio/AudioSource.h"
#include "playback/audio/SdlOutput.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Plays one AudioSource at a time. A worker thread decodes ahead into a ring buffer and drives
// the SDL output; SDL's audio thread takes the frames from the ring. The UI thread's calls only
// change shared state under a mutex and return at once; no thread runs while nothing plays.
//
// The end of a play (or its failure) is reported through the notifier, called on the audio or
// the worker thread with the play's token; the notifier must hand it to the UI thread queued.
class PlaybackEngine final : private SdlOutput::Renderer
{
public:
    using Clock = std::chrono::steady_clock;
    // Notify codes passed to the notifier: the play reached its end, or it failed.
    enum Outcome { Ended = 1, Failed = 8 };
    using Notifier = std::function<void(quint64 token, int outcome)>;

    explicit PlaybackEngine(Notifier notifier);
    ~PlaybackEngine();
    PlaybackEngine(const PlaybackEngine &) = delete;
    PlaybackEngine &operator=(const PlaybackEngine &) = delete;

    // Starts the sound output and runs task on the worker thread ahead of anything else.
    void warmUp(std::function<void()> task);

    // Replaces the source (null: none) and stops playing; the position goes to its start.
    void setSource(std::unique_ptr<AudioSource> source);
    // Plays from the position; token comes back with the outcome.
    void play(quint64 token);
    // Stops playing; the position stays.
    void stop();
    // Moves the position (frames); a play goes on from there.
    void seek(qint64 frame);
    qint64 position() const;

    // When the first audible sample and the last sample of the latest play were handed to the
    // driver (for the benchmark); a default time point when not yet.
    Clock::time_point firstSoundTime() const;
    Clock::time_point lastSampleTime() const;

    // Buffers of silence the driver must take after the last sample before the end is reported.
    static constexpr int TailBuffers = 2;

private:
    void render(float *out, int frames, int channels) override;
    void outputLost() override;
    void run();
    // Reads frames from the source into the ring; called with the lock held, drops it meanwhile.
    void decode(std::unique_lock<std::mutex> &lock, qint64 frames);
    void markFailed(const QString &message);

    Notifier m_notifier;
    SdlOutput m_output;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_quit = false;
    std::function<void()> m_warmUpTask;
    bool m_warmUp = false;

    // The source: handed over by the UI thread, taken by the worker.
    std::unique_ptr<AudioSource> m_pendingSource;
    bool m_sourceChanged = false;
    int m_sampleRate = 0;
    int m_channels = 0;

    // The ring holds the frames [m_readFrame, m_writeFrame) of the source.
    std::vector<float> m_ring;
    qint64 m_ringFrames = 0;
    qint64 m_readFrame = 0;
    qint64 m_writeFrame = 0;
    quint64 m_epoch = 0; // changes with every new source or seek
    qint64 m_seekTarget = -1;
    bool m_sourceEnded = false;
    bool m_sourceFailed = false;

    // The play.
    bool m_playing = false;
    quint64 m_token = 0;
    bool m_endReached = false;
    int m_tailBuffers = 0;
    bool m_endReported = false;
    Clock::time_point m_firstSound;
    Clock::time_point m_lastSample;

    // Worker thread only.
    std::unique_ptr<AudioSource> m_source;
    std::vector<float> m_scratch;
    bool m_outputRunning = false;
    quint64 m_outputToken = 0;

    std::thread m_worker;
};
