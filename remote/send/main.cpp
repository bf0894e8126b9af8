// SPDX-License-Identifier: GPL-3.0-or-later
// voicevocta-send: the command that loggers and scripts run to drive the running keyer.
#include "remote/send/KeyerClient.h"
#include "remote/send/SendArguments.h"
#include "station/TerminationSignals.h"

#include <QCoreApplication>
#include <QDBusVariant>

#include <cstdio>

int main(int argc, char *argv[])
{
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    SendArguments request;
    const Result parsed = SendArguments::parse(arguments, &request);
    if (!parsed) {
        std::fprintf(stderr, "voicevocta-send: %s\nTry voicevocta-send --help.\n",
                     parsed.error.toLocal8Bit().constData());
        return 64;
    }
    if (request.command == SendArguments::Command::Help) {
        std::fputs(SendArguments::usage().toLocal8Bit().constData(), stdout);
        return 0;
    }

    // The registry of the types that bus messages are read into is made before the bus's own
    // thread, so that it is also gone after it at the end: a message that the thread still takes
    // in as the command ends is then read into types that exist.
    QMetaType::fromType<QDBusVariant>().id();

    // The toolkit is given the program's name alone: the arguments above are the command's.
    char *programName[] = {argv[0], nullptr};
    int programArgc = 1;
    QCoreApplication application(programArgc, programName);
    TerminationSignals termination;
    KeyerClient client(QDBusConnection::sessionBus());
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &client,
                     &KeyerClient::terminate);
    termination.listen();
    return client.run(request);
}
