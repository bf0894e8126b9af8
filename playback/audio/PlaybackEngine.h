// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/audio/AudioSource.h"
#include "playback/audio/SdlOutput.h"
#include "playback/audio/SoundOutput.h"
#include "playback/audio/WorkerRequests.h"
#include "station/SoundPlayer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class PulseConnection;

// Plays one AudioSource at a time. A worker thread decodes ahead into a ring buffer and drives
// the sound output: the sound server's stream, or SDL's audio where no server answers. The
// output takes the frames from the ring on a thread of its own. The UI thread's calls only change
// shared state under a mutex and return at once; no thread runs while nothing plays.
//
// The end of a play (or its failure) is reported through the notifier, called on the output's or
// the worker's thread with the play's token; the notifier must hand it to the UI thread queued.
class PlaybackEngine final : private SoundOutput::Feed
{
public:
    using Clock = std::chrono::steady_clock;
    // What the notifier is told: the play reached its end, or it failed.
    using Outcome = SoundPlayer::Outcome;
    static constexpr Outcome Ended = Outcome::Ended;
    static constexpr Outcome Failed = Outcome::Failed;
    using Notifier = std::function<void(quint64 token, Outcome outcome)>;
    // What prepare() is told: the output is ready to sound at once (ok), or why it cannot be.
    // Called on the output's or the worker's thread; it must hand it on queued.
    using PreparedNotifier = std::function<void(quint64 token, bool ok, const QString &error)>;

    // Which output plays: none chosen yet, the sound server's, or SDL's.
    enum class Route { None, Server, Fallback };

    PlaybackEngine(PulseConnection &connection, Notifier notifier,
                   PreparedNotifier preparedNotifier = nullptr);
    ~PlaybackEngine();
    PlaybackEngine(const PlaybackEngine &) = delete;
    PlaybackEngine &operator=(const PlaybackEngine &) = delete;

    // Runs task on the worker thread ahead of anything else, after those given before it.
    void warmUp(std::function<void()> task);

    // Replaces the source (null: none) and stops playing; the position goes to its start.
    void setSource(std::unique_ptr<AudioSource> source);
    // The output the next play goes to (sink: the server's output by name, empty: the default);
    // it is made ready ahead of the play.
    void setRoute(Route route, const QString &sink);
    // Makes that output ready to sound at once (opened, its device awake), for the next play();
    // token comes back through the prepared notifier.
    void prepare(quint64 token, Route route, const QString &sink);
    // Plays from the position through that output; token comes back with the outcome.
    void play(quint64 token, Route route, const QString &sink);
    // Stops playing; the position stays.
    void stop();
    // Moves the position (frames); a play goes on from there.
    void seek(qint64 frame);
    // Moves the position back by frames from where the play was heard to (what a server had
    // queued and dropped at a stop is known only a moment later), never before the start.
    void stepBack(qint64 frames);
    qint64 position() const;
    // The levels (linear amplitude, 0..1) of what plays and of the monitor, at once (also to
    // what an output has queued). Any thread.
    void setLevels(float level, float monitorLevel);
    // The server's output that also plays what is sent (empty: none), from the next play on.
    void setMonitor(const QString &sink);

    // Frames the output has taken since the play started: moves while the output plays.
    qint64 framesTaken() const;

    // When the first audible sample and the last sample of the latest play were handed to the
    // output (for the benchmark); a default time point when not yet.
    Clock::time_point firstSoundTime() const;
    Clock::time_point lastSampleTime() const;

    // Without a play for this long, SDL's device and subsystem are closed, so that its threads
    // stop waking.
    static constexpr std::chrono::seconds FallbackIdleClose{5};

private:
    // The ring holds this many frames (0.74 s at 44.1 kHz), whatever the channel count. The
    // worker decodes in blocks of BlockFrames, and starts with a smaller one.
    static constexpr qint64 RingFrames = 32768;
    static constexpr qint64 BlockFrames = 4096;
    static constexpr qint64 StartFrames = 1024;
    static constexpr qint64 StartAheadFrames = RingFrames / 2;
    static constexpr int MaxChannels = 8;

    // Zeroed samples whose memory the system hands out page by page as they are first written:
    // an engine that has not played holds none of its ring, and a mono play only part of it.
    class Samples
    {
    public:
        explicit Samples(size_t count);
        float *data() const { return m_samples.get(); }

    private:
        struct Free
        {
            void operator()(float *samples) const;
        };
        std::unique_ptr<float[], Free> m_samples;
    };

    int take(float *out, int frames, int channels, bool *end) override;
    void finished(bool failed, const QString &error) override;

    // The worker thread (PlaybackWorker.cpp): it takes the requests the calls leave and drives the
    // play, one step at a time, with the lock held (dropped while it waits on a source or an
    // output); a step that returns true has done something, and the worker looks again.
    void run();
    template<typename Kind>
    bool takeRequest(std::unique_lock<std::mutex> &lock);
    void apply(std::unique_lock<std::mutex> &lock, WorkerRequests::RunTasks &request);
    void apply(std::unique_lock<std::mutex> &lock, WorkerRequests::TakeSource &request);
    void apply(std::unique_lock<std::mutex> &lock, const WorkerRequests::OpenOutput &request);
    void apply(std::unique_lock<std::mutex> &lock, const WorkerRequests::WakeOutput &request);
    void apply(std::unique_lock<std::mutex> &lock, const WorkerRequests::SeekSource &request);
    void apply(std::unique_lock<std::mutex> &lock, const WorkerRequests::StepBack &request);
    bool decodeFirstFrames(std::unique_lock<std::mutex> &lock);
    bool silenceStoppedPlay(std::unique_lock<std::mutex> &lock);
    bool startPlay(std::unique_lock<std::mutex> &lock);
    bool resumeOutput(std::unique_lock<std::mutex> &lock);
    bool decodeAhead(std::unique_lock<std::mutex> &lock);
    void idle(std::unique_lock<std::mutex> &lock);
    void endWorker();

    SoundOutput *outputFor(Route route);
    // Makes output the active one, closing the one that was; worker thread, without the lock.
    void switchTo(SoundOutput *output);
    // What the output is to play now; with the lock held.
    SoundOutput::Format format() const;
    // Moves the position to frame, dropping what was decoded ahead; with the lock held.
    void moveTo(qint64 frame);
    // Reads frames from the source into the ring; called with the lock held, drops it meanwhile.
    void decode(std::unique_lock<std::mutex> &lock, qint64 frames);
    void markFailed(const QString &message);

    Notifier m_notifier;
    PreparedNotifier m_preparedNotifier;
    std::unique_ptr<SoundOutput> m_serverOutput;
    SdlOutput m_fallbackOutput;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_quit = false;
    WorkerRequests::Mailbox m_requests; // what the calls ask of the worker

    // The source: handed over by the UI thread, taken by the worker (TakeSource).
    std::atomic<bool> m_abandonSettle{false}; // the source that settles is replaced, or the end
    int m_sampleRate = 0;
    int m_channels = 0;

    // The output the next play goes to.
    Route m_route = Route::None;
    QString m_sink;
    QString m_monitor;

    // The ring holds the frames [m_readFrame, m_writeFrame) of the source.
    Samples m_ring;
    qint64 m_ringFrames = 0;
    qint64 m_readFrame = 0;
    qint64 m_writeFrame = 0;
    quint64 m_epoch = 0; // changes with every new source or seek
    bool m_sourceEnded = false;
    bool m_sourceFailed = false;

    // The play.
    bool m_playing = false;
    quint64 m_token = 0;
    bool m_endReached = false;
    bool m_endReported = false;
    bool m_starved = false; // the output came short of frames and waits for framesReady()
    qint64 m_taken = 0;
    Clock::time_point m_firstSound;
    Clock::time_point m_lastSample;

    // Worker thread only.
    std::unique_ptr<AudioSource> m_source;
    Samples m_scratch;
    SoundOutput *m_active = nullptr; // the output that plays or played last
    bool m_outputRunning = false;
    quint64 m_outputToken = 0;

    std::thread m_worker;
};
