#include "app/SoundStandIns.h"
#include "app/TerminationSignals.h"
#include "app/VoiceVocta.h"
#include "playback/audio/SdlMediaDevice.h"
#include "ptt/CrashRelease.h"
#include "ptt/QtSerialLines.h"
#include "remote/KeyerService.h"
#include "station/Log.h"
#include "ui/Dialogs.h"

#include <QApplication>
#include <QDBusConnection>

int main(int argc, char *argv[])
{
    // The command line is never read: the application object is given the program's name alone,
    // so that not even the toolkit's own options (-platform, -reverse, -qwindowtitle, -style ...)
    // act. The toolkit's environment variables (QT_QPA_PLATFORM ...) still do.
    char fallbackName[] = "voicevocta";
    char *programName[] = {argc > 0 && argv[0] ? argv[0] : fallbackName, nullptr};
    int programArgc = 1;
    QApplication application(programArgc, programName);

    SdlMediaDevice device;
    // The sound output and the MIDI soundfont get ready in the background.
    device.preload();
    // Should the program die of a fault, the transmitter is released first.
    CrashRelease crash;
    QtSerialLines lines;
    lines.setCrashRelease(&crash);
    QtDialogs dialogs;
    NoSoundServer server;
    NoAudioInput input;
    // The recorder's takes play here, on the default output: never into the transmitter.
    SdlMediaDevice preview;
    VoiceVocta station(device, lines, dialogs, server, input, preview,
                       QCoreApplication::applicationDirPath());
    QObject::connect(&station, &VoiceVocta::endProgram, &application, &QCoreApplication::quit);

    // Asked to end from outside: end as if the window were closed.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &station.window(),
                     &QWidget::close);

    station.Form_Load();
    qCWarning(lcVocta).noquote() << station.settingsPlace().description();
    // Loggers and scripts key the station through the session bus, when there is one.
    KeyerService keyer(station.remote());
    keyer.start(QDBusConnection::sessionBus());
    station.window().show();
    return application.exec();
}
