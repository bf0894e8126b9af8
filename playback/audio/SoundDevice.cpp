// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/SoundDevice.h"
#include "station/Log.h"

#include "playback/audio/MessageLoudness.h"
#include "playback/audio/MidiFile.h"
#include "playback/audio/MidiSource.h"
#include "playback/audio/SoundDevicePrivate.h"
#include "playback/audio/SoundFileSource.h"
#include "station/FileNames.h"
#include "station/LogText.h"

#include <QDebug>
#include <QFile>

#include <algorithm>
#include <limits>

using Route = PlaybackEngine::Route;

namespace {

// Whether the file is a MIDI file. Only a regular file is looked into: opening a named pipe or a
// device for reading may wait forever.
bool isMidiFile(const QString &path)
{
    QFile probe;
    return FileNames::openForReading(probe, path) && MidiFile::looksLikeMidi(probe.read(4));
}

} // namespace

SoundDevice::Private::Private(PulseConnection *shared, const QString &soundFont,
                              SoundDevice *device)
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
                  device, [device, token, ok, error] { device->finishPrepare(token, ok, error); },
                  Qt::QueuedConnection);
          })
{ }

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
    if (std::none_of(paths.cbegin(), paths.cend(), isMidiFile))
        return;
    MidiSynth *synth = &d->synth;
    d->engine.warmUp([synth] {
        // A soundfont that cannot be loaded is said when a MIDI file is opened.
        synth->ensureLoaded();
    });
}

// A MIDI file, with the synthesizer and its soundfont ready for it: a soundfont that is missing
// or cannot be loaded makes the file unplayable, before anything is keyed for it. The first MIDI
// file waits here for the soundfont unless preloadFor() has loaded it already.
ResultOf<std::unique_ptr<AudioSource>> SoundDevice::openMidi(const QString &path)
{
    using Opened = ResultOf<std::unique_ptr<AudioSource>>;
    MidiFile midi;
    if (const Result step = midi.load(path); !step)
        return Opened::failure(step.error);
    if (!d->synth.soundFontAvailable())
        return Opened::failure(
            QStringLiteral("the soundfont %1 is missing").arg(d->synth.soundFontPath()));
    if (const Result step = d->synth.ensureLoaded(); !step)
        return Opened::failure(step.error);
    return {std::make_unique<MidiSource>(std::move(midi), d->synth)};
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
    applyLevels();
}

void SoundDevice::setMonitor(const QString &name, int percent)
{
    d->monitorLevel = qBound(0, percent, 100);
    d->engine.setMonitor(name);
    applyLevels();
}

void SoundDevice::applyLevels()
{
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

    ResultOf<std::unique_ptr<AudioSource>> opened = openSource(path);
    if (!opened) {
        qCWarning(lcSound).noquote()
            << QStringLiteral("Cannot play %1: %2").arg(LogText::quoted(path), opened.error);
        return OpenResult::Unreadable;
    }
    std::unique_ptr<AudioSource> source = std::move(opened.value);

    d->sampleRate = source->sampleRate();
    d->frames = source->frameCount();
    const qint64 milliseconds = d->frames * 1000 / d->sampleRate;
    d->length = qint32(std::clamp<qint64>(milliseconds, 1, std::numeric_limits<qint32>::max()));
    qCDebug(lcSound).noquote() << "Player: opened" << LogText::quoted(path) << "of" << d->length
                               << "ms";
    d->engine.setSource(std::move(source));
    setMode(Mode::Stopped);
    routeChanged();
    return OpenResult::Opened;
}

ResultOf<std::unique_ptr<AudioSource>> SoundDevice::openSource(const QString &path)
{
    // What is not a MIDI file, or cannot be looked into, goes to the sound-file library, which
    // refuses what it cannot read.
    ResultOf<std::unique_ptr<AudioSource>> source;
    if (isMidiFile(path))
        source = openMidi(path);
    else if (auto file = SoundFileSource::open(path))
        source.value = std::move(file.value);
    else
        source = ResultOf<std::unique_ptr<AudioSource>>::failure(file.error);
    if (source && d->loudness)
        source.value = d->loudness->leveled(path, std::move(source.value));
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
    ResultOf<std::unique_ptr<AudioSource>> source = openSource(fileName());
    if (!source)
        return; // gone meanwhile: its play says so
    const qint64 position = d->engine.position();
    d->engine.setSource(std::move(source.value));
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
