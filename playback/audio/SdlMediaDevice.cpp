#include "playback/audio/SdlMediaDevice.h"
#include "station/Log.h"

#include "playback/audio/MidiFile.h"
#include "playback/audio/MidiSource.h"
#include "playback/audio/MidiSynth.h"
#include "playback/audio/PlaybackEngine.h"
#include "playback/audio/SoundFileSource.h"
#include "station/FileNames.h"

#include <QDebug>
#include <QFile>

#include <algorithm>
#include <limits>

struct SdlMediaDevice::Private
{
    explicit Private(const QString &soundFont, SdlMediaDevice *device)
        : synth(soundFont), engine([device](quint64 play, int outcome) {
            // Called on the audio or the worker thread: hand it to the UI thread.
            QMetaObject::invokeMethod(
                device, [device, play, outcome] { device->finishPlay(play, outcome); },
                Qt::QueuedConnection);
        })
    { }

    MidiSynth synth; // outlives the engine, whose sources use it
    PlaybackEngine engine;
    int mode = NotReady;
    qint32 length = 0;
    int sampleRate = 0;
    qint64 frames = 0;
    quint64 generation = 0; // changes whenever a file is opened or closed
    quint64 play = 0; // counts the plays; the engine reports a play's end with its number
    Timings timings;
};

QString SdlMediaDevice::defaultSoundFont()
{
    return QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");
}

SdlMediaDevice::SdlMediaDevice(QObject *parent) : SdlMediaDevice(defaultSoundFont(), parent) { }

SdlMediaDevice::SdlMediaDevice(const QString &soundFontPath, QObject *parent)
    : MediaDevice(parent), d(std::make_unique<Private>(soundFontPath, this))
{ }

SdlMediaDevice::~SdlMediaDevice()
{
    // The engine stops its threads before the QObject goes, so nothing is posted to it after.
    d.reset();
}

void SdlMediaDevice::preload()
{
    MidiSynth *synth = &d->synth;
    d->engine.warmUp([synth] {
        QString error;
        if (synth->soundFontAvailable() && !synth->ensureLoaded(&error))
            qCWarning(lcVocta).noquote() << "MIDI playback unavailable:" << error;
    });
}

int SdlMediaDevice::Mode() const
{
    return d->mode;
}

qint32 SdlMediaDevice::Length() const
{
    return d->length;
}

SdlMediaDevice::Timings SdlMediaDevice::timings() const
{
    Timings result = d->timings;
    result.firstSound = d->engine.firstSoundTime();
    result.lastSample = d->engine.lastSampleTime();
    return result;
}

void SdlMediaDevice::setMode(int mode)
{
    if (d->mode == mode)
        return;
    d->mode = mode;
    emit modeChanged(mode);
}

void SdlMediaDevice::queueDone(int notifyCode)
{
    const quint64 generation = d->generation;
    const quint64 play = d->play;
    QMetaObject::invokeMethod(
        this, [this, generation, play, notifyCode] { deliverDone(generation, play, notifyCode); },
        Qt::QueuedConnection);
}

void SdlMediaDevice::deliverDone(quint64 generation, quint64 play, int notifyCode)
{
    // A file closed since, or a newer play, makes the notification stale.
    if (generation != d->generation || play != d->play)
        return;
    d->timings.done = std::chrono::steady_clock::now();
    emit Done(notifyCode);
}

void SdlMediaDevice::finishPlay(quint64 play, int notifyCode)
{
    // Play numbers are never reused and every "Open" or "Close" ends the play, so the number
    // stands for the file's generation as well.
    if (play != d->play || d->mode != Playing)
        return; // stopped, closed or replayed meanwhile
    d->engine.stop();
    setMode(Stopped);
    d->timings.done = std::chrono::steady_clock::now();
    emit Done(notifyCode);
}

void SdlMediaDevice::open()
{
    close();
    const QString path = FileName();
    QString error;
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
        MidiFile midi;
        if (!d->synth.soundFontAvailable())
            error = QStringLiteral("the soundfont %1 is missing").arg(d->synth.soundFontPath());
        else if (midi.load(path, &error))
            source = std::make_unique<MidiSource>(std::move(midi), d->synth);
    } else {
        source = SoundFileSource::open(path, &error);
    }
    if (!source) {
        qCWarning(lcVocta).noquote() << QStringLiteral("Cannot play \"%1\": %2").arg(path, error);
        return;
    }

    d->sampleRate = source->sampleRate();
    d->frames = source->frameCount();
    const qint64 milliseconds = d->frames * 1000 / d->sampleRate;
    d->length = qint32(std::clamp<qint64>(milliseconds, 1, std::numeric_limits<qint32>::max()));
    d->engine.setSource(std::move(source));
    setMode(Stopped);
}

void SdlMediaDevice::close()
{
    ++d->generation;
    if (d->mode == NotReady)
        return;
    d->engine.setSource(nullptr);
    d->length = 0;
    d->sampleRate = 0;
    d->frames = 0;
    setMode(NotReady);
}

void SdlMediaDevice::play()
{
    if (d->mode == Playing)
        return;
    ++d->play;
    d->timings = {};
    d->timings.play = std::chrono::steady_clock::now();
    if (d->mode == NotReady) {
        queueDone(Failure);
        return;
    }
    d->engine.play(d->play);
    setMode(Playing);
}

void SdlMediaDevice::stop()
{
    if (d->mode != Playing)
        return;
    d->engine.stop();
    setMode(Stopped);
    queueDone(Aborted);
}

void SdlMediaDevice::prev()
{
    if (d->mode != NotReady)
        d->engine.seek(0);
}

void SdlMediaDevice::back()
{
    if (d->mode != NotReady)
        d->engine.seek(std::max<qint64>(0, d->engine.position() - d->sampleRate / 10));
}

void SdlMediaDevice::next()
{
    if (d->mode != NotReady)
        d->engine.seek(d->frames);
}
