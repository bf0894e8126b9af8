// SPDX-License-Identifier: GPL-3.0-or-later
// The playback engine's worker thread: decodes ahead into the ring and drives the outputs.

#include "playback/audio/PlaybackEngine.h"
#include "station/Log.h"

#include <QDebug>

#include <algorithm>

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

void PlaybackEngine::wakeOutput(std::unique_lock<std::mutex> &lock)
{
    const quint64 token = m_wakeToken;
    SoundOutput *output = outputFor(m_route);
    const SoundOutput::Format format{m_sampleRate, m_channels, m_sink, m_monitor};
    const bool running = m_outputRunning;
    lock.unlock();
    const auto say = [this, token](bool ok, const QString &error) {
        if (m_preparedNotifier)
            m_preparedNotifier(token, ok, error);
    };
    QString error = QStringLiteral("no sound output");
    if (running) {
        say(true, QString()); // it sounds already
    } else if (output && format.channels > 0) {
        if (m_active && m_active != output)
            m_active->close();
        m_active = output;
        if (output->open(format, &error))
            output->wake(say);
        else
            say(false, error);
    } else {
        say(false, error);
    }
    lock.lock();
}

void PlaybackEngine::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        if (!m_warmUpTasks.empty()) {
            const std::vector<std::function<void()>> tasks = std::exchange(m_warmUpTasks, {});
            lock.unlock();
            for (const std::function<void()> &task : tasks)
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
            m_abandonSettle = false;
            lock.unlock();
            old.reset();
            if (wasRunning && m_active)
                m_active->pause();
            // Before the output gets ready for it: the prepare that follows an open waits.
            if (m_source)
                m_source->settle(m_abandonSettle);
            lock.lock();
            continue;
        }

        if (m_prepare) {
            // Make the output ready ahead of the play, so that "Play" only has to start it.
            m_prepare = false;
            SoundOutput *output = outputFor(m_route);
            const SoundOutput::Format format{m_sampleRate, m_channels, m_sink, m_monitor};
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

        if (m_wakeWanted) {
            m_wakeWanted = false;
            wakeOutput(lock);
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
            // The position is what was heard: the frames dropped unheard play next time (unless
            // the operator has moved the position meanwhile).
            if (unheard > 0 && epoch == m_epoch)
                moveTo(std::max<qint64>(0, m_readFrame - unheard));
            continue;
        }

        if (m_stepBack > 0) {
            const qint64 frame = std::max<qint64>(0, m_readFrame - m_stepBack);
            m_stepBack = 0;
            if (frame != m_readFrame)
                moveTo(frame);
            continue;
        }
        // The output starts with a good part of the sound decoded (as a rule all of it is, while
        // the transmitter was keyed): a server that plays on through an empty stream (PipeWire)
        // would otherwise leave a hole where the decoder came short.
        const bool decodedAhead = m_sourceEnded || m_sourceFailed || !m_source
                                  || m_writeFrame - m_readFrame >= StartAheadFrames;
        if (m_playing && !m_outputRunning && decodedAhead) {
            const quint64 token = m_token;
            SoundOutput *output = outputFor(m_route);
            const SoundOutput::Format format{m_sampleRate, m_channels, m_sink, m_monitor};
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
                qCWarning(lcSound).noquote() << "Sound playback failed:" << error;
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
