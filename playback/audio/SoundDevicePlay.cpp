// SPDX-License-Identifier: GPL-3.0-or-later
// A play on the sound device: made ready, started, stopped and moved; the output it takes, and the
// watch on its progress.

#include "playback/audio/SoundDevice.h"
#include "station/Log.h"

#include "playback/audio/SoundDevicePrivate.h"
#include "station/LogText.h"

#include <QDebug>

using Route = PlaybackEngine::Route;

namespace {

// The sound server's state as a trace says it.
const char *serverState(PulseConnection::State state)
{
    switch (state) {
    case PulseConnection::Ready:
        return "(the sound server is ready)";
    case PulseConnection::Connecting:
        return "(the sound server has yet to answer)";
    case PulseConnection::Unavailable:
        break;
    }
    return "(no sound server answers)";
}

} // namespace

void SoundDevice::queueDone(Outcome outcome)
{
    const quint64 generation = d->generation;
    const quint64 play = d->play;
    QMetaObject::invokeMethod(
        this, [this, generation, play, outcome] { deliverDone(generation, play, outcome); },
        Qt::QueuedConnection);
}

void SoundDevice::deliverDone(quint64 generation, quint64 play, Outcome outcome)
{
    // A file closed since, or a newer play, makes the notification stale.
    if (generation != d->generation || play != d->play)
        return;
    d->timings.done = std::chrono::steady_clock::now();
    emit finished(outcome);
}

void SoundDevice::finishPlay(quint64 play, Outcome outcome)
{
    // Play numbers are never reused and every open() or close() ends the play, so the number
    // stands for the file's generation as well.
    if (play != d->play || d->mode != Mode::Playing)
        return; // stopped, closed or replayed meanwhile
    qCDebug(lcSound) << "Player: play" << play << "ends:" << outcome;
    d->pending = false;
    d->engine.stop();
    setMode(Mode::Stopped);
    d->timings.done = std::chrono::steady_clock::now();
    emit finished(outcome);
}

QString SoundDevice::missingOutput() const
{
    const QString name = output();
    if (name.isEmpty())
        return {};
    switch (d->connection.state()) {
    case PulseConnection::Ready:
        if (d->connection.hasSink(name))
            return {};
        return QStringLiteral("the sound output %1 is not available").arg(LogText::quoted(name));
    case PulseConnection::Unavailable:
        return QStringLiteral("the sound output %1 is not available: no sound server answers")
            .arg(LogText::quoted(name));
    case PulseConnection::Connecting:
        break;
    }
    return QStringLiteral("the sound output %1 is not available yet: the sound server has "
                          "not answered")
        .arg(LogText::quoted(name));
}

void SoundDevice::routeChanged()
{
    if (d->pending && d->connection.state() != PulseConnection::Connecting) {
        startPending();
        return;
    }
    if (d->mode != Mode::Stopped)
        return; // nothing open, or it plays: the next play takes the new route
    // Make the output ready ahead of the next play.
    switch (d->connection.state()) {
    case PulseConnection::Ready:
        if (missingOutput().isEmpty())
            d->engine.setRoute(Route::Server, output());
        break;
    case PulseConnection::Unavailable:
        if (output().isEmpty())
            d->engine.setRoute(Route::Fallback, QString());
        break;
    case PulseConnection::Connecting:
        break;
    }
}

void SoundDevice::startPending()
{
    d->pending = false;
    // Only the default output waits for the server: where none answers, SDL plays.
    const Route route
        = d->connection.state() == PulseConnection::Ready ? Route::Server : Route::Fallback;
    d->engine.play(d->play, route, output());
}

void SoundDevice::prepare()
{
    dropPrepare();
    routeChanged();
    // A named output that is not there now cannot play: nothing is to be keyed for it.
    const QString missing = missingOutput();
    const bool absent = !missing.isEmpty() && d->connection.state() != PulseConnection::Connecting;
    if (absent)
        qCWarning(lcSound).noquote() << "Sound playback failed:" << missing;
    const bool ok = d->mode != Mode::NotReady && !absent;
    if (ok && d->connection.state() == PulseConnection::Ready) {
        // The server's stream is made ready and its sink woken; said once the server has.
        const quint64 token = ++d->prepareToken;
        qCDebug(lcSound).noquote()
            << "Player: prepare" << token << "wakes the sound server's"
            << (output().isEmpty() ? QStringLiteral("default output") : LogText::quoted(output()));
        d->prepareTimeout.start();
        d->engine.prepare(token, Route::Server, output());
        return;
    }
    // SDL's device, or a server that has yet to answer: the play starts it.
    qCDebug(lcSound) << "Player: prepared at once:" << (ok ? "ready" : "cannot play");
    QMetaObject::invokeMethod(
        this, [this, ok] { emit prepared(ok); }, Qt::QueuedConnection);
}

void SoundDevice::dropPrepare()
{
    ++d->prepareToken;
    d->prepareTimeout.stop();
}

void SoundDevice::finishPrepare(quint64 token, bool ok, const QString &error)
{
    if (token != d->prepareToken || d->mode != Mode::Stopped)
        return; // played, stopped, closed or prepared again meanwhile
    dropPrepare();
    qCDebug(lcSound) << "Player: prepare" << token << (ok ? "is ready" : "failed");
    if (!ok)
        qCWarning(lcSound).noquote() << "Sound playback failed:" << error;
    emit prepared(ok);
}

void SoundDevice::play()
{
    if (d->mode == Mode::Playing)
        return;
    dropPrepare();
    ++d->play;
    d->timings = {};
    d->timings.play = std::chrono::steady_clock::now();
    qCDebug(lcSound).noquote() << "Player: play" << d->play << "of" << LogText::quoted(fileName())
                               << serverState(d->connection.state());
    if (d->mode == Mode::NotReady) {
        queueDone(Outcome::Failed);
        return;
    }
    // A named output that is not there is never replaced: the play does not start.
    const QString missing = missingOutput();
    if (!missing.isEmpty()) {
        qCWarning(lcSound).noquote() << "Sound playback failed:" << missing;
        d->connection.connectToServer(); // it may be back for the next play
        queueDone(Outcome::Failed);
        return;
    }
    switch (d->connection.state()) {
    case PulseConnection::Ready:
        d->engine.play(d->play, Route::Server, output());
        break;
    case PulseConnection::Unavailable:
        // Ask again first: a server that has come back is used again.
        d->pending = true;
        d->connection.connectToServer();
        if (d->pending && d->connection.state() == PulseConnection::Unavailable)
            startPending(); // no attempt could start
        break;
    case PulseConnection::Connecting:
        d->pending = true; // starts when the server has answered, either way
        break;
    }
    setMode(Mode::Playing);
}

void SoundDevice::stop()
{
    if (d->mode != Mode::Playing)
        return;
    qCDebug(lcSound) << "Player: stops play" << d->play;
    if (d->pending)
        d->pending = false;
    else
        d->engine.stop();
    setMode(Mode::Stopped);
    queueDone(Outcome::Stopped);
}

void SoundDevice::rewind()
{
    if (d->mode != Mode::NotReady)
        d->engine.seek(0);
}

void SoundDevice::stepBack()
{
    if (d->mode != Mode::NotReady)
        d->engine.stepBack(d->sampleRate / 10);
}

void SoundDevice::toEnd()
{
    if (d->mode != Mode::NotReady)
        d->engine.seek(d->frames);
}

void SoundDevice::checkProgress()
{
    if (d->mode != Mode::Playing)
        return;
    const qint64 taken = d->pending ? 0 : d->engine.framesTaken();
    if (taken != d->taken) {
        d->taken = taken;
        d->sinceProgress.start();
        return;
    }
    if (d->sinceProgress.elapsed() < StallMs)
        return;
    // The output has taken nothing for seconds: a hung sound server would otherwise keep the
    // transmitter keyed for ever.
    qCWarning(lcSound).noquote() << "Sound playback failed:"
                                 << (d->pending ? "the sound server does not answer"
                                                : "the sound output stopped taking sound");
    finishPlay(d->play, Outcome::Failed);
}
