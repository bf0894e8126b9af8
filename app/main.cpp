#include "app/SoundStandIns.h"
#include "app/TerminationSignals.h"
#include "app/VoiceVocta.h"
#include "playback/audio/SdlMediaDevice.h"
#include "ptt/QtSerialLines.h"
#include "ui/Dialogs.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // The command line is not used.

    SdlMediaDevice device;
    // The sound output and the MIDI soundfont get ready in the background.
    device.preload();
    QtSerialLines lines;
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
    station.window().show();
    return application.exec();
}
