// SPDX-License-Identifier: GPL-3.0-or-later
// voicevocta-send: the command that loggers and scripts run to drive the running keyer.
#include "app/TerminationSignals.h"
#include "remote/send/KeyerClient.h"
#include "remote/send/SendArguments.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    SendArguments request;
    QString error;
    if (!SendArguments::parse(arguments, &request, &error)) {
        std::fprintf(stderr, "voicevocta-send: %s\nTry voicevocta-send --help.\n",
                     error.toLocal8Bit().constData());
        return 64;
    }
    if (request.command == SendArguments::Command::Help) {
        std::fputs(SendArguments::usage().toLocal8Bit().constData(), stdout);
        return 0;
    }

    // The toolkit is given the program's name alone: the arguments above are the command's.
    char *programName[] = {argv[0], nullptr};
    int programArgc = 1;
    QCoreApplication application(programArgc, programName);
    TerminationSignals termination;
    KeyerClient client(QDBusConnection::sessionBus());
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &client,
                     &KeyerClient::terminate);
    return client.run(request);
}
