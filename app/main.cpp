// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"
#include "app/FontWarmUp.h"
#include "app/NetworkWiring.h"
#include "app/VoiceVocta.h"
#include "playback/audio/PulseAudioInput.h"
#include "playback/audio/PulseConnection.h"
#include "playback/audio/PulseSoundServer.h"
#include "playback/audio/PulseSourceMute.h"
#include "playback/audio/SoundDevice.h"
#include "playback/kit/KitMessages.h"
#include "playback/loudness/LoudnessBook.h"
#include "ptt/CrashRelease.h"
#include "ptt/PttGuard.h"
#include "ptt/QtSerialLines.h"
#include "ptt/TransientUnit.h"
#include "remote/KeyerAdaptor.h"
#include "remote/KeyerService.h"
#include "station/Log.h"
#include "station/TerminationSignals.h"
#include "ui/PictureReadAhead.h"
#include "ui/QtDialogs.h"
#include "ui/StandardIcon.h"

#include <QApplication>
#include <QDBusConnection>
#include <QTimer>
#include <csignal>
#include <malloc.h>

namespace {

// The one connection to the sound server, made in the background once the window shows, and
// everything that plays, records or lists the server's devices through it.
struct SoundParts
{
    SoundParts();

    PulseConnection connection{PulseConnection::Start::WhenAsked};
    // The loudness of the messages, measured once and kept; the players below level every
    // message by it where the settings ask for a target (it outlives them).
    LoudnessBook loudness{LoudnessCache::defaultFile()};
    SoundDevice device{connection};
    // The server's outputs and inputs (for the Sound dialog), the recorder's input, and a second
    // device on the default output for listening to a recording: never the transmitter's.
    PulseSoundServer server{connection};
    PulseAudioInput input{connection};
    SoundDevice preview{connection};
    // A third on the operator's own output, for listening to a memory before it is sent.
    SoundDevice memoryPreview{connection};
    // The microphone muted while a message is keyed; put back at the latest when it goes.
    PulseSourceMute microphone{connection};
};

SoundParts::SoundParts()
{
    for (SoundDevice *player : {&device, &preview, &memoryPreview})
        player->setLoudness(&loudness);
    // The window opens the default message as it loads: the sound-file library is opened on the
    // player's worker meanwhile.
    device.loadSoundFileLibrary();
}

// A second radio's player, serial lines (released by the crash release too) and guard, made only
// where the settings have one.
struct SecondRadioParts
{
    void make(VoiceVocta &station, SoundParts &sound, CrashRelease &crash);

    std::unique_ptr<SoundDevice> device;
    std::unique_ptr<QtSerialLines> lines;
    std::unique_ptr<TransientUnit> unit;
    std::unique_ptr<PttGuard> guard;
};

void SecondRadioParts::make(VoiceVocta &station, SoundParts &sound, CrashRelease &crash)
{
    if (!station.settings().secondRadio())
        return;
    device = std::make_unique<SoundDevice>(sound.connection);
    device->setLoudness(&sound.loudness);
    lines = std::make_unique<QtSerialLines>();
    lines->setCrashRelease(&crash);
    guard = std::make_unique<PttGuard>(PttGuard::locate(QCoreApplication::applicationDirPath()));
    unit = std::make_unique<TransientUnit>();
    guard->setTransientUnit(unit.get());
    lines->setGuard(guard.get());
    if (!station.addSecondRadio(*device, *lines, guard.get()))
        device.reset();
}

int run(QApplication &application, TerminationSignals &termination, FontWarmUp &fonts);

// The keyer on the bus: memory previews, the voice kit's texts, and property Inhibited (the other
// stations that hold this one back).
void wireBus(KeyerAdaptor &adaptor, VoiceVocta &station, KitMessages &texts)
{
    adaptor.setPreview([&station](int memory) { return station.memoryPreview()->preview(memory); });
    adaptor.setTexts(&texts);
    adaptor.setInhibited(station.network().link().inhibitedBy());
    QObject::connect(&station.network().link(), &NetworkLink::inhibitedChanged, &adaptor,
                     &KeyerAdaptor::setInhibited);
}

} // namespace

int main(int argc, char *argv[])
{
    // --help and --version alone are answered, before anything starts.
    if (const std::optional<int> status = CommandLine::answer(argc, argv))
        return *status;
    // First of all: a request to end (SIGTERM, SIGINT, SIGHUP) that comes at any moment from
    // here on gives the orderly end, however early in start-up it comes.
    TerminationSignals termination;
    useLogFormat();
    // The desktop's font configuration is read beside the toolkit's start; the window, whose
    // first measured text needs it, waits for it below.
    FontWarmUp fonts;

    // The command line is read no further: the application object is given the program's name
    // alone, so that not even the toolkit's own options (-platform, -reverse, -qwindowtitle, -style
    // ...) act. The toolkit's environment variables (QT_QPA_PLATFORM ...) still do. While a message
    // plays the window changes in small parts (the status caption, the bar), each sent to the X
    // server as it is painted: in the request itself rather than through a shared memory segment,
    // which costs the server an event back for every one and this program a wake-up to take it. An
    // operator's own choice in the environment stands.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");

    char fallbackName[] = "voicevocta";
    char *programName[] = {argc > 0 && argv[0] ? argv[0] : fallbackName, nullptr};
    int programArgc = 1;
    QApplication application(programArgc, programName);
    // The desktop's style, whose media and extension icons are looked up when first drawn.
    QApplication::setStyle(new DeferredIconStyle(QApplication::style()));
    return run(application, termination, fonts);
}

namespace {

// Builds the station and everything it drives, wires them, and runs until the program ends.
int run(QApplication &application, TerminationSignals &termination, FontWarmUp &fonts)
{
    // The window's pictures are read on a thread of their own while the rest gets ready (before
    // the sound-file library is opened below: a thread cannot start while a library loads).
    PictureReadAhead pictures(Form1::picturesAtStart());

    // A file-size limit (ulimit -f) makes a save fail and say so, rather than end the program.
    std::signal(SIGXFSZ, SIG_IGN);

    SoundParts sound;
    SoundDevice &device = sound.device;

    // Should the program die of a fault, the transmitter is released first; should it die in
    // any way at all, its guard (a process of its own) releases it.
    PttGuard guard(PttGuard::locate(QCoreApplication::applicationDirPath()));
    // Where a user service manager runs, the guard runs in a unit of its own, so that it
    // outlives a kill of the program's whole group of processes.
    TransientUnit guardUnit;
    guard.setTransientUnit(&guardUnit);
    CrashRelease crash;
    QtSerialLines lines;
    lines.setCrashRelease(&crash);
    lines.setGuard(&guard);
    QtDialogs dialogs;
    SecondRadioParts radio2;
    fonts.wait();
    VoiceVocta station(device, lines, dialogs, sound.server, sound.input, sound.preview,
                       QCoreApplication::applicationDirPath(), nullptr, &pictures);
    dialogs.setParentWindow(&station.window());
    station.setSourceMute(&sound.microphone);
    // Should the program die with the microphone muted, the guard puts it back.
    QObject::connect(&sound.microphone, &SourceMute::mutedSourcesChanged, &guard,
                     &PttGuard::watchMutedSources);
    station.setPreviewPlayer(&sound.memoryPreview);
    // The monitor output plays every message too, at its own level.
    const auto monitor = [&device, &station] {
        device.setMonitor(station.state().Audio.AudioMonitor, station.state().Audio.MonitorLevel);
    };
    QObject::connect(&station.soundSet(), &SoundSetHandler::monitorChanged, &device, monitor);
    QObject::connect(&station, &VoiceVocta::endProgram, &application, &QCoreApplication::quit);
    station.setGuard(&guard);

    station.Form_Load();
    radio2.make(station, sound, crash);
    monitor();
    const SettingsPlace &place = station.settingsPlace();
    qCWarning(lcVocta).noquote() << place.description(station.settings().startedFromSiteDefault());
    // Loggers and scripts key the station through the session bus, when there is one.
    // Texts that loggers have spoken, from the voice kit.
    KitMessages texts(station.state(), place.kitDir, QCoreApplication::applicationDirPath());
    KeyerService keyer(station.remote());
    wireBus(keyer.adaptor(), station, texts);
    station.window().show();
    // Once the window shows: the bus's answer and the sound server's library need not hold it.
    keyer.start(QDBusConnection::sessionBus());
    sound.connection.start();
    // Where a target is set: a file open now is leveled again, and the memories are measured in
    // the background.
    QObject::connect(&station, &VoiceVocta::loudnessChanged, &device, [&] {
        for (SoundDevice *player :
             {&device, &sound.preview, &sound.memoryPreview, radio2.device.get()})
            if (player)
                player->levelAgain();
    });
    station.setLoudness(&sound.loudness);
    // Once start-up has settled, what its passing work allocated and freed goes back to the
    // system rather than staying resident for the whole session.
    QTimer::singleShot(std::chrono::seconds(1), &application, [] { malloc_trim(0); });
    // The MIDI soundfont gets ready in the background, where a memory holds a MIDI file.
    const auto &memories = station.state().Memories.MemFile;
    device.preloadFor(QStringList(memories.cbegin(), memories.cend()));
    // Asked to end from outside (now or earlier): end as if the window were closed.
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &station.window(),
                     &QWidget::close);
    termination.listen();
    return application.exec();
}

} // namespace
