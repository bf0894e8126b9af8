// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/BenchReport.h"

#include <QApplication>
#include <QTextStream>

#include <cstring>

// The benchmark: speed figures of the program, printed as a table beside their targets, never
// asserted. Build it in a release build (tools/build.sh makes one in build/) and run it there:
//
//   cmake --build build --target vvbench
//   build/vvbench [section ...]
//
// Sections (all when none is named): "device", the sound device on its own (opening, time to
// the first sound, time from the last sample to Done); "station", the whole window on the real
// device (start-up to the window shown, the cost of one status report, and how long a click on
// a memory, a file choice and a save hold the UI thread); "server", the station on a PulseAudio
// server of its own beside paplay (click to the first sound heard, the last sample heard to Done,
// idle wake-ups, CPU while playing); "rig", keying through hamlib against a rigctld that it
// starts itself (request to rigctld's answer, how soon a stopped rig is noticed, and how long the
// UI thread is held while the rig does not answer); "remote", a logger's Play call on the session
// bus (a private one, started and ended by the benchmark) to the first keying request; "keying",
// the whole station keying each method (a pseudo-terminal as the serial port, a rigctld of its
// own, none): click to the keying request carried out, the lead and the tail against their
// settings, and how long the UI thread is held while the rig does not answer; "guard", the
// program's guard against a rigctld of its own: a SIGKILL of the program to the rig released,
// and the guard's wake-ups while it watches; "logger", what a logger drives: voicevocta-send from
// its spawn to the keying request, the keyer interface under a flood of calls (how long the window
// goes without a turn), the time to build a spoken text from a voice kit, with its parts to decode
// and with them kept, and PlayText to the text's first sound, cold and warm, beside a memory's
// click to its first sound; "heldkey", F1 held on an X server of its own (Xvfb) and the keyings
// that one hold gives; "footprint", the program started from outside on an X server (Xvfb), a
// PulseAudio server and a session bus of its own, beside a minimal Qt Widgets program and paplay:
// exec to the window mapped, resident memory and threads once started, and CPU over a 30 s message;
// "firstsample", the key to the first sample heard at the rig's sink, on a PulseAudio and on a
// PipeWire server of its own, for the first message after the sink suspended and a later one,
// beside paplay and pw-play on the same sink; "loudness", measuring a minute of a message (beside
// ffmpeg's ebur128 filter) and "Open"+"Play" to the first sound with and without a loudness target;
// "network", the station network on the loopback interface: publish() to the datagram at a peer,
// a peer's datagram to the signal that stops a running station, and the UI thread's CPU and
// longest stall under 10,000 packets a second, not RadioInfo and RadioInfo; then the whole station
// keying a rigctld of its own: a click to the datagram at a peer, and a search-and-pounce station's
// packet to the message stopped and to the rig read released, beside a click's; "radios", two
// radios' owner: a click to its first sample's play() on the focus radio and after a focus swap,
// and the interlock's refusal, beside a one-radio station's click; then the whole program on a
// PulseAudio of its own, each radio on a null sink: a click to the first sample heard at radio 1's
// sink, and the Pause key with a click to the first at radio 2's, beside a one-radio program's
// click. "soak", run only when named (it takes 10 minutes, VVBENCH_SOAK_SECONDS to change that): a
// repeating message on a busy machine (two busy processes per core) beside paplay, counting the
// plays with silence inserted.
//
// It runs headless: offscreen window, and SDL's dummy sound driver unless SDL_AUDIODRIVER names
// another. The first two sections never reach a sound server that runs on the machine (they play
// on SDL); the third starts its own. VVBENCH_VERBOSE=1 adds every single figure of the spreads.
int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--guarded-keyer") == 0)
        return runGuardedKeyer(argc, argv);
    if (argc == 2 && std::strcmp(argv[1], "--held-key") == 0)
        return runHeldKeyChild(argc, argv);
    // Headless: no window system and, unless told otherwise, SDL's dummy sound driver.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER"))
        qputenv("SDL_AUDIODRIVER", "dummy");
    qputenv("PULSE_SERVER", "unix:/nonexistent-voicevocta-sound-server/native");
    QApplication app(argc, argv);

    const BenchSection sections[] = {
        {"device", &runDeviceBench},
        {"station", &runStationBench},
        {"rig", &runRigBench},
        {"server", &runServerBench},
        {"remote", &runRemoteBench},
        {"keying", &runKeyingBench},
        {"guard", &runGuardBench},
        {"logger", &runLoggerBench},
        {"heldkey", &runHeldKeyBench},
        {"footprint", &runFootprintBench},
        {"firstsample", &runFirstSampleBench},
        {"loudness", &runLoudnessBench},
        {"network", &runNetworkBench},
        {"radios", &runRadiosBench},
        {"soak", &runSoakBench, false},
    };

    QTextStream out(stdout);
    BenchReport report;
    for (const BenchSection &section : sections) {
        bool wanted = argc < 2 && section.byDefault;
        for (int i = 1; i < argc; ++i)
            wanted = wanted || std::strcmp(argv[i], section.name) == 0;
        if (wanted)
            section.run(report);
    }
    out << "Voice Vocta benchmark (SDL audio driver: " << qgetenv("SDL_AUDIODRIVER") << ")\n\n"
        << report.table() << Qt::endl;
    return 0;
}
