// SPDX-License-Identifier: GPL-3.0-or-later
// The keyer interface on the session bus: how long from a logger's Play call to the first keying
// request on the serial lines, through a private bus daemon, with the real sound device and the
// real serial lines (no port open: the request is remembered, as it is until the COM dialog
// opens one).

#include "app/VoiceVocta.h"
#include "bench/BenchReport.h"
#include "bench/BenchStation.h"
#include "playback/audio/PulseAudioInput.h"
#include "playback/audio/PulseConnection.h"
#include "playback/audio/PulseSoundServer.h"
#include "playback/audio/SoundDevice.h"
#include "ptt/QtSerialLines.h"
#include "remote/KeyerService.h"
#include "station/Dialogs.h"
#include "tests/support/PrivateBus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;
const QString Section = QStringLiteral("remote");
constexpr int Runs = 41;

// The real serial lines, noting when a line is first asked to its on-air level (RTS positive).
class TimedLines : public QtSerialLines
{
public:
    void setRts(bool level) override
    {
        if (level && !m_keyed.load()) {
            m_keyedAt = Steady::now();
            m_keyed = true; // after the time: the logger's thread reads it once this is set
        }
        QtSerialLines::setRts(level);
    }
    void rearm() { m_keyed = false; }
    bool keyed() const { return m_keyed.load(); }
    Steady::time_point keyedAt() const { return m_keyedAt; }

private:
    std::atomic<bool> m_keyed = false;
    Steady::time_point m_keyedAt;
};

} // namespace

void runRemoteBench(BenchReport &report)
{
    PrivateBus bus;
    if (!bus.start()) {
        report.note(QStringLiteral("remote: no private session bus: ") + bus.errorString());
        return;
    }
    QTemporaryDir folder;
    populateProgramFolder(folder.path());

    PulseConnection connection;
    SoundDevice device(connection);
    TimedLines lines;
    InstantDialogs dialogs;
    PulseSoundServer server(connection);
    PulseAudioInput input(connection);
    SoundDevice preview(connection);
    VoiceVocta station(device, lines, dialogs, server, input, preview, folder.path());
    station.Form_Load();
    station.state().Ptt.RtsOn = true;
    station.state().Ptt.RtsPos = true;
    station.state().Memories.MemFile[0] = folder.path() + QStringLiteral("/Wav/1.wav");

    const QString stationName = QStringLiteral("vvbench-station");
    KeyerService service(station.remote());
    if (!service.start(QDBusConnection::connectToBus(bus.address(), stationName))) {
        report.note(QStringLiteral("remote: the keyer interface did not start on the bus"));
        return;
    }

    // The logger: a connection of its own on a thread of its own, calling Play and Stop as
    // gdbus would, and waiting for each answer.
    std::vector<double> latencies;
    std::vector<double> answers;
    std::atomic<bool> failed = false;
    QEventLoop loop;
    std::thread logger([&] {
        QDBusConnection client
            = QDBusConnection::connectToBus(bus.address(), QStringLiteral("vvbench-logger"));
        const auto method = [](const char *name) {
            return QDBusMessage::createMethodCall(
                QStringLiteral("org.voicevocta.Keyer"), QStringLiteral("/Keyer"),
                QStringLiteral("org.voicevocta.Keyer1"), QLatin1String(name));
        };
        for (int run = 0; run < Runs && !failed; ++run) {
            lines.rearm();
            QDBusMessage play = method("Play");
            play << 1;
            const Steady::time_point sent = Steady::now();
            const QDBusMessage reply = client.call(play);
            const Steady::time_point answered = Steady::now();
            // The station keys once the message's output is ready: soon after its answer.
            for (int waited = 0; waited < 2000 && !lines.keyed(); ++waited)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (reply.type() != QDBusMessage::ReplyMessage || !reply.arguments().value(0).toBool()
                || !lines.keyed()) {
                failed = true;
                break;
            }
            // The first run pays for what is loaded once; it is not counted.
            if (run > 0) {
                latencies.push_back(
                    std::chrono::duration<double, std::milli>(lines.keyedAt() - sent).count());
                answers.push_back(
                    std::chrono::duration<double, std::milli>(answered - sent).count());
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            client.call(method("Stop"));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("vvbench-logger"));
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    logger.join();
    service.stop();
    QDBusConnection::disconnectFromBus(stationName);

    if (failed) {
        report.note(QStringLiteral("remote: a Play call did not key the transmitter"));
        return;
    }
    report.add(Section, QStringLiteral("D-Bus Play call to first keying request, median"),
               median(latencies), QStringLiteral("< 5"));
    report.add(Section, QStringLiteral("D-Bus Play call to first keying request, worst"),
               *std::max_element(latencies.begin(), latencies.end()));
    report.add(Section, QStringLiteral("D-Bus Play call to its answer, median"), median(answers));
}
