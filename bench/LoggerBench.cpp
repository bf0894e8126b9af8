// SPDX-License-Identifier: GPL-3.0-or-later
// What a logger drives: the keyer interface under a flood of calls, the voicevocta-send command
// from its start to the keying request, the spoken-text builder, and a spoken text's first sound
// beside a memory's.

#include "bench/BenchReport.h"
#include "bench/BenchSounds.h"
#include "bench/BenchStation.h"
#include "playback/kit/KitMessages.h"
#include "playback/kit/VoiceKit.h"
#include "remote/KeyerAdaptor.h"
#include "remote/KeyerService.h"
#include "tests/support/PrivateBus.h"
#include "ui/PictureButton.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

const QString Section = QStringLiteral("logger");

QDBusMessage playCall(int memory)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.voicevocta.Keyer"), QStringLiteral("/Keyer"),
        QStringLiteral("org.voicevocta.Keyer1"), QStringLiteral("Play"));
    call << memory;
    return call;
}

// A logger gone wild: `count` Play calls on memory 1 (each starts or stops it) without waiting
// for their answers, `perSecond` a second (0: all at once), while the window's event loop is
// watched. Reports the longest time the loop did not turn and how long until every call was
// answered.
void flood(BenchReport &report, const QString &address, int count, int perSecond,
           const QString &label)
{
    std::atomic<int> answered = 0;
    std::atomic<bool> sent = false;
    QElapsedTimer clock;
    clock.start();
    std::thread logger([&] {
        const QString name = QStringLiteral("vvbench-flood");
        {
            QDBusConnection client = QDBusConnection::connectToBus(address, name);
            std::vector<QDBusPendingCall> calls;
            calls.reserve(count);
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < count; ++i) {
                if (perSecond > 0)
                    std::this_thread::sleep_until(
                        start + std::chrono::microseconds(qint64(i) * 1000000 / perSecond));
                calls.push_back(client.asyncCall(playCall(1)));
            }
            sent = true;
            for (QDBusPendingCall &call : calls) {
                call.waitForFinished();
                ++answered;
            }
        }
        QDBusConnection::disconnectFromBus(name);
    });
    const double stall = longestStallWhile([&] { return answered.load() == count; }, 600000);
    const double total = clock.elapsed();
    logger.join();
    report.add(Section, label + QStringLiteral(": longest the window did not answer"), stall,
               QStringLiteral("< 100"));
    report.add(Section, label + QStringLiteral(": until every call was answered"), total);
}

void runFloods(BenchReport &report, const PrivateBus &bus)
{
    QTemporaryDir folder;
    populateProgramFolder(folder.path());
    BenchStation bench(folder.path());
    bench.station.Form_Load();
    const QString stationName = QStringLiteral("vvbench-keyer");
    {
        KeyerService service(bench.station.remote());
        if (!service.start(QDBusConnection::connectToBus(bus.address(), stationName))) {
            report.note(QStringLiteral("logger: the keyer interface did not start on the bus"));
            return;
        }
        // The machine's own share: the longest the loop waits for its turn with no call at all.
        QElapsedTimer idle;
        idle.start();
        report.add(Section, QStringLiteral("no calls: longest the window did not answer"),
                   longestStallWhile([&] { return idle.elapsed() > 3000; }, 10000));
        flood(report, bus.address(), 5000, 1000, QStringLiteral("1,000 Play calls a second"));
        flood(report, bus.address(), 10000, 0, QStringLiteral("10,000 Play calls at once"));
    }
    QDBusConnection::disconnectFromBus(stationName);
}

// A logger's script runs "voicevocta-send play 1": from the spawn of the command to the keying
// request on the serial lines (RTS), and to the command's end.
void runSend(BenchReport &report, const PrivateBus &bus)
{
    const QString command = QStringLiteral(VV_PROGRAM_DIR "/voicevocta-send");
    if (!QFileInfo(command).isExecutable()) {
        report.note(QStringLiteral("logger: build voicevocta-send first"));
        return;
    }
    QTemporaryDir folder;
    populateProgramFolder(folder.path());
    BenchStation bench(folder.path());
    bench.station.Form_Load();
    bench.station.state().Ptt.RtsOn = true;
    bench.station.state().Ptt.RtsPos = true;
    const QString stationName = QStringLiteral("vvbench-keyer");
    KeyerService service(bench.station.remote());
    if (!service.start(QDBusConnection::connectToBus(bus.address(), stationName))) {
        report.note(QStringLiteral("logger: the keyer interface did not start on the bus"));
        return;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
    std::vector<double> keyed;
    std::vector<double> ended;
    for (int run = 0; run < 21; ++run) {
        const int before = bench.lines.rtsCount(true);
        QProcess send;
        send.setProcessEnvironment(env);
        const auto spawned = std::chrono::steady_clock::now();
        send.start(command, {QStringLiteral("play"), QStringLiteral("1")});
        longestStallWhile([&] { return send.state() == QProcess::NotRunning; }, 10000);
        const auto done = std::chrono::steady_clock::now();
        const bool ok = send.exitCode() == 0 && bench.lines.rtsCount(true) > before;
        keyed.push_back(
            ok ? std::chrono::duration<double, std::milli>(bench.lines.rtsAt(true) - spawned)
                     .count()
               : -1);
        ended.push_back(ok ? std::chrono::duration<double, std::milli>(done - spawned).count()
                           : -1);
        bench.station.remote().stop();
    }
    service.stop();
    QDBusConnection::disconnectFromBus(stationName);
    report.addSpread(Section, QStringLiteral("voicevocta-send play 1: spawn to keying request"),
                     keyed, QStringLiteral("< 30"));
    report.addSpread(Section, QStringLiteral("voicevocta-send play 1: spawn to its end"), ended);
}

// The builder on "DL1ABC 59 123" from a kit of 0.3 s recordings at 48 kHz: the first time, with
// every part to decode, and again, from what it kept.
void runBuilder(BenchReport &report)
{
    QTemporaryDir kit;
    for (const char *part : {"d", "l", "1", "a", "b", "c", "5", "9", "2", "3"}) {
        if (!BenchSounds::writeWav(kit.filePath(QLatin1String(part) + QLatin1String(".wav")), 48000,
                                   0.3)) {
            report.note(QStringLiteral("logger: the voice kit could not be written"));
            return;
        }
    }
    std::vector<double> cold;
    std::vector<double> warm;
    for (int run = 0; run < 21; ++run) {
        VoiceKit builder;
        builder.setFolder(kit.path());
        for (std::vector<double> *figures : {&cold, &warm}) {
            QElapsedTimer clock;
            clock.start();
            const bool ok = builder.speak(QStringLiteral("DL1ABC 59 123")).ok;
            figures->push_back(ok ? double(clock.nsecsElapsed()) / 1e6 : -1);
        }
    }
    report.addSpread(Section, QStringLiteral("\"DL1ABC 59 123\" built, cold"), cold);
    report.addSpread(Section, QStringLiteral("\"DL1ABC 59 123\" built, warm"), warm);
}

// A logger's PlayText of "DL1ABC 59 123" (ten characters) to its first sound on the output, with
// the kit's parts still to decode (cold) and kept (warm), beside a left click on a memory (its
// 2 s WAV on disk) to its first sound; the transmitter keyed at once (no serial port), no lead.
void runSpoken(BenchReport &report)
{
    QTemporaryDir folder;
    populateProgramFolder(folder.path());
    const QString kit = folder.filePath(QStringLiteral("kit"));
    QDir().mkpath(kit);
    bool written = BenchSounds::writeWav(folder.filePath(QStringLiteral("memory.wav")), 48000, 2);
    for (const char *part : {"d", "l", "1", "a", "b", "c", "5", "9", "2", "3"})
        written
            = written
              && BenchSounds::writeWav(
                  kit + QLatin1Char('/') + QLatin1String(part) + QLatin1String(".wav"), 48000, 0.3);
    if (!written) {
        report.note(QStringLiteral("logger: the voice kit could not be written"));
        return;
    }
    BenchStation bench(folder.path());
    bench.station.Form_Load();
    bench.station.state().Memories.MemFile[0] = folder.filePath(QStringLiteral("memory.wav"));
    KeyerService service(bench.station.remote());

    using Steady = std::chrono::steady_clock;
    const auto firstSound = [&](const std::function<void()> &start) {
        const Steady::time_point begin = Steady::now();
        start();
        const auto heard = [&] {
            return bench.device.timings().firstSound > begin;
        };
        longestStallWhile(heard, 10000);
        const double ms = heard() ? std::chrono::duration<double, std::milli>(
                                        bench.device.timings().firstSound - begin)
                                        .count()
                                  : -1;
        bench.station.remote().stop();
        longestStallWhile([] { return false; }, 50);
        return ms;
    };
    std::vector<double> cold;
    std::vector<double> warm;
    std::vector<double> memory;
    for (int run = 0; run < 11; ++run) {
        KitMessages texts(bench.station.state(), kit, folder.path());
        service.adaptor().setTexts(&texts);
        const auto say = [&] {
            QStringList missing;
            double seconds = 0;
            service.adaptor().PlayText(QStringLiteral("DL1ABC 59 123"), missing, seconds);
        };
        cold.push_back(firstSound(say));
        warm.push_back(firstSound(say));
        memory.push_back(
            firstSound([&] { click(bench.station.window().Command3d1(0), Qt::LeftButton); }));
        service.adaptor().setTexts(nullptr);
    }
    report.addSpread(Section, QStringLiteral("PlayText \"DL1ABC 59 123\" to first sound, cold"),
                     cold);
    report.addSpread(Section, QStringLiteral("PlayText \"DL1ABC 59 123\" to first sound, warm"),
                     warm, QStringLiteral("< 1.2 x memory"));
    report.addSpread(Section, QStringLiteral("memory click to first sound"), memory);
}

} // namespace

void runLoggerBench(BenchReport &report)
{
    runBuilder(report);
    runSpoken(report);
    PrivateBus bus;
    if (!bus.start()) {
        report.note(QStringLiteral("logger: no private session bus: ") + bus.errorString());
        return;
    }
    runSend(report, bus);
    runFloods(report, bus);
}
