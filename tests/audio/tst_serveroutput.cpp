// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/PulseAudioInput.h"
#include "playback/audio/PulseConnection.h"
#include "playback/audio/PulseSoundServer.h"
#include "playback/audio/PulseSourceMute.h"
#include "playback/audio/SoundDevice.h"
#include "tests/audio/TestSounds.h"
#include "tests/support/MonitorCapture.h"
#include "tests/support/PrivateSoundServer.h"
#include "tests/support/StationFixture.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <sndfile.h>

using namespace TestSounds;

// The sound device, the device lists, recording and the microphone's mute against a real sound
// server of the test's own (null sinks "rig" and "speakers", "speakers" the default), each sink's
// monitor listened to: what is heard there is what a transmitter would get. Timing is judged by
// the sinks' own clock (MonitorCapture::positionAt), never by when a listener gets to run.
class TestServerOutput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void playsOnTheChosenOutput_data();
    void playsOnTheChosenOutput();
    void stopSilencesAtOnce();
    void levelTakesEffectAtOnce();
    void monitorPlaysWhatIsSent_data();
    void monitorPlaysWhatIsSent();
    void monitorGoingAwayLeavesTheMessage();
    void absentOutputRefusesTheStart_data();
    void absentOutputRefusesTheStart();
    void absentOutputNeverKeys();
    void serverLostMidMessage();
    void listsTheServersDevices();
    void connectsWhenAskedAndEndsAtAnyMoment();
    void recordsFromAnInput();
    void inputThatIsAbsentOrGoesAway_data();
    void inputThatIsAbsentOrGoesAway();
    void microphoneMutedWhileKeyed();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    // Starts listening to both sinks' monitors.
    void listen();
    // Starts the server (again), "speakers" its default output.
    void startServer();
    void waitForServer();
    // Plays a file on the rig's output and waits for its Done; the moment Done came.
    MonitorCapture::Clock::time_point playToDone(SoundDevice &device, const QString &file);

    QTemporaryDir m_dir;
    PrivateSoundServer m_server;
    std::unique_ptr<PulseConnection> m_connection;
    std::unique_ptr<MonitorCapture> m_rig;
    std::unique_ptr<MonitorCapture> m_speakers;
};

namespace {

constexpr int Rate = MonitorCapture::SampleRate; // the sinks' own rate: nothing is resampled
// The sinks hold 16-bit samples: a scaled sample is rounded to the nearest step.
constexpr float Step = 1.0f / 32768;

std::vector<float> scaled(std::vector<float> samples, double level)
{
    for (float &sample : samples)
        sample *= float(level);
    return samples;
}

// The index of the last sample that is not silent; -1 for none.
qint64 lastSound(const std::vector<float> &samples)
{
    const auto last
        = std::find_if(samples.rbegin(), samples.rend(), [](float s) { return s != 0; });
    return qint64(samples.rend() - last) - 1;
}

// Whether samples hold the whole of sent (as MonitorCapture::heardAsSent has it) and then some
// silence: a sound that is still arriving does not pass.
bool heardWhole(const std::vector<float> &samples, const std::vector<float> &sent,
                float tolerance = 0.0f)
{
    return qint64(samples.size()) > lastSound(samples) + Rate / 20
           && MonitorCapture::heardAsSent(MonitorCapture::sound(samples), sent, tolerance);
}

QString sourceMute(const PrivateSoundServer &server, const QString &source)
{
    return QString::fromUtf8(server.pactl({"get-source-mute", source}).trimmed());
}

} // namespace

void TestServerOutput::initTestCase()
{
    QString error;
    if (!m_server.start(&error))
        QSKIP(qPrintable("No private PulseAudio server can start here: " + error));
    QVERIFY(m_dir.isValid());
    QVERIFY(writeWav(path("message.wav"), Rate, 1, Rate / 2, SF_FORMAT_PCM_16)); // 0.5 s
    QVERIFY(writeWav(path("long.wav"), Rate, 1, Rate * 3, SF_FORMAT_PCM_16)); // 3 s
    // Where a part of it was heard shows in the samples alone.
    QVERIFY(writeSweep(path("sweep.wav"), Rate, Rate * 3)); // 3 s
    QVERIFY(writeSweep(path("short-sweep.wav"), Rate, Rate / 2)); // 0.5 s
}

void TestServerOutput::init()
{
    if (!m_server.isRunning() || m_server.pactl({"get-default-sink"}).trimmed() != "speakers")
        startServer();
    m_connection = std::make_unique<PulseConnection>();
    waitForServer();
}

void TestServerOutput::startServer()
{
    QString error;
    if (!m_server.isRunning())
        QVERIFY2(m_server.start(&error), qPrintable(error));
    QVERIFY(!m_server.pactl({"set-default-sink", PrivateSoundServer::Speakers}).isNull());
}

void TestServerOutput::cleanup()
{
    m_rig.reset();
    m_speakers.reset();
    m_connection.reset();
}

void TestServerOutput::waitForServer()
{
    QTRY_COMPARE_WITH_TIMEOUT(m_connection->state(), PulseConnection::Ready, 30000);
}

void TestServerOutput::listen()
{
    QString error;
    m_rig = std::make_unique<MonitorCapture>(PrivateSoundServer::Rig + ".monitor");
    m_speakers = std::make_unique<MonitorCapture>(PrivateSoundServer::Speakers + ".monitor");
    QVERIFY2(m_rig->start(&error), qPrintable(error));
    QVERIFY2(m_speakers->start(&error), qPrintable(error));
}

void TestServerOutput::playsOnTheChosenOutput_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("sink"); // where it must be heard; the other sink hears nothing
    QTest::newRow("the rig's output") << PrivateSoundServer::Rig << 100 << PrivateSoundServer::Rig;
    QTest::newRow("the default output") << QString() << 100 << PrivateSoundServer::Speakers;
    QTest::newRow("at half level") << PrivateSoundServer::Rig << 50 << PrivateSoundServer::Rig;
    QTest::newRow("at a tenth") << PrivateSoundServer::Rig << 10 << PrivateSoundServer::Rig;
}

void TestServerOutput::playsOnTheChosenOutput()
{
    QFETCH(QString, output);
    QFETCH(int, level);
    QFETCH(QString, sink);
    listen();
    MonitorCapture &there = sink == PrivateSoundServer::Rig ? *m_rig : *m_speakers;
    MonitorCapture &elsewhere = sink == PrivateSoundServer::Rig ? *m_speakers : *m_rig;

    SoundDevice device(*m_connection);
    device.setOutput(output);
    device.setLevel(level);
    device.open(path("message.wav"));
    QCOMPARE(device.mode(), SoundPlayer::Mode::Stopped);

    device.play();
    QCOMPARE(device.mode(), SoundPlayer::Mode::Playing);
    const MonitorCapture::Clock::time_point doneAt = playToDone(device, QString());
    QVERIFY(there.catchUp());
    QVERIFY(elsewhere.catchUp());

    const std::vector<float> expected = scaled(decode(path("message.wav")), level / 100.0);
    const std::vector<float> heard = there.samples();
    const std::vector<float> got = MonitorCapture::sound(heard);
    QVERIFY2(
        MonitorCapture::heardAsSent(got, expected, level == 100 ? 0.0f : Step),
        qPrintable(QStringLiteral("%1 of %2 samples heard").arg(got.size()).arg(expected.size())));
    QCOMPARE(elsewhere.soundSamples(), 0);
    // Done came once the sink had played the last sample, not before.
    const qint64 atDone = there.positionAt(doneAt);
    QVERIFY2(
        lastSound(heard) < atDone,
        qPrintable(
            QStringLiteral("the last sample at %1, Done at %2").arg(lastSound(heard)).arg(atDone)));
}

MonitorCapture::Clock::time_point TestServerOutput::playToDone(SoundDevice &device,
                                                               const QString &file)
{
    if (!file.isEmpty()) {
        device.open(path(file));
        device.play();
    }
    MonitorCapture::Clock::time_point doneAt;
    QSignalSpy done(&device, &SoundPlayer::finished);
    const QMetaObject::Connection noted = connect(&device, &SoundPlayer::finished, this, [&doneAt] {
        doneAt = MonitorCapture::Clock::now();
    });
    [&] {
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 10000);
    }();
    disconnect(noted);
    if (!done.isEmpty())
        [&] {
            QCOMPARE(done.at(0).at(0).value<SoundPlayer::Outcome>(), SoundPlayer::Outcome::Ended);
        }();
    return doneAt;
}

void TestServerOutput::stopSilencesAtOnce()
{
    listen();
    SoundDevice device(*m_connection);
    device.setOutput(PrivateSoundServer::Rig);
    device.open(path("long.wav"));
    QSignalSpy done(&device, &SoundPlayer::finished);
    device.play();
    QTRY_VERIFY_WITH_TIMEOUT(m_rig->soundSamples() > Rate / 4, 5000);
    const MonitorCapture::Clock::time_point stoppedAt = MonitorCapture::Clock::now();
    device.stop();
    QTRY_COMPARE(done.count(), 1);
    QCOMPARE(done.at(0).at(0).value<SoundPlayer::Outcome>(), SoundPlayer::Outcome::Stopped);
    QCOMPARE(device.mode(), SoundPlayer::Mode::Stopped);
    // What the server had queued (seconds of it) is dropped: at most 50 ms follow the stop, by
    // the sink's clock, over the 300 ms after it.
    const qint64 atStop = m_rig->positionAt(stoppedAt);
    QTRY_VERIFY_WITH_TIMEOUT(qint64(m_rig->samples().size()) > atStop + Rate * 3 / 10, 10000);
    const qint64 last = lastSound(m_rig->samples());
    QVERIFY2(last <= atStop + Rate / 20,
             qPrintable(QStringLiteral("%1 ms after the stop").arg((last - atStop) * 1000 / Rate)));
}

void TestServerOutput::levelTakesEffectAtOnce()
{
    // The server holds seconds of the message ahead: the new level applies to them too.
    listen();
    SoundDevice device(*m_connection);
    device.setOutput(PrivateSoundServer::Rig);
    device.open(path("sweep.wav"));
    device.play();
    QTRY_VERIFY_WITH_TIMEOUT(m_rig->soundSamples() > Rate / 2, 5000);
    const MonitorCapture::Clock::time_point changedAt = MonitorCapture::Clock::now();
    device.setLevel(25);
    playToDone(device, QString());
    QVERIFY(m_rig->catchUp());

    const std::vector<float> sent = decode(path("sweep.wav"));
    const std::vector<float> heard = m_rig->samples();
    const auto first = std::find_if(heard.begin(), heard.end(), [](float s) { return s != 0; });
    const qint64 begin = first - heard.begin();
    const qint64 skipped = qint64(sent.size()) - (lastSound(heard) + 1 - begin);
    QVERIFY(skipped >= 0 && skipped <= MonitorCapture::HeadLoss);
    // Full level until the change, a quarter from 30 ms after it (the sink renders ahead in
    // blocks: where it stood is known to a block).
    const qint64 changed = m_rig->positionAt(changedAt) - begin;
    const qint64 block = Rate * 30 / 1000;
    QVERIFY(changed > block);
    for (qint64 i = 0; i + skipped < qint64(sent.size()); ++i) {
        const float wanted = sent[size_t(i + skipped)];
        const float got = heard[size_t(begin + i)];
        if (i < changed - block)
            QVERIFY2(got == wanted, qPrintable(QStringLiteral("sample %1 before").arg(i)));
        else if (i > changed + block)
            QVERIFY2(std::abs(got - wanted / 4) <= Step,
                     qPrintable(QStringLiteral("sample %1, %2 ms after the change")
                                    .arg(i)
                                    .arg((i - changed) * 1000 / Rate)));
    }
}

void TestServerOutput::monitorPlaysWhatIsSent_data()
{
    QTest::addColumn<QString>("monitor");
    QTest::addColumn<QString>("said"); // the one line on standard error, if any
    QTest::addColumn<int>("heardThere"); // the level on the speakers; -1 for nothing
    QTest::newRow("on the speakers at its own level")
        << PrivateSoundServer::Speakers << QString() << 30;
    QTest::newRow("absent") << "headphones"
                            << "^The monitor output \"headphones\" is not available: messages "
                               "play without it$"
                            << -1;
    QTest::newRow("the transmitter's own output")
        << PrivateSoundServer::Rig
        << "^The monitor output \"rig\" is the transmitter's output: it stays silent$" << -1;
}

void TestServerOutput::monitorPlaysWhatIsSent()
{
    QFETCH(QString, monitor);
    QFETCH(QString, said);
    QFETCH(int, heardThere);
    listen();
    SoundDevice device(*m_connection);
    device.setOutput(PrivateSoundServer::Rig);
    device.setLevel(50);
    device.setMonitor(monitor, 30);
    if (!said.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(said));
    // Twice: the monitor's trouble is said once, and the messages go on.
    for (int play = 0; play < 2; ++play) {
        m_rig->clear();
        m_speakers->clear();
        const MonitorCapture::Clock::time_point doneAt = playToDone(device, "short-sweep.wav");
        QVERIFY(m_rig->catchUp());
        QVERIFY(m_speakers->catchUp());
        const std::vector<float> sent = decode(path("short-sweep.wav"));
        const std::vector<float> rig = m_rig->samples();
        QVERIFY(MonitorCapture::heardAsSent(MonitorCapture::sound(rig), scaled(sent, 0.5), Step));
        QVERIFY(lastSound(rig) < m_rig->positionAt(doneAt));
        // The monitor may have joined a moment late (its stream was still being made): it is
        // heard whole all the same.
        const std::vector<float> there = scaled(sent, heardThere / 100.0);
        if (heardThere < 0)
            QCOMPARE(m_speakers->soundSamples(), 0);
        else
            QTRY_VERIFY_WITH_TIMEOUT(heardWhole(m_speakers->samples(), there, 1.5f * Step), 10000);
    }
}

void TestServerOutput::monitorGoingAwayLeavesTheMessage()
{
    listen();
    const QByteArray module
        = m_server.pactl({"load-module", "module-null-sink", "sink_name=headphones"}).trimmed();
    QVERIFY(!module.isEmpty());
    QTRY_VERIFY(m_connection->hasSink("headphones"));
    SoundDevice device(*m_connection);
    device.setOutput(PrivateSoundServer::Rig);
    device.setMonitor("headphones", 50);
    device.open(path("sweep.wav"));
    device.play();
    QTRY_VERIFY_WITH_TIMEOUT(m_rig->soundSamples() > Rate / 2, 5000);
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^The monitor output \"headphones\" (went away: the "
                                            "message goes on without it|is not available: "
                                            "messages play without it)$"));
    QVERIFY(!m_server.pactl({"unload-module", QString::fromLatin1(module)}).isNull());
    playToDone(device, QString());
    QVERIFY(m_rig->catchUp());
    QVERIFY(MonitorCapture::heardAsSent(MonitorCapture::sound(m_rig->samples()),
                                        decode(path("sweep.wav"))));
}

void TestServerOutput::absentOutputRefusesTheStart_data()
{
    QTest::addColumn<bool>("atOpen"); // absent when the file opens, or only when it plays
    QTest::newRow("absent at Open") << true;
    QTest::newRow("gone before Play") << false;
}

void TestServerOutput::absentOutputRefusesTheStart()
{
    QFETCH(bool, atOpen);
    listen();
    SoundDevice device(*m_connection);
    QSignalSpy done(&device, &SoundPlayer::finished);
    QSignalSpy modes(&device, &SoundPlayer::modeChanged);
    device.setOutput(atOpen ? QStringLiteral("transceiver") : PrivateSoundServer::Rig);
    const QString said = atOpen ? "^Cannot play \".*message.wav\": the sound output "
                                  "\"transceiver\" is not available$"
                                : "^Sound playback failed: the sound output \"transceiver\" is "
                                  "not available$";
    if (atOpen)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(said));
    QCOMPARE(device.open(path("message.wav")),
             atOpen ? SoundPlayer::OpenResult::OutputAbsent : SoundPlayer::OpenResult::Opened);
    QCOMPARE(device.mode(), atOpen ? SoundPlayer::Mode::NotReady : SoundPlayer::Mode::Stopped);
    if (!atOpen) {
        device.setOutput("transceiver");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(said));
    }
    const SoundPlayer::Mode mode = device.mode();
    device.play();
    // Never playing, not even for a moment; never on another output.
    QCOMPARE(device.mode(), mode);
    QTRY_COMPARE(done.count(), 1);
    QCOMPARE(done.at(0).at(0).value<SoundPlayer::Outcome>(), SoundPlayer::Outcome::Failed);
    // Nothing, over the next 300 ms of the sinks' time.
    for (MonitorCapture *sink : {m_rig.get(), m_speakers.get()}) {
        const qint64 until = sink->positionAt(MonitorCapture::Clock::now()) + Rate * 3 / 10;
        QTRY_VERIFY_WITH_TIMEOUT(qint64(sink->samples().size()) > until, 10000);
    }
    for (const QList<QVariant> &change : modes)
        QVERIFY(change.at(0).value<SoundPlayer::Mode>() != SoundPlayer::Mode::Playing);
    QCOMPARE(m_rig->soundSamples() + m_speakers->soundSamples(), 0);
}

void TestServerOutput::absentOutputNeverKeys()
{
    SoundDevice device(*m_connection);
    StationFixture f(device);
    f.keyThroughRts();
    QVERIFY(f.lines.isOpen());
    f.lines.clearLogs();

    device.setOutput("transceiver");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Cannot play \".*\": the sound output "
                                                          "\"transceiver\" is not available$"));
    QSignalSpy done(&device, &SoundPlayer::finished);
    f.clickMemory(0);
    // The start is refused: nothing plays, the memory does not change.
    QCOMPARE(f.now().playing(), 0);
    QCOMPARE(f.now().memory, -1);
    QVERIFY(f.refusalFace() != 0);
    QVERIFY(device.mode() != SoundPlayer::Mode::Playing);
    QVERIFY(done.isEmpty());
    // Not keyed, not even for a moment.
    QVERIFY2(!f.lines.wire.contains("RTS 1"), qPrintable(f.lines.wire.join(", ")));
}

void TestServerOutput::serverLostMidMessage()
{
    SoundDevice device(*m_connection);
    StationFixture f(device);
    f.keyThroughRts();
    f.state().Memories.MemFile[0] = path("long.wav");
    QSignalSpy done(&device, &SoundPlayer::finished);

    f.clickMemory(0);
    QCOMPARE(f.now().playing(), 1);
    QTRY_VERIFY(f.lines.wireRts); // once its output is ready
    QTRY_VERIFY(device.timings().firstSound != SoundDevice::Timings().firstSound);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^The sound server went away: .+"));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Sound playback failed: the sound server went away$"));
    m_server.kill();
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 3000);
    QCOMPARE(done.at(0).at(0).value<SoundPlayer::Outcome>(), SoundPlayer::Outcome::Failed);
    QCOMPARE(f.now().playing(), 0);
    QCOMPARE(f.window().Panel3d1()->text(), QStringLiteral("Idle"));
    QVERIFY(!f.lines.wireRts);

    // The server comes back: the next message goes out through it again.
    startServer();
    waitForServer();
    listen();
    f.state().Memories.MemFile[1] = path("message.wav");
    f.clickMemory(1);
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 5000);
    QCOMPARE(done.at(1).at(0).value<SoundPlayer::Outcome>(), SoundPlayer::Outcome::Ended);
    QVERIFY(m_speakers->catchUp());
    QVERIFY(MonitorCapture::heardAsSent(MonitorCapture::sound(m_speakers->samples()),
                                        decode(path("message.wav"))));
    QVERIFY(!f.lines.wireRts);
}

void TestServerOutput::listsTheServersDevices()
{
    PulseSoundServer server(*m_connection);
    QVERIFY(server.isConnected());
    QStringList outputs;
    for (const SoundEndpoint &output : server.outputs()) {
        outputs << output.name;
        QVERIFY(!output.description.isEmpty());
    }
    QCOMPARE(outputs, QStringList({PrivateSoundServer::Rig, PrivateSoundServer::Speakers}));
    QStringList inputs;
    for (const SoundEndpoint &input : server.inputs())
        inputs << input.name;
    QVERIFY(inputs.contains("rig.monitor"));
    QCOMPARE(server.defaultOutput(), PrivateSoundServer::Speakers);

    // A card that comes and goes while the program runs.
    QSignalSpy changed(&server, &SoundServer::changed);
    const QByteArray module
        = m_server.pactl({"load-module", "module-null-sink", "sink_name=usbcodec"}).trimmed();
    QVERIFY(!module.isEmpty());
    QTRY_VERIFY(!changed.isEmpty());
    QTRY_COMPARE(server.outputs().size(), 3);
    QCOMPARE(server.outputs().last().name, QStringLiteral("usbcodec"));
    changed.clear();
    QVERIFY(!m_server.pactl({"unload-module", QString::fromLatin1(module)}).isNull());
    QTRY_COMPARE(server.outputs().size(), 2);
    QVERIFY(!changed.isEmpty());

    // The server goes away and comes back: the lists follow.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^The sound server went away: .+"));
    m_server.terminate();
    QTRY_VERIFY(!server.isConnected());
    QVERIFY(server.outputs().isEmpty());
    startServer();
    QTRY_VERIFY_WITH_TIMEOUT(server.isConnected(), 10000);
    QCOMPARE(server.outputs().size(), 2);
}

void TestServerOutput::connectsWhenAskedAndEndsAtAnyMoment()
{
    // Made to wait: nothing of the sound server's client runs until asked.
    PulseConnection later(PulseConnection::Start::WhenAsked);
    QTest::qWait(200);
    QCOMPARE(later.state(), PulseConnection::Connecting);
    QVERIFY(!later.mainloop());
    later.start();
    later.start(); // once
    QTRY_COMPARE_WITH_TIMEOUT(later.state(), PulseConnection::Ready, 30000);
    QVERIFY(later.hasSink(PrivateSoundServer::Rig));

    // Ended while its library opens or its mainloop starts, or before what it started is taken
    // over: each goes cleanly (the sanitizer build sees a mainloop left behind).
    for (int i = 0; i < 20; ++i) {
        auto connection = std::make_unique<PulseConnection>();
        if (i % 2)
            QCoreApplication::processEvents();
        connection.reset();
    }
    PulseConnection asked(PulseConnection::Start::WhenAsked);
    asked.start();
}

void TestServerOutput::recordsFromAnInput()
{
    listen(); // keeps the sink's blocks short, so the monitor misses little of the start
    PulseAudioInput input(*m_connection);
    QSignalSpy started(&input, &AudioInput::started);
    std::vector<float> recorded;
    connect(&input, &AudioInput::samples, this, [&recorded](const QVector<float> &block) {
        recorded.insert(recorded.end(), block.begin(), block.end());
    });
    input.start("rig.monitor");
    QVERIFY(input.isRunning());
    QTRY_COMPARE(started.count(), 1);
    QCOMPARE(started.at(0).at(0).toInt(), Rate);

    SoundDevice device(*m_connection);
    device.setOutput(PrivateSoundServer::Rig);
    playToDone(device, "message.wav");
    // The whole message, recorded as the sink played it, however late this thread runs.
    const std::vector<float> sent = decode(path("message.wav"));
    QTRY_VERIFY_WITH_TIMEOUT(heardWhole(recorded, sent), 10000);
    input.stop();
    QVERIFY(!input.isRunning());
    const size_t stopped = recorded.size();
    QCoreApplication::processEvents(); // what the input had posted before its stop
    QCOMPARE(recorded.size(), stopped); // nothing after stop()
}

void TestServerOutput::inputThatIsAbsentOrGoesAway_data()
{
    QTest::addColumn<bool>("byName"); // chosen by its name, or the default input
    QTest::newRow("chosen by name") << true;
    QTest::newRow("the default input") << false;
}

void TestServerOutput::inputThatIsAbsentOrGoesAway()
{
    QFETCH(bool, byName);
    PulseAudioInput input(*m_connection);
    QSignalSpy failed(&input, &AudioInput::failed);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Recording failed: the sound input "
                                                          "\"microphone\" is not available$"));
    input.start("microphone");
    QTRY_COMPARE(failed.count(), 1);
    QVERIFY(!input.isRunning());

    const QByteArray module
        = m_server.pactl({"load-module", "module-null-sink", "sink_name=headset"}).trimmed();
    QVERIFY(!module.isEmpty());
    QTRY_VERIFY(m_connection->hasSource("headset.monitor"));
    if (!byName)
        QVERIFY(!m_server.pactl({"set-default-source", "headset.monitor"}).isNull());
    QSignalSpy started(&input, &AudioInput::started);
    input.start(byName ? "headset.monitor" : "");
    QTRY_COMPARE(started.count(), 1);
    // Unplugged mid-take: the take stops, and never goes on from another input.
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Recording failed: the sound input \"headset.monitor\""
                                            " went away$"));
    QVERIFY(!m_server.pactl({"unload-module", QString::fromLatin1(module)}).isNull());
    QTRY_COMPARE(failed.count(), 2);
    QVERIFY(!input.isRunning());
}

void TestServerOutput::microphoneMutedWhileKeyed()
{
    QVERIFY(!m_server.pactl({"load-module", "module-device-restore"}).isNull());
    for (const QString mic : {"mic", "mic2"})
        QVERIFY(
            !m_server.pactl({"load-module", "module-null-source", "source_name=" + mic}).isNull());
    auto mute = std::make_unique<PulseSourceMute>(*m_connection);
    StationFixture f;
    f.station->setSourceMute(mute.get());
    f.state().Audio.MuteSource = "mic";
    const auto muted = [this](const QString &source) {
        return sourceMute(m_server, source) == "Mute: yes";
    };
    QCOMPARE(sourceMute(m_server, "mic"), QString("Mute: no"));

    // Muted for the message, its tail included; put back when the transmitter is released. The
    // guard is told of it before it is muted, until it is put back.
    QSignalSpy told(mute.get(), &SourceMute::mutedSourcesChanged);
    f.state().Ptt.TailMs = 300;
    // The transmitter is keyed only once the server has muted the microphone.
    std::optional<bool> mutedAtKeying;
    const QMetaObject::Connection keying = QObject::connect(
        &f.station->station(), &Station::changed, [&](const StationState &state) {
            if (state.onAir && !mutedAtKeying)
                mutedAtKeying = muted("mic");
        });
    f.clickMemory(0);
    QTRY_COMPARE(f.now().stage, Stage::Playing);
    QObject::disconnect(keying);
    QCOMPARE(mutedAtKeying, std::optional(true));
    QVERIFY(muted("mic"));
    QCOMPARE(told.size(), 1);
    QCOMPARE(told.last().at(0).toStringList(), QStringList{"mic"});
    f.device.finish();
    QCOMPARE(f.now().playing(), 0);
    QVERIFY(muted("mic"));
    f.clock.advance(300);
    QTRY_VERIFY(!muted("mic"));
    QTRY_COMPARE(told.last().at(0).toStringList(), QStringList());

    // Muted before: left muted. (Once "mic2" is muted for the next message, a wrong unmute of
    // "mic", sent before it, would have shown.)
    QVERIFY(!m_server.pactl({"set-source-mute", "mic", "1"}).isNull());
    f.state().Ptt.TailMs = 0;
    f.clickMemory(0);
    f.clickMemory(0);
    // One that is not there: said once, and the message goes on.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Cannot mute the microphone "
                                                          "\"nowhere\": it is not available$"));
    f.state().Audio.MuteSource = "nowhere";
    f.clickMemory(0);
    QCOMPARE(f.now().playing(), 1);
    f.clickMemory(0);
    f.state().Audio.MuteSource = "mic2";
    f.clickMemory(0);
    QTRY_VERIFY(muted("mic2"));
    QVERIFY(muted("mic"));
    f.clickMemory(0);
    QTRY_VERIFY(!muted("mic2"));
    QVERIFY(!m_server.pactl({"set-source-mute", "mic", "0"}).isNull());

    // The server restarts while the microphone is muted and remembers it muted: put back once it
    // answers again.
    f.state().Audio.MuteSource = "mic";
    f.clickMemory(0);
    QTRY_VERIFY(muted("mic"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^The sound server went away: .+"));
    m_server.kill();
    f.clickMemory(0);
    startServer();
    QVERIFY(!m_server.pactl({"load-module", "module-device-restore"}).isNull());
    QVERIFY(!m_server.pactl({"load-module", "module-null-source", "source_name=mic"}).isNull());
    QTRY_VERIFY_WITH_TIMEOUT(m_connection->hasSource("mic"), 30000);
    QTRY_VERIFY(!muted("mic"));

    // The window closed mid-message: put back before the program ends.
    f.clickMemory(0);
    QTRY_VERIFY(muted("mic"));
    f.window().close();
    f.station.reset();
    mute.reset();
    QCOMPARE(sourceMute(m_server, "mic"), QString("Mute: no"));
}

QTEST_MAIN(TestServerOutput)
#include "tst_serveroutput.moc"
