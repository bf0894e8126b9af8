#include "Dialogs.h"
#include "QtSerialLines.h"
#include "SdlMediaDevice.h"
#include "VoiceVocta.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // The command line is not used.

    SdlMediaDevice device;
    QtSerialLines lines;
    QtDialogs dialogs;
    VoiceVocta station(device, lines, dialogs, QCoreApplication::applicationDirPath());
    QObject::connect(&station, &VoiceVocta::endProgram, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    station.Form_Load();
    station.window().show();
    return application.exec();
}
