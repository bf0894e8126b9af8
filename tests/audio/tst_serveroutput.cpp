// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/PulseAudioInput.h"
#include "playback/audio/PulseConnection.h"
#include "playback/audio/PulseSoundServer.h"
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

// The sound device, the device lists and recording against a real sound server of the test's own
// (null sinks "rig" and "speakers", "speakers" the default), each sink's monitor listened to: what
// is heard there is what a transmitter would get.
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
    void absentOutputRefusesTheStart_data();
    void absentOutputRefusesTheStart();
    void absentOutputNeverKeys();
    void serverLostMidMessage();
    void listsTheServersDevices();
    void recordsFromAnInput();
    void inputThatIsAbsentOrGoesAway();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    // Starts listening to both sinks' monitors.
    void listen();
    // Starts the server (again), "speakers" its default output.
    void startServer();
    void waitForServer();

    QTemporaryDir m_dir;
    PrivateSoundServer m_server;
    std::unique_ptr<PulseConnection> m_connection;
    std::unique_ptr<MonitorCapture> m_rig;
    std::unique_ptr<MonitorCapture> m_speakers;
};

namespace {

constexpr int Rate = MonitorCapture::SampleRate; // the sinks' own rate: nothing is resampled

} // namespace

void TestServerOutput::initTestCase()
{
    QString error;
    if (!m_server.start(&error))
        QSKIP(qPrintable("No private PulseAudio server can start here: " + error));
    QVERIFY(m_dir.isValid());
    QVERIFY(writeWav(path("message.wav"), Rate, 1, Rate / 2, SF_FORMAT_PCM_16)); // 0.5 s
    QVERIFY(writeWav(path("long.wav"), Rate, 1, Rate * 3, SF_FORMAT_PCM_16)); // 3 s
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

    // What the monitor had received when Done came.
    qint64 heardAtDone = -1;
    MonitorCapture::Clock::time_point lastSoundAtDone;
    connect(&device, &SoundPlayer::finished, this, [&] {
        heardAtDone = there.soundSamples();
        lastSoundAtDone = there.lastSound();
    });
    QSignalSpy done(&device, &SoundPlayer::finished);
    device.play();
    QCOMPARE(device.mode(), SoundPlayer::Mode::Playing);
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 5000);
    QCOMPARE(done.at(0).at(0).value<SoundPlayer::Outcome>(), SoundPlayer::Outcome::Ended);
    QTest::qWait(200);

    std::vector<float> expected = decode(path("message.wav"));
    for (float &sample : expected)
        sample *= float(level) / 100.0f;
    const std::vector<float> got = MonitorCapture::sound(there.samples());
    // The sinks hold 16-bit samples: a scaled sample is rounded to the nearest step.
    QVERIFY2(
        MonitorCapture::heardAsSent(got, expected, level == 100 ? 0.0f : 1.0f / 32768),
        qPrintable(QStringLiteral("%1 of %2 samples heard").arg(got.size()).arg(expected.size())));
    QCOMPARE(elsewhere.soundSamples(), 0);
    // Done came after the last sample had been heard, not before.
    QCOMPARE(heardAtDone, qint64(got.size()));
    QVERIFY(lastSoundAtDone != MonitorCapture::Clock::time_point{});
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
    device.stop();
    const qint64 atStop = m_rig->soundSamples();
    QTRY_COMPARE(done.count(), 1);
    QCOMPARE(done.at(0).at(0).value<SoundPlayer::Outcome>(), SoundPlayer::Outcome::Stopped);
    QTest::qWait(300);
    // What the server had queued is dropped: at most one buffer follows the stop.
    const qint64 after = m_rig->soundSamples() - atStop;
    QVERIFY2(after <= Rate * qint64(50) / 1000, qPrintable(QString::number(after)));
    QCOMPARE(device.mode(), SoundPlayer::Mode::Stopped);
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
    QTest::qWait(300);
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
    f.state().MemFile[0] = path("long.wav");
    QSignalSpy done(&device, &SoundPlayer::finished);

    f.clickMemory(0);
    QCOMPARE(f.now().playing(), 1);
    QTRY_VERIFY(f.lines.wireRts); // once its output is ready
    QTest::qWait(300);
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
    f.state().MemFile[1] = path("message.wav");
    f.clickMemory(1);
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 5000);
    QCOMPARE(done.at(1).at(0).value<SoundPlayer::Outcome>(), SoundPlayer::Outcome::Ended);
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
    device.open(path("message.wav"));
    QSignalSpy done(&device, &SoundPlayer::finished);
    device.play();
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 5000);
    QTest::qWait(200);
    input.stop();
    QVERIFY(!input.isRunning());
    const size_t stopped = recorded.size();
    QVERIFY(
        MonitorCapture::heardAsSent(MonitorCapture::sound(recorded), decode(path("message.wav"))));
    QTest::qWait(100);
    QCOMPARE(recorded.size(), stopped); // nothing after stop()
}

void TestServerOutput::inputThatIsAbsentOrGoesAway()
{
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
    QSignalSpy started(&input, &AudioInput::started);
    input.start("headset.monitor");
    QTRY_COMPARE(started.count(), 1);
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Recording failed: the sound input \"headset.monitor\""
                                            " went away$"));
    QVERIFY(!m_server.pactl({"unload-module", QString::fromLatin1(module)}).isNull());
    QTRY_COMPARE(failed.count(), 2);
    QVERIFY(!input.isRunning());
}

QTEST_MAIN(TestServerOutput)
#include "tst_serveroutput.moc"
