// SPDX-License-Identifier: GPL-3.0-or-later
// A keyer that dies: the station on the real port layer with the crash release, wired as the
// program wires them, keys the transmitter through Lock and then waits to die, of a signal from
// outside or of a fault of its own.
//
//   crashkeyer <program folder> <device> <rts> <dtr> [guard|unitguard [mute=<source>]]
//
// rts and dtr: "positive", "negative" or "off". A device "host:port" is a rigctld: the station
// keys its rig through CAT. With "guard" the program's guard watches it (with "unitguard", from a
// service unit of its own where the session bus has a service manager); with "mute=<source>" it
// also mutes that microphone through the sound server, as for a message. It writes "keyed <the
// guard's process id, or 0>" to standard output once the transmitter is keyed (the rig has
// confirmed it), "guarded <process id>" whenever a guard runs and has been told everything, and
// "released" should the station see its transmitter released from elsewhere
// (its guard). Then a line on standard input says how to die: "fault" (a write to an address that
// is not mapped) or "abort"; or "quit", to end in order; or "hang", to hold its event loop.

#include "app/VoiceVocta.h"
#include "playback/audio/PulseConnection.h"
#include "playback/audio/PulseSourceMute.h"
#include "ptt/CrashRelease.h"
#include "ptt/HamlibKeyer.h"
#include "ptt/PttGuard.h"
#include "ptt/QtSerialLines.h"
#include "ptt/TransientUnit.h"
#include "tests/support/FakeAudioInput.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/FakeSoundPlayer.h"
#include "tests/support/FakeSoundServer.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

bool setLine(const char *use, bool &on, bool &positive)
{
    on = std::strcmp(use, "off") != 0;
    positive = std::strcmp(use, "positive") == 0;
    return !on || positive || std::strcmp(use, "negative") == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const bool inUnit = argc >= 6 && std::strcmp(argv[5], "unitguard") == 0;
    const bool guarded = argc >= 6 && (std::strcmp(argv[5], "guard") == 0 || inUnit);
    const bool muting = argc == 7 && std::strncmp(argv[6], "mute=", 5) == 0;
    if (argc != 5 && !(argc == 6 && guarded) && !(guarded && muting))
        return 2;
    const QString device = QString::fromLocal8Bit(argv[2]);
    const bool cat = !device.startsWith(QLatin1Char('/'));

    PttGuard guard(QStringLiteral(VV_GUARD));
    TransientUnit unit;
    if (inUnit)
        guard.setTransientUnit(&unit);
    QObject::connect(&guard, &PttGuard::running, [](qint64 pid) {
        std::printf("guarded %lld\n", static_cast<long long>(pid));
        std::fflush(stdout);
    });
    FakeSoundPlayer sound;
    FakeDialogs dialogs;
    CrashRelease crash;
    QtSerialLines lines([device] { return QStringList{device}; });
    lines.setCrashRelease(&crash);
    if (guarded)
        lines.setGuard(&guard);
    std::unique_ptr<PulseConnection> soundServer;
    std::unique_ptr<PulseSourceMute> sourceMute;
    if (muting) {
        soundServer = std::make_unique<PulseConnection>();
        sourceMute = std::make_unique<PulseSourceMute>(*soundServer);
        QObject::connect(sourceMute.get(), &SourceMute::mutedSourcesChanged, &guard,
                         &PttGuard::watchMutedSources);
    }
    FakeSoundServer server;
    FakeAudioInput microphone;
    FakeSoundPlayer preview;
    VoiceVocta station(sound, lines, dialogs, server, microphone, preview,
                       QString::fromLocal8Bit(argv[1]));
    if (guarded)
        station.setGuard(&guard);
    if (sourceMute) {
        sourceMute->setSource(QString::fromLocal8Bit(argv[6] + 5));
        sourceMute->setMessageKeyed(true);
    }
    station.Form_Load();

    AppState &state = station.state();
    if (!setLine(argv[3], state.Ptt.RtsOn, state.Ptt.RtsPos)
        || !setLine(argv[4], state.Ptt.DtrOn, state.Ptt.DtrPos))
        return 2;
    const auto sayKeyed = [&guard] {
        std::printf("keyed %lld\n", static_cast<long long>(guard.processId()));
        std::fflush(stdout);
    };
    if (cat) {
        state.Ptt.PttMethod = KeyingMethod::Cat;
        state.Ptt.RigModel = HamlibSettings::NetworkModel;
        state.Ptt.RigPort = device;
        station.keyers().apply();
        QObject::connect(station.keyers().hamlibKeyer(), &PttKeyer::confirmed, &application,
                         [sayKeyed](bool onAir) {
                             if (onAir)
                                 sayKeyed();
                         });
    } else {
        state.Ptt.ComNum = 1;
        station.serialKeyer().open();
        if (!lines.isOpen())
            return 3;
    }
    station.station().handle(StationEvents::LockClick{});
    if (!station.station().state().lock)
        return 3;
    QObject::connect(&station.station(), &Station::changed, &application,
                     [](const StationState &state) {
                         static bool said = false;
                         if (state.lock || said)
                             return;
                         said = true;
                         std::printf("released\n");
                         std::fflush(stdout);
                     });
    if (!cat)
        sayKeyed();

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &application, [&application, &station] {
        char line[16] = {};
        if (::read(STDIN_FILENO, line, sizeof line - 1) <= 0) {
            application.exit(4); // the test has gone
            return;
        }
        if (std::strncmp(line, "fault", 5) == 0) {
            volatile std::uintptr_t address = 16;
            *reinterpret_cast<volatile int *>(address) = 1;
        }
        if (std::strncmp(line, "abort", 5) == 0)
            std::abort();
        if (std::strncmp(line, "hang", 4) == 0)
            for (;;)
                ::pause(); // the event loop never runs again
        if (std::strncmp(line, "quit", 4) == 0) {
            station.Form_Terminate();
            application.exit(0);
        }
    });
    return application.exec();
}
