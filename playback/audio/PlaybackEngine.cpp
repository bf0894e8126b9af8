#include "playback/audio/PlaybackEngine.h"
#include "station/Log.h"

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

PlaybackEngine::PlaybackEngine(Notifier notifier)
    : m_notifier(std::move(notifier))
    , m_output(*this)
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

void PlaybackEngine::play(quint64 token)
{
    std::lock_guard lock(m_mutex);
    m_playing = true;
    m_token = token;
    m_endReached = false;
    m_tailBuffers = 0;
    m_endReported = false;
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
    m_endReached = false;
    m_tailBuffers = 0;
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

qint64 PlaybackEngine::position() const
{
    std::lock_guard lock(m_mutex);
    return m_readFrame;
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

void PlaybackEngine::render(float *out, int frames, int channels)
{
    bool report = false;
    quint64 token = 0;
    int outcome = Ended;
    int copied = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_playing && !m_endReported && channels == m_channels) {
            copied = int(std::min<qint64>(m_writeFrame - m_readFrame, frames));
            const qint64 start = m_readFrame % m_ringFrames;
            const qint64 first = std::min<qint64>(copied, m_ringFrames - start);
            std::copy_n(m_ring.data() + start * channels, first * channels, out);
            std::copy_n(m_ring.data(), (copied - first) * channels, out + first * channels);
            m_readFrame += copied;
            const auto now = Clock::now();
            if (m_firstSound == Clock::time_point{}
                && std::any_of(out, out + copied * channels, [](float s) { return s != 0.0f; }))
                m_firstSound = now;
            if (copied > 0 && m_ringFrames - (m_writeFrame - m_readFrame) >= BlockFrames)
                m_wake.notify_one();
            if (m_endReached) {
                // Each call means the driver has taken the buffer before; once it has taken the
                // one with the last sample and TailBuffers of silence after it, the last sample
                // is out.
                if (++m_tailBuffers > TailBuffers) {
                    m_endReported = true;
                    report = true;
                    token = m_token;
                    outcome = m_sourceFailed ? Failed : Ended;
                }
            } else if (m_sourceEnded && m_readFrame == m_writeFrame) {
                m_endReached = true;
                m_tailBuffers = 0;
                m_lastSample = now;
            }
        }
    }
    std::fill(out + qint64(copied) * channels, out + qint64(frames) * channels, 0.0f);
    if (report)
        m_notifier(token, outcome);
}

void PlaybackEngine::outputLost()
{
    quint64 token = 0;
    {
        std::lock_guard lock(m_mutex);
        if (!m_playing || m_endReported)
            return;
        // Whatever is left would play into nothing: the play fails now, and the next one opens
        // the output afresh.
        m_endReported = true;
        token = m_token;
    }
    qCWarning(lcVocta).noquote() << "Sound playback failed: the sound output went away";
    m_notifier(token, Failed);
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
            QString ignored; // a failure is reported when a play needs the output
            m_output.initialize(&ignored);
            if (task)
                task();
            lock.lock();
            continue;
        }

        if (m_sourceChanged) {
            m_sourceChanged = false;
            std::unique_ptr<AudioSource> old = std::move(m_source);
            m_source = std::move(m_pendingSource);
            const int sampleRate = m_sampleRate;
            const int channels = m_channels;
            const bool wasRunning = m_outputRunning;
            m_outputRunning = false;
            lock.unlock();
            old.reset();
            if (wasRunning)
                m_output.setPaused(true);
            if (channels > 0) {
                // Open the output ahead of the play, so that "Play" only has to unpause it.
                QString ignored;
                m_output.open(sampleRate, channels, &ignored);
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

        if (m_playing && (!m_outputRunning || m_outputToken != m_token)) {
            const quint64 token = m_token;
            const int sampleRate = m_sampleRate;
            const int channels = m_channels;
            lock.unlock();
            QString error;
            const bool opened = channels > 0 && m_output.open(sampleRate, channels, &error);
            if (opened)
                m_output.setPaused(false);
            lock.lock();
            m_outputRunning = opened;
            m_outputToken = token;
            if (!opened && m_playing && m_token == token) {
                m_playing = false;
                lock.unlock();
                qCWarning(lcVocta).noquote() << "Sound playback failed:" << error;
                m_notifier(token, Failed);
                lock.lock();
            }
            continue;
        }
        if (!m_playing && m_outputRunning) {
            m_outputRunning = false;
            lock.unlock();
            m_output.setPaused(true);
            lock.lock();
            continue;
        }

        if (m_source && !m_sourceEnded
            && m_ringFrames - (m_writeFrame - m_readFrame) >= BlockFrames) {
            decode(lock, BlockFrames);
            continue;
        }

        m_wake.wait(lock);
    }
    lock.unlock();
    m_output.shutdown();
    m_source.reset();
}
