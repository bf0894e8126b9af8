// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/SoundDevice.h"
#include "station/Log.h"

#include "playback/audio/MessageLoudness.h"
#include "playback/audio/MidiFile.h"
#include "playback/audio/MidiSource.h"
#include "playback/audio/MidiSynth.h"
#include "playback/audio/PlaybackEngine.h"
#include "playback/audio/PulseConnection.h"
#include "playback/audio/SoundFileSource.h"
#include "station/FileNames.h"
#include "station/LogText.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <limits>

using Route = PlaybackEngine::Route;

struct SoundDevice::Private
{
    Private(PulseConnection *shared, const QString &soundFont, SoundDevice *device)
        : ownConnection(shared ? nullptr : std::make_unique<PulseConnection>())
        , connection(shared ? *shared : *ownConnection)
        , synth(soundFont)
        , engine(
              connection,
              [device](quint64 play, SoundPlayer::Outcome outcome) {
                  // Called on an output's or the worker's thread: hand it to the UI thread.
                  QMetaObject::invokeMethod(
                      device, [device, play, outcome] { device->finishPlay(play, outcome); },
                      Qt::QueuedConnection);
              },
              [device](quint64 token, bool ok, const QString &error) {
                  QMetaObject::invokeMethod(
                      device,
                      [device, token, ok, error] { device->finishPrepare(token, ok, error); },
                      Qt::QueuedConnection);
              })
    { }

    std::unique_ptr<PulseConnection> ownConnection;
    PulseConnection &connection;
    MidiSynth synth; // outlives the engine, whose sources use it
    PlaybackEngine engine;
    MessageLoudness *loudness = nullptr;
    Mode mode = Mode::NotReady;
    qint32 length = 0;
    int monitorLevel = 100;
    int sampleRate = 0;
    qint64 frames = 0;
    quint64 generation = 0; // changes whenever a file is opened or closed
    quint64 play = 0; // counts the plays; the engine reports a play's end with its number
    bool pending = false; // the play waits for the sound server's answer
    quint64 prepareToken = 0; // counts the prepares; any later command makes one stale
    QTimer prepareTimeout; // the output that does not get ready in time
    Timings timings;

    // The play's progress, watched while it plays.
    QTimer watch;
    QElapsedTimer sinceProgress;
    qint64 taken = 0;
};

QString SoundDevice::defaultSoundFont()
{
    return QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");
}

SoundDevice::SoundDevice(QObject *parent) : SoundDevice(nullptr, defaultSoundFont(), parent) { }

SoundDevice::SoundDevice(PulseConnection &connection, QObject *parent)
    : SoundDevice(&connection, defaultSoundFont(), parent)
{ }

SoundDevice::SoundDevice(PulseConnection *connection, const QString &soundFontPath, QObject *parent)
    : SoundPlayer(parent), d(std::make_unique<Private>(connection, soundFontPath, this))
{
    connect(&d->connection, &PulseConnection::stateChanged, this, &SoundDevice::routeChanged);
    connect(&d->connection, &PulseConnection::devicesChanged, this, &SoundDevice::routeChanged);
    d->prepareTimeout.setSingleShot(true);
    d->prepareTimeout.setInterval(PrepareMs);
    connect(&d->prepareTimeout, &QTimer::timeout, this, [this] {
        finishPrepare(d->prepareToken, false,
                      QStringLiteral("the sound output did not get ready within %1 seconds")
                          .arg(PrepareMs / 1000));
    });
    d->watch.setInterval(500);
    connect(&d->watch, &QTimer::timeout, this, &SoundDevice::checkProgress);
}

SoundDevice::~SoundDevice()
{
    // The engine stops its threads before the QObject goes, so nothing is posted to it after.
    d.reset();
}

void SoundDevice::loadSoundFileLibrary()
{
    d->engine.warmUp(&SoundFileSource::loadLibrary);
}

void SoundDevice::preloadFor(const QStringList &paths)
{
    const bool midi = std::any_of(paths.cbegin(), paths.cend(), [](const QString &path) {
        QFile probe;
        QString unopened;
        return FileNames::openForReading(probe, path, &unopened)
               && MidiFile::looksLikeMidi(probe.read(4));
    });
    if (!midi)
        return;
    MidiSynth *synth = &d->synth;
    d->engine.warmUp([synth] {
        // A soundfont that cannot be loaded is said when a MIDI file is opened.
        QString error;
        synth->ensureLoaded(&error);
    });
}

// A MIDI file, with the synthesizer and its soundfont ready for it: a soundfont that is missing
// or cannot be loaded makes the file unplayable, before anything is keyed for it. The first MIDI
// file waits here for the soundfont unless preloadFor() has loaded it already.
std::unique_ptr<AudioSource> SoundDevice::openMidi(const QString &path, QString *error)
{
    MidiFile midi;
    if (!midi.load(path, error))
        return nullptr;
    if (!d->synth.soundFontAvailable()) {
        *error = QStringLiteral("the soundfont %1 is missing").arg(d->synth.soundFontPath());
        return nullptr;
    }
    if (!d->synth.ensureLoaded(error))
        return nullptr;
    return std::make_unique<MidiSource>(std::move(midi), d->synth);
}

SoundPlayer::Mode SoundDevice::mode() const
{
    return d->mode;
}

qint32 SoundDevice::length() const
{
    return d->length;
}

SoundDevice::Timings SoundDevice::timings() const
{
    Timings result = d->timings;
    // The engine's times until this play has reached it are the last play's.
    const auto current = [&result](std::chrono::steady_clock::time_point time) {
        return time < result.play ? std::chrono::steady_clock::time_point{} : time;
    };
    result.firstSound = current(d->engine.firstSoundTime());
    result.lastSample = current(d->engine.lastSampleTime());
    return result;
}

void SoundDevice::setOutput(const QString &name)
{
    SoundPlayer::setOutput(name);
    routeChanged();
}

void SoundDevice::setLevel(int percent)
{
    SoundPlayer::setLevel(percent);
    d->engine.setLevels(float(level()) / 100.0f, float(d->monitorLevel) / 100.0f);
}

void SoundDevice::setMonitor(const QString &name, int percent)
{
    d->monitorLevel = qBound(0, percent, 100);
    d->engine.setMonitor(name);
    d->engine.setLevels(float(level()) / 100.0f, float(d->monitorLevel) / 100.0f);
}

void SoundDevice::setMode(Mode mode)
{
    if (d->mode == mode)
        return;
    d->mode = mode;
    if (mode == Mode::Playing) {
        d->taken = 0;
        d->sinceProgress.start();
        d->watch.start();
    } else {
        d->watch.stop();
    }
    emit modeChanged(mode);
}

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

SoundPlayer::OpenResult SoundDevice::open(const QString &path)
{
    close();
    setFileName(path);
    const QString missing = missingOutput();
    if (!missing.isEmpty() && d->connection.state() != PulseConnection::Connecting) {
        qCWarning(lcSound).noquote()
            << QStringLiteral("Cannot play %1: %2").arg(LogText::quoted(path), missing);
        d->connection.connectToServer(); // it may be back for the next file
        return OpenResult::OutputAbsent;
    }

    QString error;
    std::unique_ptr<AudioSource> source = openSource(path, &error);
    if (!source) {
        qCWarning(lcSound).noquote()
            << QStringLiteral("Cannot play %1: %2").arg(LogText::quoted(path), error);
        return OpenResult::Unreadable;
    }

    d->sampleRate = source->sampleRate();
    d->frames = source->frameCount();
    const qint64 milliseconds = d->frames * 1000 / d->sampleRate;
    d->length = qint32(std::clamp<qint64>(milliseconds, 1, std::numeric_limits<qint32>::max()));
    d->engine.setSource(std::move(source));
    setMode(Mode::Stopped);
    routeChanged();
    return OpenResult::Opened;
}

std::unique_ptr<AudioSource> SoundDevice::openSource(const QString &path, QString *error)
{
    std::unique_ptr<AudioSource> source;
    // Only a regular file is looked into: opening a named pipe or a device for reading may wait
    // forever. Anything else is refused below.
    QByteArray head;
    QFile probe;
    QString unopened;
    if (FileNames::openForReading(probe, path, &unopened))
        head = probe.read(4);
    probe.close();
    if (MidiFile::looksLikeMidi(head)) {
        source = openMidi(path, error);
    } else {
        source = SoundFileSource::open(path, error);
    }
    if (source && d->loudness)
        source = d->loudness->leveled(path, std::move(source));
    return source;
}

void SoundDevice::setLoudness(MessageLoudness *loudness)
{
    d->loudness = loudness;
}

void SoundDevice::levelAgain()
{
    if (d->mode != Mode::Stopped)
        return; // nothing open, or it plays: the next open takes it
    QString error;
    std::unique_ptr<AudioSource> source = openSource(fileName(), &error);
    if (!source)
        return; // gone meanwhile: its play says so
    const qint64 position = d->engine.position();
    d->engine.setSource(std::move(source));
    if (position > 0)
        d->engine.seek(position);
}

void SoundDevice::close()
{
    dropPrepare();
    ++d->generation;
    d->pending = false;
    if (d->mode == Mode::NotReady)
        return;
    d->engine.setSource(nullptr);
    d->length = 0;
    d->sampleRate = 0;
    d->frames = 0;
    setMode(Mode::NotReady);
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
        d->prepareTimeout.start();
        d->engine.prepare(token, Route::Server, output());
        return;
    }
    // SDL's device, or a server that has yet to answer: the play starts it.
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
