#include "playback/audio/PlaybackEngine.h"
#include "station/Log.h"

#include "playback/audio/PulseOutput.h"

#include <QDebug>

#include <algorithm>

namespace {

// The ring holds this many frames (0.74 s at 44.1 kHz), whatever the channel count.
constexpr qint64 RingFrames = 32768;
// The worker decodes in blocks of this many frames, and starts with a smaller one.
constexpr qint64 BlockFrames = 4096;
constexpr qint64 StartFrames = 1024;
constexpr int MaxChannels = 8;

} // namespace

PlaybackEngine::PlaybackEngine(PulseConnection &connection, Notifier notifier)
    : m_notifier(std::move(notifier))
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
    }
    m_wake.notify_one();
    m_worker.join();
}

void PlaybackEngine::warmUp(std::function<void()> task)
{
    std::lock_guard lock(m_mutex);
    m_warmUp = true;
    m_warmUpTask = std::move(task);
    m_wake.notify_one();
}

void PlaybackEngine::setSource(std::unique_ptr<AudioSource> source)
{
    std::unique_ptr<AudioSource> dropped;
    {
        std::lock_guard lock(m_mutex);
        const int channels = source ? source->channels() : 0;
        m_channels = channels >= 1 && channels <= MaxChannels ? channels : 0;
        m_sampleRate = source ? source->sampleRate() : 0;
        dropped = std::move(m_pendingSource); // one the worker has not taken yet
        m_pendingSource = std::move(source);
        m_sourceChanged = true;
        m_ringFrames = RingFrames;
        m_readFrame = 0;
        m_writeFrame = 0;
        ++m_epoch;
        m_seekTarget = -1;
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
    m_prepare = true;
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
    frame = std::max<qint64>(0, frame);
    m_stepBack = 0;
    m_endReached = false;
    if (frame == m_readFrame && !m_sourceFailed)
        return; // already there, with what was decoded ahead still good
    m_readFrame = frame;
    m_writeFrame = frame;
    ++m_epoch;
    m_seekTarget = frame;
    m_sourceEnded = false;
    m_sourceFailed = false;
    m_wake.notify_one();
}

void PlaybackEngine::stepBack(qint64 frames)
{
    std::lock_guard lock(m_mutex);
    if (m_channels == 0 || frames <= 0)
        return;
    m_stepBack += frames;
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
    qCWarning(lcVocta).noquote() << "Sound playback failed:" << message;
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
    const float gain = m_gain.load();
    auto copy = [gain](const float *from, qint64 count, float *to) {
        if (gain == 1.0f)
            std::copy_n(from, count, to);
        else
            std::transform(from, from + count, to, [gain](float s) { return s * gain; });
    };
    copy(ring + start * channels, first * channels, out);
    copy(ring, (copied - first) * channels, out + first * channels);
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
    int outcome = Ended;
    {
        std::lock_guard lock(m_mutex);
        if (!m_playing || m_endReported)
            return;
        m_endReported = true;
        token = m_token;
        outcome = failed || m_sourceFailed ? Failed : Ended;
    }
    if (failed)
        qCWarning(lcVocta).noquote() << "Sound playback failed:" << error;
    m_notifier(token, outcome);
}

SoundOutput *PlaybackEngine::outputFor(Route route)
{
    switch (route) {
    case Route::Server:
        return m_serverOutput.get();
    case Route::Fallback:
        return &m_fallbackOutput;
    case Route::None:
        break;
    }
    return nullptr;
}

void PlaybackEngine::decode(std::unique_lock<std::mutex> &lock, qint64 frames)
{
    const quint64 epoch = m_epoch;
    const int channels = m_channels;
    lock.unlock();
    const qint64 got = m_source->read(m_scratch.data(), frames);
    const QString error = got < 0 ? m_source->errorString() : QString();
    lock.lock();
    if (epoch != m_epoch)
        return; // a seek or another source made these frames stale
    if (got < 0) {
        markFailed(error);
    } else if (got == 0) {
        m_sourceEnded = true;
    } else {
        const qint64 start = m_writeFrame % m_ringFrames;
        const qint64 first = std::min(got, m_ringFrames - start);
        std::copy_n(m_scratch.data(), first * channels, m_ring.data() + start * channels);
        std::copy_n(m_scratch.data() + first * channels, (got - first) * channels, m_ring.data());
        m_writeFrame += got;
    }
}

void PlaybackEngine::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        if (m_warmUp) {
            m_warmUp = false;
            const std::function<void()> task = std::move(m_warmUpTask);
            m_warmUpTask = nullptr;
            lock.unlock();
            if (task)
                task();
            lock.lock();
            continue;
        }

        if (m_sourceChanged) {
            m_sourceChanged = false;
            std::unique_ptr<AudioSource> old = std::move(m_source);
            m_source = std::move(m_pendingSource);
            const bool wasRunning = m_outputRunning;
            m_outputRunning = false;
            m_prepare = true;
            lock.unlock();
            old.reset();
            if (wasRunning && m_active)
                m_active->pause();
            lock.lock();
            continue;
        }

        if (m_prepare) {
            // Make the output ready ahead of the play, so that "Play" only has to start it.
            m_prepare = false;
            SoundOutput *output = outputFor(m_route);
            const SoundOutput::Format format{m_sampleRate, m_channels, m_sink};
            const bool idle = !m_outputRunning;
            lock.unlock();
            if (output && format.channels > 0 && idle) {
                if (m_active && m_active != output)
                    m_active->close();
                m_active = output;
                QString ignored; // a failure is reported when a play needs the output
                output->open(format, &ignored);
            }
            lock.lock();
            continue;
        }

        if (m_source && m_seekTarget >= 0) {
            const qint64 target = m_seekTarget;
            const quint64 epoch = m_epoch;
            m_seekTarget = -1;
            lock.unlock();
            const bool moved = m_source->seek(target);
            const QString error = moved ? QString() : m_source->errorString();
            lock.lock();
            if (!moved && epoch == m_epoch)
                markFailed(error);
            continue;
        }

        // A little sound first, so that the first buffer after the output starts is not empty.
        if (m_source && !m_sourceEnded && m_writeFrame - m_readFrame < StartFrames) {
            decode(lock, StartFrames);
            continue;
        }

        if (m_outputRunning && (!m_playing || m_outputToken != m_token)) {
            // The play the output runs was stopped: silence it, and take back what went unheard.
            m_outputRunning = false;
            const quint64 epoch = m_epoch;
            lock.unlock();
            const qint64 unheard = m_active->pause();
            lock.lock();
            if (unheard > 0 && epoch == m_epoch) {
                // The position is what was heard: the frames dropped unheard play next time
                // (unless the operator has moved the position meanwhile).
                const qint64 frame = std::max<qint64>(0, m_readFrame - unheard);
                m_readFrame = frame;
                m_writeFrame = frame;
                ++m_epoch;
                m_seekTarget = frame;
                m_sourceEnded = false;
                m_sourceFailed = false;
                m_endReached = false;
            }
            continue;
        }

        if (m_stepBack > 0) {
            const qint64 frame = std::max<qint64>(0, m_readFrame - m_stepBack);
            m_stepBack = 0;
            if (frame != m_readFrame) {
                m_readFrame = frame;
                m_writeFrame = frame;
                ++m_epoch;
                m_seekTarget = frame;
                m_sourceEnded = false;
                m_sourceFailed = false;
                m_endReached = false;
            }
            continue;
        }
        if (m_playing && !m_outputRunning) {
            const quint64 token = m_token;
            SoundOutput *output = outputFor(m_route);
            const SoundOutput::Format format{m_sampleRate, m_channels, m_sink};
            lock.unlock();
            if (m_active && m_active != output) {
                m_active->pause();
                m_active->close();
            }
            if (output)
                m_active = output;
            QString error = QStringLiteral("no sound output");
            const bool opened = output && format.channels > 0 && output->open(format, &error);
            lock.lock();
            m_outputRunning = opened;
            m_outputToken = token;
            if (!opened && m_playing && m_token == token) {
                m_playing = false;
                lock.unlock();
                qCWarning(lcVocta).noquote() << "Sound playback failed:" << error;
                m_notifier(token, Failed);
                lock.lock();
            } else if (opened) {
                lock.unlock();
                output->start();
                lock.lock();
            }
            continue;
        }
        if (m_starved && m_playing && (m_sourceEnded || m_writeFrame > m_readFrame)) {
            m_starved = false;
            lock.unlock();
            m_active->framesReady();
            lock.lock();
            continue;
        }

        if (m_source && !m_sourceEnded
            && m_ringFrames - (m_writeFrame - m_readFrame) >= BlockFrames) {
            decode(lock, BlockFrames);
            continue;
        }

        if (!m_playing && m_active == &m_fallbackOutput && m_fallbackOutput.isOpen()) {
            // SDL's threads run while its device is open, even paused: close it after a while.
            if (m_wake.wait_for(lock, FallbackIdleClose) == std::cv_status::timeout && !m_playing
                && !m_quit) {
                lock.unlock();
                m_fallbackOutput.close();
                lock.lock();
            }
            continue;
        }

        m_wake.wait(lock);
    }
    lock.unlock();
    if (m_active)
        m_active->pause();
    m_serverOutput->close();
    m_fallbackOutput.close();
    m_source.reset();
}
