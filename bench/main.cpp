#include "BenchReport.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstring>

// vvbench [section ...]: runs the named sections (all when none is named) and prints a table.
int main(int argc, char **argv)
{
    // Headless: no window system and, unless told otherwise, SDL's dummy sound driver.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER"))
        qputenv("SDL_AUDIODRIVER", "dummy");
    QCoreApplication app(argc, argv);

    const BenchSection sections[] = {
        {"device", &runDeviceBench},
    };

    QTextStream out(stdout);
    BenchReport report;
    for (const BenchSection &section : sections) {
        bool wanted = argc < 2;
        for (int i = 1; i < argc; ++i)
            wanted = wanted || std::strcmp(argv[i], section.name) == 0;
        if (wanted)
            section.run(report);
    }
    out << "Voice Vocta benchmark (SDL audio driver: " << qgetenv("SDL_AUDIODRIVER") << ")\n\n"
        << report.table() << Qt::endl;
    return 0;
}
