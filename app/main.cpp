#include "app/TerminationSignals.h"
#include "app/VoiceVocta.h"
#include "playback/audio/PulseAudioInput.h"
#include "playback/audio/PulseConnection.h"
#include "playback/audio/PulseSoundServer.h"
#include "playback/audio/SoundDevice.h"
#include "ptt/QtSerialLines.h"
#include "ui/Dialogs.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // The command line is not used.

    // One connection to the sound server, made in the background, shared by everything that
    // plays, records or lists the server's devices.
    PulseConnection soundServerConnection;
    SoundDevice device(soundServerConnection);
    // The MIDI soundfont gets ready in the background.
    device.preload();
    // The server's outputs and inputs (for the Sound dialog), the recorder's input, and a second
    // device on the default output for listening to a recording, never keyed. The station takes
    // them as VoiceVocta(device, lines, dialogs, appDir, soundServer, audioInput, preview).
    PulseSoundServer soundServer(soundServerConnection);
    PulseAudioInput audioInput(soundServerConnection);
    SoundDevice preview(soundServerConnection);

    QtSerialLines lines;
    QtDialogs dialogs;
    VoiceVocta station(device, lines, dialogs, QCoreApplication::applicationDirPath());
    QObject::connect(&station, &VoiceVocta::endProgram, &application, &QCoreApplication::quit);

    // Asked to end from outside: end as if the window were closed.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &station.window(),
                     &QWidget::close);

    station.Form_Load();
    station.window().show();
    return application.exec();
}
