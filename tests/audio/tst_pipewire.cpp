// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/PulseAudioInput.h"
#include "playback/audio/PulseConnection.h"
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

// The sound device on PipeWire as a desktop runs it (pipewire, WirePlumber, pipewire-pulse) with
// null sinks "rig" and "speakers" of the test's own, each sink's monitor listened to.
class TestPipeWire : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void playsExactSamples_data();
    void playsExactSamples();
    void takeStopsWhenItsInputGoesAway();
    void preparedWakesTheSleepingSink();
    void firstSampleFollowsTheKey();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    // The state of the sink (RUNNING, IDLE, SUSPENDED), as the server lists it.
    QString sinkState(const QString &sink) const;
    // Whether the program's stream on the server is corked ("yes", "no"; empty: no stream).
    QString streamCorked() const;

    QTemporaryDir m_dir;
    PrivateSoundServer m_server{PrivateSoundServer::PipeWire};
    std::unique_ptr<PulseConnection> m_connection;
};

namespace {
constexpr int Rate = 48000; // the graph's own rate: nothing is resampled
constexpr float Step = 1.0f / 32768;

qint64 lastSound(const std::vector<float> &samples)
{
    const auto last
        = std::find_if(samples.rbegin(), samples.rend(), [](float s) { return s != 0; });
    return qint64(samples.rend() - last) - 1;
}

std::vector<float> scaled(std::vector<float> samples, double level)
{
    for (float &sample : samples)
        sample *= float(level);
    return samples;
}
} // namespace

void TestPipeWire::initTestCase()
{
    QString error;
    if (!m_server.start(&error))
        QSKIP(qPrintable("No private PipeWire can start here: " + error));
    QVERIFY(writeSweep(path("sweep.wav"), Rate, Rate / 2)); // 0.5 s
}

void TestPipeWire::init()
{
    m_connection = std::make_unique<PulseConnection>();
    QTRY_COMPARE_WITH_TIMEOUT(m_connection->state(), PulseConnection::Ready, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(m_connection->hasSink(PrivateSoundServer::Speakers), 10000);
}

void TestPipeWire::cleanup()
{
    m_connection.reset();
}

void TestPipeWire::playsExactSamples_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("monitorLevel"); // on "speakers"; 0: no monitor
    QTest::newRow("full level") << 100 << 0;
    QTest::newRow("with a monitor, each at its level") << 50 << 30;
}

void TestPipeWire::playsExactSamples()
{
    QFETCH(int, level);
    QFETCH(int, monitorLevel);
    MonitorCapture rig(PrivateSoundServer::Rig + ".monitor", Rate);
    MonitorCapture speakers(PrivateSoundServer::Speakers + ".monitor", Rate);
    QString error;
    QVERIFY2(rig.start(&error), qPrintable(error));
    QVERIFY2(speakers.start(&error), qPrintable(error));

    SoundDevice device(*m_connection);
    device.setOutput(PrivateSoundServer::Rig);
    device.setLevel(level);
    if (monitorLevel > 0)
        device.setMonitor(PrivateSoundServer::Speakers, monitorLevel);
    device.open(path("sweep.wav"));
    MonitorCapture::Clock::time_point doneAt;
    QSignalSpy done(&device, &SoundPlayer::finished);
    connect(&device, &SoundPlayer::finished, this,
            [&doneAt] { doneAt = MonitorCapture::Clock::now(); });
    device.play();
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 10000);
    QCOMPARE(done.at(0).at(0).value<SoundPlayer::Outcome>(), SoundPlayer::Outcome::Ended);
    QVERIFY(rig.catchUp());

    const std::vector<float> sent = decode(path("sweep.wav"));
    const std::vector<float> heard = rig.samples();
    const std::vector<float> sound = MonitorCapture::sound(heard);
    QVERIFY2(
        MonitorCapture::heardAsSentButForHoles(sound, scaled(sent, level / 100.0),
                                               level == 100 ? 0 : Step),
        qPrintable(QStringLiteral("%1 of %2 samples heard").arg(sound.size()).arg(sent.size())));
    // Released once the sink had played the last sample, by the sink's clock.
    const qint64 atDone = rig.positionAt(doneAt);
    QVERIFY2(
        lastSound(heard) < atDone,
        qPrintable(
            QStringLiteral("the last sample at %1, Done at %2").arg(lastSound(heard)).arg(atDone)));
    if (monitorLevel > 0) {
        const std::vector<float> there = scaled(sent, monitorLevel / 100.0);
        QTRY_VERIFY_WITH_TIMEOUT(MonitorCapture::heardAsSentButForHoles(
                                     MonitorCapture::sound(speakers.samples()), there, Step),
                                 10000);
    } else {
        QVERIFY(speakers.catchUp());
        QCOMPARE(speakers.soundSamples(), 0);
    }
}

void TestPipeWire::takeStopsWhenItsInputGoesAway()
{
    const QByteArray module
        = m_server.pactl({"load-module", "module-null-sink", "sink_name=headset"}).trimmed();
    QVERIFY(!module.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(m_connection->hasSource("headset.monitor"), 10000);
    QVERIFY(!m_server.pactl({"set-default-source", "headset.monitor"}).isNull());
    QTRY_COMPARE_WITH_TIMEOUT(m_connection->defaultSource(), QString("headset.monitor"), 10000);

    PulseAudioInput input(*m_connection);
    QSignalSpy started(&input, &AudioInput::started);
    QSignalSpy failed(&input, &AudioInput::failed);
    input.start(QString()); // the default input
    QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 10000);
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Recording failed: the sound input \"headset.monitor\""
                                            " went away$"));
    QVERIFY(!m_server.pactl({"unload-module", QString::fromLatin1(module)}).isNull());
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 10000);
    QVERIFY(!input.isRunning());
}

QString TestPipeWire::sinkState(const QString &sink) const
{
    for (const QByteArray &line : m_server.pactl({"list", "sinks", "short"}).split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() >= 5 && fields.at(1) == sink.toUtf8())
            return QString::fromUtf8(fields.last().trimmed());
    }
    return QString();
}

QString TestPipeWire::streamCorked() const
{
    // The program's stream on "rig" (another may stand corked on the default output).
    const QString inputs = QString::fromUtf8(m_server.pactl({"list", "sink-inputs"}));
    for (const QString &input : inputs.split("Sink Input #")) {
        const QRegularExpressionMatch corked = QRegularExpression("Corked: (\\w+)").match(input);
        if (input.contains("target.object = \"rig\"") && corked.hasMatch())
            return corked.captured(1);
    }
    return QString();
}

void TestPipeWire::preparedWakesTheSleepingSink()
{
    // Nothing listens to "rig": idle, the server suspends it.
    QTRY_COMPARE_WITH_TIMEOUT(sinkState(PrivateSoundServer::Rig), QString("SUSPENDED"), 60000);
    SoundDevice device(*m_connection);
    device.setOutput(PrivateSoundServer::Rig);
    QCOMPARE(device.open(path("sweep.wav")), SoundPlayer::OpenResult::Opened);
    QSignalSpy prepared(&device, &SoundPlayer::prepared);
    device.prepare();
    QTRY_COMPARE_WITH_TIMEOUT(prepared.count(), 1, 10000);
    QCOMPARE(prepared.at(0).at(0).toBool(), true);
    // Said once the server runs the stream, empty, and has woken the sink for it.
    QCOMPARE(streamCorked(), QString("no"));
    QVERIFY(sinkState(PrivateSoundServer::Rig) != "SUSPENDED");
    QCOMPARE(device.mode(), SoundPlayer::Mode::Stopped);
}

void TestPipeWire::firstSampleFollowsTheKey()
{
    SoundDevice device(*m_connection);
    StationFixture f(device);
    f.keyThroughRts();
    f.state().Audio.AudioOutput = PrivateSoundServer::Rig;
    device.setOutput(PrivateSoundServer::Rig);
    f.state().Memories.MemFile[0] = path("sweep.wav");
    MonitorCapture::Clock::time_point keyedAt;
    QString atKey; // the sink and the stream as the transmitter keys
    f.lines.onLog = [&](const QString &entry) {
        if (entry != "RTS 1")
            return;
        keyedAt = MonitorCapture::Clock::now();
        atKey = sinkState(PrivateSoundServer::Rig) + ", corked " + streamCorked();
    };
    QSignalSpy done(&device, &SoundPlayer::finished);

    // The first message after the sink slept: keyed once the sink is awake and the stream runs.
    QTRY_COMPARE_WITH_TIMEOUT(sinkState(PrivateSoundServer::Rig), QString("SUSPENDED"), 60000);
    f.clickMemory(0);
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 10000);
    QCOMPARE(atKey, QString("RUNNING, corked no"));

    // A later one, heard at the sink: nothing before the key (where the sink stood then, by the
    // server's count), and the whole message after it.
    MonitorCapture rig(PrivateSoundServer::Rig + ".monitor", Rate);
    QString error;
    QVERIFY2(rig.start(&error), qPrintable(error));
    f.clickMemory(0);
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 10000);
    QCOMPARE(atKey, QString("RUNNING, corked no"));
    QVERIFY(rig.catchUp());
    const std::vector<float> heard = rig.samples();
    const auto first = std::find_if(heard.begin(), heard.end(), [](float s) { return s != 0; });
    QVERIFY(first != heard.end());
    const qint64 key = rig.positionAt(keyedAt);
    const qint64 at = first - heard.begin();
    QVERIFY2(
        at >= key,
        qPrintable(
            QStringLiteral("the first sample %1 ms before the key").arg((key - at) * 1000 / Rate)));
    QVERIFY(MonitorCapture::heardAsSentButForHoles(MonitorCapture::sound(heard),
                                                   decode(path("sweep.wav"))));
    QVERIFY(!f.lines.wireRts);
}

QTEST_MAIN(TestPipeWire)
#include "tst_pipewire.moc"
