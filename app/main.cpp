#include "app/TerminationSignals.h"
#include "app/VoiceVocta.h"
#include "playback/audio/SoundDevice.h"
#include "ptt/QtSerialLines.h"
#include "ui/Dialogs.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // The command line is not used.

    SoundDevice device;
    // The sound output and the MIDI soundfont get ready in the background.
    device.preload();
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
