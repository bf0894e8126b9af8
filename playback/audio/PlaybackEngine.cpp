// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/PlaybackEngine.h"
#include "station/Log.h"

#include "playback/audio/PulseOutput.h"

#include <QDebug>

#include <algorithm>
#include <cstdlib>
#include <new>

PlaybackEngine::Samples::Samples(size_t count)
    : m_samples(static_cast<float *>(std::calloc(count, sizeof(float))))
{
    if (!m_samples)
        throw std::bad_alloc();
}

void PlaybackEngine::Samples::Free::operator()(float *samples) const
{
    std::free(samples);
}

PlaybackEngine::PlaybackEngine(PulseConnection &connection, Notifier notifier,
                               PreparedNotifier preparedNotifier)
    : m_notifier(std::move(notifier))
    , m_preparedNotifier(std::move(preparedNotifier))
    , m_serverOutput(std::make_unique<PulseOutput>(connection, static_cast<Feed &>(*this)))
    , m_fallbackOutput(static_cast<Feed &>(*this))
    , m_ring(size_t(RingFrames * MaxChannels))
    , m_scratch(size_t(BlockFrames * MaxChannels))
{
    m_worker = std::thread([this] { run(); });
}

PlaybackEngine::~PlaybackEngine()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        m_abandonSettle = true;
    }
    m_wake.notify_one();
    m_worker.join();
}

void PlaybackEngine::warmUp(std::function<void()> task)
{
    std::lock_guard lock(m_mutex);
    m_requests.post(WorkerRequests::RunTasks{{std::move(task)}});
    m_wake.notify_one();
}

void PlaybackEngine::setSource(std::unique_ptr<AudioSource> source)
{
    std::optional<WorkerRequests::Request> dropped; // a source the worker has not taken yet
    {
        std::lock_guard lock(m_mutex);
        const int channels = source ? source->channels() : 0;
        m_channels = channels >= 1 && channels <= MaxChannels ? channels : 0;
        m_sampleRate = source ? source->sampleRate() : 0;
        dropped = m_requests.post(WorkerRequests::TakeSource{std::move(source)});
        m_abandonSettle = true;
        m_ringFrames = RingFrames;
        m_readFrame = 0;
        m_writeFrame = 0;
        ++m_epoch;
        m_requests.drop<WorkerRequests::SeekSource>();
        m_sourceEnded = false;
        m_sourceFailed = false;
        m_playing = false;
        m_wake.notify_one();
    }
}

void PlaybackEngine::setRoute(Route route, const QString &sink)
{
    std::lock_guard lock(m_mutex);
    if (route == m_route && sink == m_sink)
        return;
    m_route = route;
    m_sink = sink;
    m_requests.post(WorkerRequests::OpenOutput{});
    m_wake.notify_one();
}

void PlaybackEngine::setLevels(float level, float monitorLevel)
{
    m_serverOutput->setLevels(level, monitorLevel);
    m_fallbackOutput.setLevels(level, monitorLevel);
}

void PlaybackEngine::setMonitor(const QString &sink)
{
    std::lock_guard lock(m_mutex);
    if (sink == m_monitor)
        return;
    m_monitor = sink;
    m_requests.post(WorkerRequests::OpenOutput{});
    m_wake.notify_one();
}

void PlaybackEngine::prepare(quint64 token, Route route, const QString &sink)
{
    std::lock_guard lock(m_mutex);
    if (route != m_route || sink != m_sink)
        m_requests.post(WorkerRequests::OpenOutput{});
    m_route = route;
    m_sink = sink;
    m_requests.post(WorkerRequests::WakeOutput{token});
    m_wake.notify_one();
}

void PlaybackEngine::play(quint64 token, Route route, const QString &sink)
{
    std::lock_guard lock(m_mutex);
    m_route = route;
    m_sink = sink;
    m_playing = true;
    m_token = token;
    m_endReached = false;
    m_endReported = false;
    m_starved = false;
    m_taken = 0;
    m_firstSound = {};
    m_lastSample = {};
    m_wake.notify_one();
}

void PlaybackEngine::stop()
{
    std::lock_guard lock(m_mutex);
    m_playing = false;
    m_wake.notify_one();
}

void PlaybackEngine::seek(qint64 frame)
{
    std::lock_guard lock(m_mutex);
    if (m_channels == 0)
        return;
    m_requests.drop<WorkerRequests::StepBack>();
    m_endReached = false;
    frame = std::max<qint64>(0, frame);
    if (frame == m_readFrame && !m_sourceFailed)
        return; // already there, with what was decoded ahead still good
    moveTo(frame);
}

void PlaybackEngine::moveTo(qint64 frame)
{
    m_readFrame = frame;
    m_writeFrame = frame;
    ++m_epoch;
    m_requests.post(WorkerRequests::SeekSource{frame});
    m_sourceEnded = false;
    m_sourceFailed = false;
    m_endReached = false;
    m_wake.notify_one();
}

void PlaybackEngine::stepBack(qint64 frames)
{
    std::lock_guard lock(m_mutex);
    if (m_channels == 0 || frames <= 0)
        return;
    m_requests.post(WorkerRequests::StepBack{frames});
    m_endReached = false;
    m_wake.notify_one();
}

qint64 PlaybackEngine::position() const
{
    std::lock_guard lock(m_mutex);
    return m_readFrame;
}

qint64 PlaybackEngine::framesTaken() const
{
    std::lock_guard lock(m_mutex);
    return m_taken;
}

PlaybackEngine::Clock::time_point PlaybackEngine::firstSoundTime() const
{
    std::lock_guard lock(m_mutex);
    return m_firstSound;
}

PlaybackEngine::Clock::time_point PlaybackEngine::lastSampleTime() const
{
    std::lock_guard lock(m_mutex);
    return m_lastSample;
}

void PlaybackEngine::markFailed(const QString &message)
{
    m_sourceFailed = true;
    m_sourceEnded = true;
    qCWarning(lcSound).noquote() << "Sound playback failed:" << message;
}

int PlaybackEngine::take(float *out, int frames, int channels, bool *end)
{
    std::lock_guard lock(m_mutex);
    *end = false;
    if (!m_playing || m_endReported || channels != m_channels)
        return 0;
    const int copied = int(std::min<qint64>(m_writeFrame - m_readFrame, frames));
    const qint64 start = m_readFrame % m_ringFrames;
    const qint64 first = std::min<qint64>(copied, m_ringFrames - start);
    const float *ring = m_ring.data();
    std::copy_n(ring + start * channels, first * channels, out);
    std::copy_n(ring, (copied - first) * channels, out + first * channels);
    m_readFrame += copied;
    m_taken += copied;

    const auto now = Clock::now();
    if (m_firstSound == Clock::time_point{}
        && std::any_of(out, out + qint64(copied) * channels, [](float s) { return s != 0.0f; }))
        m_firstSound = now;
    if (copied > 0 && m_ringFrames - (m_writeFrame - m_readFrame) >= BlockFrames)
        m_wake.notify_one();
    if (m_sourceEnded && m_readFrame == m_writeFrame) {
        *end = true;
        if (!m_endReached) {
            m_endReached = true;
            m_lastSample = now;
        }
    } else if (copied < frames) {
        m_starved = true; // framesReady() follows the next decoded block
    }
    return copied;
}

void PlaybackEngine::finished(bool failed, const QString &error)
{
    quint64 token = 0;
    Outcome outcome = Ended;
    {
        std::lock_guard lock(m_mutex);
        if (!m_playing || m_endReported)
            return;
        m_endReported = true;
        token = m_token;
        outcome = failed || m_sourceFailed ? Failed : Ended;
    }
    if (failed)
        qCWarning(lcSound).noquote() << "Sound playback failed:" << error;
    m_notifier(token, outcome);
}
