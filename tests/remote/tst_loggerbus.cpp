// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/PulseConnection.h"
#include "playback/audio/SoundDevice.h"
#include "tests/support/MonitorCapture.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/PrivateSoundServer.h"
#include "tests/support/ProgramProcess.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include <sndfile.h>

// What a logger meets on the session bus: voicevocta-send driving the real program, which plays
// on a sound server of the test's own (its sink "rig" listened to), and the keyer's name passed
// on from one copy of the program to the next.
class TestLoggerBus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void playWaitsForTheLastSample();
    void terminatedWhileWaitingStopsTheMessage();
    void noKeyerRunning_data();
    void noKeyerRunning();
    void secondCopyTakesTheNameWhenTheFirstEnds();

private:
    // Starts the program with memory 1 playing `seconds` of a steady +0.25, and waits for its
    // keyer on the bus.
    void startKeyer(double seconds);
    QProcess *send(const QStringList &arguments, const QProcessEnvironment &env);
    QString keyerOwner();

    PrivateSoundServer m_server;
    PrivateBus m_bus;
    QTemporaryDir m_dir;
    std::unique_ptr<ProgramProcess> m_program;
    std::unique_ptr<MonitorCapture> m_rig;
    std::vector<std::unique_ptr<QProcess>> m_sends;
};

namespace {

constexpr int Rate = MonitorCapture::SampleRate;
const QString Service = QStringLiteral("org.voicevocta.Keyer");

bool writeLevel(const QString &path, float level, double seconds)
{
    const int frames = int(Rate * seconds);
    const std::vector<float> samples(size_t(frames), level);
    SF_INFO info{0, Rate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE *out = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    return out && sf_writef_float(out, samples.data(), frames) == frames && sf_close(out) == 0;
}

bool finished(QProcess *process, int milliseconds = 60000)
{
    return QTest::qWaitFor([process] { return process->state() == QProcess::NotRunning; },
                           milliseconds);
}

} // namespace

void TestLoggerBus::initTestCase()
{
    QString error;
    if (!m_bus.start())
        QSKIP(qPrintable(m_bus.errorString() + " (tools/build.sh installs dbus)"));
    if (!m_server.start(&error))
        QSKIP(qPrintable("No private PulseAudio server can start here: " + error));
    QVERIFY(writeLevel(m_dir.filePath("marker.wav"), -0.5f, 0.2));
}

void TestLoggerBus::init()
{
    QString error;
    m_rig = std::make_unique<MonitorCapture>(PrivateSoundServer::Rig + ".monitor");
    QVERIFY2(m_rig->start(&error), qPrintable(error));
}

void TestLoggerBus::cleanup()
{
    m_sends.clear();
    if (m_program)
        QVERIFY(m_program->end());
    m_program.reset();
    m_rig.reset();
}

void TestLoggerBus::startKeyer(double seconds)
{
    m_program = std::make_unique<ProgramProcess>(m_bus.environment(), [&](const QString &folder) {
        return QFile::remove(folder + "/Wav/1.wav")
               && writeLevel(folder + "/Wav/1.wav", 0.25f, seconds);
    });
    QVERIFY(m_program->started());
    QVERIFY2(
        QTest::qWaitFor([&] { return !keyerOwner().isEmpty() || !m_program->running(); }, 30000),
        qPrintable(m_program->said()));
}

QProcess *TestLoggerBus::send(const QStringList &arguments, const QProcessEnvironment &env)
{
    m_sends.push_back(std::make_unique<QProcess>());
    QProcess *process = m_sends.back().get();
    process->setProcessEnvironment(env);
    process->start(QStringLiteral(VV_PROGRAM_DIR "/voicevocta-send"), arguments);
    return process;
}

QString TestLoggerBus::keyerOwner()
{
    QDBusConnection bus = QDBusConnection::connectToBus(m_bus.address(), "test");
    const QString owner = bus.interface()->serviceOwner(Service).value();
    return owner;
}

// The command returns once the message's last sample has gone out on the sink: a marker played
// as soon as it returns is heard after the message, never on top of it.
void TestLoggerBus::playWaitsForTheLastSample()
{
    startKeyer(1.0);
    PulseConnection connection;
    QTRY_COMPARE_WITH_TIMEOUT(connection.state(), PulseConnection::Ready, 30000);
    SoundDevice marker(connection);
    marker.setOutput(PrivateSoundServer::Rig);
    marker.setFileName(m_dir.filePath("marker.wav"));
    marker.setCommand("Open");

    QProcess *play = send({"play", "1", "--wait"}, m_bus.environment());
    connect(play, &QProcess::finished, &marker, [&] { marker.setCommand("Play"); });
    QVERIFY(finished(play));
    QCOMPARE(play->readAllStandardError(), QByteArray());
    QCOMPARE(play->exitStatus(), QProcess::NormalExit);
    QCOMPARE(play->exitCode(), 0);
    // Until the marker has been heard whole.
    std::vector<float> heard;
    QVERIFY(QTest::qWaitFor(
        [&] {
            heard = m_rig->samples();
            const auto marker
                = std::find_if(heard.begin(), heard.end(), [](float v) { return v < -0.2f; });
            return heard.end() - marker > Rate / 2;
        },
        30000));
    qint64 lastMessage = -1, firstMarker = -1;
    for (qint64 i = 0; i < qint64(heard.size()); ++i) {
        if (heard[size_t(i)] > 0.2f)
            lastMessage = i;
        if (heard[size_t(i)] < -0.2f && firstMarker < 0)
            firstMarker = i;
    }
    QVERIFY(lastMessage >= Rate - MonitorCapture::HeadLoss);
    QVERIFY2(
        firstMarker > lastMessage,
        qPrintable(QString("marker at %1, message until %2").arg(firstMarker).arg(lastMessage)));
}

// SIGTERM to a waiting command stops the message at once and says so in the exit status.
void TestLoggerBus::terminatedWhileWaitingStopsTheMessage()
{
    startKeyer(20.0);
    QProcess *play = send({"play", "1", "--wait"}, m_bus.environment());
    QVERIFY(QTest::qWaitFor([&] { return m_rig->soundSamples() > Rate / 10; }, 30000));
    QCOMPARE(play->state(), QProcess::Running);
    ::kill(pid_t(play->processId()), SIGTERM);
    QVERIFY(finished(play));
    QCOMPARE(play->exitStatus(), QProcess::NormalExit);
    QCOMPARE(play->exitCode(), 2);

    QProcess *status = send({"status"}, m_bus.environment());
    QVERIFY(finished(status));
    const QString said = QString::fromUtf8(status->readAllStandardOutput());
    QVERIFY2(said.startsWith("state=idle\nmemory=1\nonair=false\n"), qPrintable(said));
    const qint64 heard = m_rig->soundSamples();
    QVERIFY(QTest::qWaitFor([&] { return m_rig->samples().size() > size_t(heard + Rate / 2); }));
    QVERIFY(m_rig->soundSamples() < Rate * 10);
}

void TestLoggerBus::noKeyerRunning_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("a bus without a keyer") << QString();
    QTest::newRow("no bus") << QStringLiteral("unix:path=/nonexistent/voicevocta-bus");
}

void TestLoggerBus::noKeyerRunning()
{
    QFETCH(QString, address);
    QProcessEnvironment env = m_bus.environment();
    if (!address.isEmpty())
        env.insert("DBUS_SESSION_BUS_ADDRESS", address);
    QProcess *play = send({"play", "1", "--wait"}, env);
    QVERIFY(finished(play));
    QCOMPARE(play->exitCode(), 3);
    const QByteArray said = play->readAllStandardError();
    QCOMPARE(said.count('\n'), 1);
    QVERIFY2(said.startsWith("voicevocta-send: no "), said.constData());
}

// A second copy waits for the keyer's name, says so once, and has it when the first one ends.
void TestLoggerBus::secondCopyTakesTheNameWhenTheFirstEnds()
{
    startKeyer(1.0);
    ProgramProcess second(m_bus.environment());
    QVERIFY(second.started());
    QVERIFY2(QTest::qWaitFor([&] { return second.said().contains("held by another program"); }),
             qPrintable(second.said()));
    const QString first = keyerOwner();
    QVERIFY(m_program->end());
    m_program.reset();
    QVERIFY(QTest::qWaitFor([&] { return keyerOwner() != first && !keyerOwner().isEmpty(); }));
    QDBusConnection bus = QDBusConnection::connectToBus(m_bus.address(), "test");
    QCOMPARE(bus.interface()->servicePid(Service).value(), uint(second.pid()));

    QProcess *play = send({"play", "1"}, m_bus.environment());
    QVERIFY(finished(play));
    QCOMPARE(play->exitCode(), 0);
    QVERIFY(second.end());
    QCOMPARE(second.said().count("voicevocta: "), 2); // the settings file, and the name
}

QTEST_MAIN(TestLoggerBus)
#include "tst_loggerbus.moc"
