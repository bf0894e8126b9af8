// SPDX-License-Identifier: GPL-3.0-or-later
// The playback engine's worker thread: takes the calls' requests, decodes ahead into the ring and
// drives the outputs.

#include "playback/audio/PlaybackEngine.h"
#include "station/Log.h"
#include "station/LogText.h"

#include <QDebug>

#include <algorithm>

using namespace WorkerRequests;

namespace {

// The output as a trace names it.
QString outputName(PlaybackEngine::Route route, const SoundOutput::Format &format)
{
    switch (route) {
    case PlaybackEngine::Route::Server:
        return format.sink.isEmpty() ? QStringLiteral("the sound server's default output")
                                     : QStringLiteral("the sound server's output %1")
                                           .arg(LogText::quoted(format.sink));
    case PlaybackEngine::Route::Fallback:
        return QStringLiteral("SDL's output");
    case PlaybackEngine::Route::None:
        break;
    }
    return QStringLiteral("no output");
}

} // namespace

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

void PlaybackEngine::switchTo(SoundOutput *output)
{
    if (m_active && m_active != output)
        m_active->close();
    m_active = output;
}

SoundOutput::Format PlaybackEngine::format() const
{
    return {m_sampleRate, m_channels, m_sink, m_monitor};
}

void PlaybackEngine::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        // The calls' requests first, warm-ups ahead of the rest: a new source before its output,
        // the output before its play. A seek waits for a source to move.
        if (takeRequest<RunTasks>(lock) || takeRequest<TakeSource>(lock)
            || takeRequest<OpenOutput>(lock) || takeRequest<WakeOutput>(lock)
            || (m_source && takeRequest<SeekSource>(lock)))
            continue;
        // Then the play. A step back goes from what was heard: after a stopped play's unheard
        // frames are taken back.
        if (decodeFirstFrames(lock) || silenceStoppedPlay(lock) || takeRequest<StepBack>(lock)
            || startPlay(lock) || resumeOutput(lock) || decodeAhead(lock))
            continue;
        idle(lock);
    }
    lock.unlock();
    endWorker();
}

template<typename Kind>
bool PlaybackEngine::takeRequest(std::unique_lock<std::mutex> &lock)
{
    std::optional<Kind> request = m_requests.take<Kind>();
    if (!request)
        return false;
    apply(lock, *request);
    return true;
}

void PlaybackEngine::apply(std::unique_lock<std::mutex> &lock, RunTasks &request)
{
    qCDebug(lcSound) << "Player: runs" << request.tasks.size() << "warm-up tasks";
    lock.unlock();
    for (const std::function<void()> &task : request.tasks)
        if (task)
            task();
    lock.lock();
}

void PlaybackEngine::apply(std::unique_lock<std::mutex> &lock, TakeSource &request)
{
    qCDebug(lcSound) << "Player: takes" << (request.source ? "a new source" : "no source");
    std::unique_ptr<AudioSource> old = std::move(m_source);
    m_source = std::move(request.source);
    const bool wasRunning = m_outputRunning;
    m_outputRunning = false;
    m_requests.post(OpenOutput{});
    m_abandonSettle = false;
    lock.unlock();
    old.reset();
    if (wasRunning && m_active)
        m_active->pause();
    // Before the output gets ready for it: the prepare that follows an open waits.
    if (m_source)
        m_source->settle(m_abandonSettle);
    lock.lock();
}

void PlaybackEngine::apply(std::unique_lock<std::mutex> &lock, const OpenOutput &)
{
    // Make the output ready ahead of the play, so that "Play" only has to start it.
    SoundOutput *output = outputFor(m_route);
    const SoundOutput::Format format = this->format();
    const bool idle = !m_outputRunning;
    const Route route = m_route;
    lock.unlock();
    if (output && format.channels > 0 && idle) {
        qCDebug(lcSound).noquote()
            << "Player: readies" << outputName(route, format)
            << QStringLiteral("(%1 Hz, %2 ch)").arg(format.sampleRate).arg(format.channels);
        switchTo(output);
        output->open(format); // a failure is reported when a play needs the output
    }
    lock.lock();
}

void PlaybackEngine::apply(std::unique_lock<std::mutex> &lock, const WakeOutput &request)
{
    // Opens and wakes the output that prepare() asked for.
    const quint64 token = request.token;
    SoundOutput *output = outputFor(m_route);
    const SoundOutput::Format format = this->format();
    const bool running = m_outputRunning;
    qCDebug(lcSound).noquote() << QStringLiteral("Player: wakes %1 for prepare %2%3")
                                      .arg(outputName(m_route, format), QString::number(token),
                                           running ? QStringLiteral(": it plays") : QString());
    lock.unlock();
    const auto say = [this, token](bool ok, const QString &error) {
        if (m_preparedNotifier)
            m_preparedNotifier(token, ok, error);
    };
    const QString error = QStringLiteral("no sound output");
    if (running) {
        say(true, QString()); // it sounds already
    } else if (output && format.channels > 0) {
        switchTo(output);
        if (const Result opened = output->open(format))
            output->wake(say);
        else
            say(false, opened.error);
    } else {
        say(false, error);
    }
    lock.lock();
}

void PlaybackEngine::apply(std::unique_lock<std::mutex> &lock, const SeekSource &request)
{
    qCDebug(lcSound) << "Player: moves the source to frame" << request.frame;
    const quint64 epoch = m_epoch;
    lock.unlock();
    const bool moved = m_source->seek(request.frame);
    const QString error = moved ? QString() : m_source->errorString();
    lock.lock();
    if (!moved && epoch == m_epoch)
        markFailed(error);
}

void PlaybackEngine::apply(std::unique_lock<std::mutex> &, const StepBack &request)
{
    qCDebug(lcSound) << "Player: steps back" << request.frames << "frames";
    const qint64 frame = std::max<qint64>(0, m_readFrame - request.frames);
    if (frame != m_readFrame)
        moveTo(frame);
}

// A little sound first, so that the first buffer after the output starts is not empty.
bool PlaybackEngine::decodeFirstFrames(std::unique_lock<std::mutex> &lock)
{
    if (!m_source || m_sourceEnded || m_writeFrame - m_readFrame >= StartFrames)
        return false;
    decode(lock, StartFrames);
    return true;
}

// The play the output runs was stopped: silence it, and take back what went unheard.
bool PlaybackEngine::silenceStoppedPlay(std::unique_lock<std::mutex> &lock)
{
    if (!m_outputRunning || (m_playing && m_outputToken == m_token))
        return false;
    m_outputRunning = false;
    const quint64 epoch = m_epoch;
    lock.unlock();
    const qint64 unheard = m_active->pause();
    lock.lock();
    qCDebug(lcSound) << "Player: silenced the output;" << unheard << "frames went unheard";
    // The position is what was heard: the frames dropped unheard play next time (unless the
    // operator has moved the position meanwhile).
    if (unheard > 0 && epoch == m_epoch)
        moveTo(std::max<qint64>(0, m_readFrame - unheard));
    return true;
}

bool PlaybackEngine::startPlay(std::unique_lock<std::mutex> &lock)
{
    // The output starts with a good part of the sound decoded (as a rule all of it is, while the
    // transmitter was keyed): a server that plays on through an empty stream (PipeWire) would
    // otherwise leave a hole where the decoder came short.
    const bool decodedAhead = m_sourceEnded || m_sourceFailed || !m_source
                              || m_writeFrame - m_readFrame >= StartAheadFrames;
    if (!m_playing || m_outputRunning || !decodedAhead)
        return false;
    const quint64 token = m_token;
    SoundOutput *output = outputFor(m_route);
    const SoundOutput::Format format = this->format();
    qCDebug(lcSound).noquote() << "Player: starts play" << token << "on"
                               << outputName(m_route, format);
    lock.unlock();
    if (m_active && m_active != output) {
        m_active->pause();
        m_active->close();
    }
    if (output)
        m_active = output;
    const Result opened = output && format.channels > 0
                              ? output->open(format)
                              : Result::failure(QStringLiteral("no sound output"));
    lock.lock();
    m_outputRunning = opened.ok;
    m_outputToken = token;
    if (!opened && m_playing && m_token == token) {
        m_playing = false;
        lock.unlock();
        qCWarning(lcSound).noquote() << "Sound playback failed:" << opened.error;
        m_notifier(token, Failed);
        lock.lock();
    } else if (opened) {
        lock.unlock();
        output->start();
        lock.lock();
    }
    return true;
}

// The output came short of frames, and the decoder has some again.
bool PlaybackEngine::resumeOutput(std::unique_lock<std::mutex> &lock)
{
    if (!m_starved || !m_playing || (!m_sourceEnded && m_writeFrame <= m_readFrame))
        return false;
    m_starved = false;
    lock.unlock();
    m_active->framesReady();
    lock.lock();
    return true;
}

bool PlaybackEngine::decodeAhead(std::unique_lock<std::mutex> &lock)
{
    if (!m_source || m_sourceEnded || m_ringFrames - (m_writeFrame - m_readFrame) < BlockFrames)
        return false;
    decode(lock, BlockFrames);
    return true;
}

void PlaybackEngine::idle(std::unique_lock<std::mutex> &lock)
{
    if (m_playing || m_active != &m_fallbackOutput || !m_fallbackOutput.isOpen()) {
        m_wake.wait(lock);
        return;
    }
    // SDL's threads run while its device is open, even paused: close it after a while.
    if (m_wake.wait_for(lock, FallbackIdleClose) == std::cv_status::timeout && !m_playing
        && !m_quit) {
        qCDebug(lcSound) << "Player: closes SDL's idle output";
        lock.unlock();
        m_fallbackOutput.close();
        lock.lock();
    }
}

void PlaybackEngine::endWorker()
{
    if (m_active)
        m_active->pause();
    m_serverOutput->close();
    m_fallbackOutput.close();
    m_source.reset();
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
