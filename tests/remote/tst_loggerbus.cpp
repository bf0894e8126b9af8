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

#include <cmath>
#include <map>

// What a logger meets: voicevocta-send driving the program itself, which plays on a sound server
// of the test's own (its sink "rig" listened to), and the keyer's name passed on between copies.
class TestLoggerBus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void playWaitsForTheLastSample();
    void terminatedWhileWaitingStopsTheMessage();
    void noKeyerRunning();
    void secondCopyTakesTheNameWhenTheFirstEnds();
    void stoppedBeforeItsEnd();
    void fileEndToEnd();
    void sayPlaysTheKitAsOneStream();
    void sayRefusesAMissingPart();
    void radiosOfAOneRadioKeyer();

private:
    // Starts the program with memory 1 playing `seconds` of a steady +0.25, and listens to "rig".
    void startKeyer(double seconds);
    // Runs voicevocta-send; waits for its end unless told not to.
    QProcess *send(const QStringList &arguments, bool wait = true);
    QDBusConnectionInterface *bus();

    PrivateSoundServer m_server;
    PrivateBus m_bus;
    QTemporaryDir m_dir;
    std::unique_ptr<ProgramProcess> m_program;
    std::unique_ptr<MonitorCapture> m_rig;
    std::vector<std::unique_ptr<QProcess>> m_sends;
};

namespace {

constexpr int Rate = MonitorCapture::SampleRate;
constexpr int Wait = 60000; // ms, for a loaded machine
const QString Keyer = QStringLiteral("org.voicevocta.Keyer");

bool writeLevel(const QString &path, float level, double seconds)
{
    const std::vector<float> samples(size_t(Rate * seconds), level);
    SF_INFO info{0, Rate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE *out = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    return out
           && sf_writef_float(out, samples.data(), sf_count_t(samples.size()))
                  == sf_count_t(samples.size())
           && sf_close(out) == 0;
}

// `ms` of a sine at `hz` at half of full scale, between 20 ms of silence: a kit's part.
bool writeTone(const QString &path, double hz, int ms = 150)
{
    const int silence = Rate / 50;
    const int frames = Rate * ms / 1000 + 2 * silence;
    std::vector<float> samples(size_t(frames), 0.0f);
    for (int i = silence; i < frames - silence; ++i)
        samples[size_t(i)] = float(0.5 * std::sin(2 * M_PI * hz * (i - silence + 0.5) / Rate));
    SF_INFO info{0, Rate, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0, 0};
    SNDFILE *out = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    return out && sf_writef_float(out, samples.data(), frames) == frames && sf_close(out) == 0;
}

// The kit beside the program: a, b and c, each a tone of its own.
const std::map<char, double> KitTones{{'a', 500.0}, {'b', 1000.0}, {'c', 1500.0}};

struct Run
{
    qsizetype begin, end; // samples
    double hz; // from its zero crossings
};

// The stretches of sound heard, between silences of at least 20 ms.
std::vector<Run> runs(const std::vector<float> &heard)
{
    std::vector<Run> found;
    const qsizetype size = qsizetype(heard.size());
    for (qsizetype i = 0; i < size; ++i) {
        if (heard[size_t(i)] == 0.0f)
            continue;
        qsizetype end = i, crossings = 0;
        for (qsizetype j = i + 1; j < size && j - end < Rate / 50; ++j) {
            if (heard[size_t(j)] != 0.0f) {
                crossings += (heard[size_t(j)] > 0) != (heard[size_t(end)] > 0);
                end = j;
            }
        }
        found.push_back({i, end + 1, crossings / 2.0 * Rate / double(end + 1 - i)});
        i = end;
    }
    return found;
}

bool finished(QProcess *process)
{
    return QTest::qWaitFor([process] { return process->state() == QProcess::NotRunning; }, Wait);
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

void TestLoggerBus::cleanup()
{
    m_sends.clear();
    m_program.reset();
    m_rig.reset();
}

void TestLoggerBus::startKeyer(double seconds)
{
    QString error;
    m_rig = std::make_unique<MonitorCapture>(PrivateSoundServer::Rig + ".monitor");
    QVERIFY2(m_rig->start(&error), qPrintable(error));
    m_program = std::make_unique<ProgramProcess>(m_bus.environment(), [&](const QString &folder) {
        bool kit = QDir(folder).mkpath("kit");
        for (const auto &[letter, hz] : KitTones)
            kit = kit && writeTone(folder + "/kit/" + letter + ".wav", hz);
        return kit && writeLevel(folder + "/Wav/1.wav", 0.25f, seconds);
    });
    QVERIFY(m_program->running());
    QVERIFY2(QTest::qWaitFor([&] { return bus()->isServiceRegistered(Keyer).value(); }, Wait),
             qPrintable(m_program->said()));
}

QProcess *TestLoggerBus::send(const QStringList &arguments, bool wait)
{
    QProcess *process = m_sends.emplace_back(std::make_unique<QProcess>()).get();
    process->setProcessEnvironment(m_bus.environment());
    process->start(QStringLiteral(VV_PROGRAM_DIR "/voicevocta-send"), arguments);
    if (wait)
        finished(process);
    return process;
}

QDBusConnectionInterface *TestLoggerBus::bus()
{
    return QDBusConnection::connectToBus(m_bus.address(), "test").interface();
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
    QCOMPARE(marker.open(m_dir.filePath("marker.wav")), SoundPlayer::OpenResult::Opened);
    QProcess *play = send({"play", "1", "--wait"}, false);
    connect(play, &QProcess::finished, &marker, [&] { marker.play(); });
    QVERIFY(finished(play));
    QCOMPARE(play->exitCode(), 0);

    std::vector<float> heard;
    auto marked = heard.end();
    const auto markerHeardWhole = [&] {
        heard = m_rig->samples();
        marked = std::find_if(heard.begin(), heard.end(), [](float v) { return v < -0.2f; });
        return heard.end() - marked > Rate / 2;
    };
    QVERIFY(QTest::qWaitFor(markerHeardWhole, Wait));
    QVERIFY(std::count_if(heard.begin(), marked, [](float v) { return v > 0.2f; })
            >= Rate - MonitorCapture::HeadLoss);
    QVERIFY2(std::all_of(marked, heard.end(), [](float v) { return v < -0.4f || v == 0.0f; }),
             "the marker was heard on top of the message");
}

// SIGTERM to a waiting command stops the message at once and says so in the exit status.
void TestLoggerBus::terminatedWhileWaitingStopsTheMessage()
{
    startKeyer(20.0);
    QProcess *play = send({"play", "1", "--wait"}, false);
    QVERIFY(QTest::qWaitFor([&] { return m_rig->soundSamples() > Rate / 10; }, Wait));
    ::kill(pid_t(play->processId()), SIGTERM);
    QVERIFY(finished(play));
    QCOMPARE(play->exitCode(), 2);
    const QString status = QString::fromUtf8(send({"status"})->readAllStandardOutput());
    QVERIFY2(status.startsWith("state=idle\nmemory=1\nonair=false\n"), qPrintable(status));
}

void TestLoggerBus::noKeyerRunning()
{
    QProcess *play = send({"play", "1", "--wait"});
    QCOMPARE(play->exitCode(), 3);
    QCOMPARE(play->readAllStandardError(),
             "voicevocta-send: no Voice Vocta keyer is running on the session bus\n");
}

// A second copy waits for the keyer's name, says so once, and has it when the first one ends.
void TestLoggerBus::secondCopyTakesTheNameWhenTheFirstEnds()
{
    startKeyer(1.0);
    ProgramProcess second(m_bus.environment());
    QVERIFY2(
        QTest::qWaitFor([&] { return second.said().contains("held by another program"); }, Wait),
        qPrintable(second.said()));
    QVERIFY(m_program->end());
    QVERIFY(
        QTest::qWaitFor([&] { return bus()->servicePid(Keyer).value() == second.pid(); }, Wait));
    QCOMPARE(send({"play", "1"})->exitCode(), 0);
    QVERIFY(second.end());
    QCOMPARE(second.said().count("voicevocta: "), 2); // the settings file, and the name
}

// Stopped from elsewhere (another command, the window, Esc) before its end: exit status 2.
void TestLoggerBus::stoppedBeforeItsEnd()
{
    startKeyer(20.0);
    QProcess *play = send({"play", "1", "--wait"}, false);
    QVERIFY(QTest::qWaitFor([&] { return m_rig->soundSamples() > Rate / 10; }, Wait));
    QCOMPARE(send({"stop"})->exitCode(), 0);
    QVERIFY(finished(play));
    QCOMPARE(play->exitCode(), 2);
    QCOMPARE(play->readAllStandardError(),
             "voicevocta-send: the message was stopped before its end\n");
}

// Any file as a message: a sound file plays to its end; a corrupt one is refused, unkeyed.
void TestLoggerBus::fileEndToEnd()
{
    startKeyer(1.0);
    QFile corrupt(m_dir.filePath("corrupt.wav"));
    QVERIFY(corrupt.open(QIODevice::WriteOnly));
    corrupt.write("RIFF\x10\0\0\0WAVEnot a sound at all");
    corrupt.close();
    QProcess *refused = send({"file", corrupt.fileName(), "--wait"});
    QCOMPARE(refused->exitCode(), 1);
    QVERIFY(refused->readAllStandardError().startsWith("voicevocta-send: refused: "));
    QVERIFY2(m_program->said().contains("Cannot play \"" + corrupt.fileName()),
             qPrintable(m_program->said()));
    // A name of 100,000 characters is said cut, with its length, on both sides.
    const QString longName = m_dir.filePath(QString(100000, 'x'));
    QProcess *tooLong = send({"file", longName});
    QCOMPARE(tooLong->exitCode(), 1);
    QVERIFY(tooLong->readAllStandardError().size() < 1000);
    const QString mark = QString("...\" (%1 characters)").arg(longName.size());
    QVERIFY(m_program->said().contains(mark));
    for (const QString &line : m_program->said().split('\n'))
        QVERIFY(line.size() < 1000);

    QProcess *played = send({"file", m_dir.filePath("marker.wav"), "--wait"});
    QCOMPARE(played->exitCode(), 0);
    QVERIFY(QTest::qWaitFor([&] { return m_rig->soundSamples() > Rate / 10; }, Wait));
    const QString status = QString::fromUtf8(send({"status"})->readAllStandardOutput());
    QVERIFY2(status.startsWith("state=idle\nmemory=0\nonair=false\n"), qPrintable(status));
    QVERIFY2(status.contains("kind=file\n") && status.contains("lastend=ended\n"),
             qPrintable(status));
}

// A text from the kit goes out as one stream: its parts in order, the letters 60 ms apart, the
// words 150 ms, and the command returns at its end.
void TestLoggerBus::sayPlaysTheKitAsOneStream()
{
    startKeyer(1.0);
    QProcess *say = send({"say", "AB", "c", "--wait"});
    QCOMPARE(say->exitCode(), 0);
    std::vector<Run> heard;
    QVERIFY(QTest::qWaitFor(
        [&] {
            const std::vector<float> samples = m_rig->samples();
            heard = runs(samples);
            // The last part heard to its end.
            return heard.size() >= 3 && qsizetype(samples.size()) - heard.back().end > Rate / 20;
        },
        Wait));
    QCOMPARE(heard.size(), size_t(3));
    const double hz[] = {500.0, 1000.0, 1500.0};
    for (size_t i = 0; i < 3; ++i) {
        QVERIFY2(std::abs(heard[i].hz - hz[i]) < 30, qPrintable(QString::number(heard[i].hz)));
        // Trimmed to its sound: 150 ms (but for what the monitor misses of the first).
        QVERIFY(std::abs(heard[i].end - heard[i].begin - Rate * 150 / 1000) < Rate / 50);
    }
    const auto gapMs = [&](size_t i) {
        return (heard[i + 1].begin - heard[i].end) * 1000.0 / Rate;
    };
    QVERIFY2(std::abs(gapMs(0) - 60) < 3, qPrintable(QString::number(gapMs(0))));
    QVERIFY2(std::abs(gapMs(1) - 150) < 3, qPrintable(QString::number(gapMs(1))));
}

// A text with a part the kit lacks is refused with its name: nothing heard, nothing keyed.
void TestLoggerBus::sayRefusesAMissingPart()
{
    startKeyer(1.0);
    QProcess *say = send({"say", "abx?\n[", "--wait"});
    QCOMPARE(say->exitCode(), 1);
    QCOMPARE(say->readAllStandardError(),
             "voicevocta-send: refused: missing from the voice kit: x.wav, '?', '['\n");
    // The line break goes into the one line said, escaped.
    QVERIFY2(m_program->said().count("voicevocta: Cannot say \"abx?\\n[\"") == 1,
             qPrintable(m_program->said()));
    QProcess *nothing = send({"say", " / "});
    QCOMPARE(nothing->exitCode(), 1);
    QVERIFY(nothing->readAllStandardError().contains("refused: the text has nothing to say"));
    const QString status = QString::fromUtf8(send({"status"})->readAllStandardOutput());
    QVERIFY2(status.startsWith("state=idle\nmemory=0\nonair=false\n"), qPrintable(status));
    QCOMPARE(m_rig->soundSamples(), qint64(0));
}

QTEST_MAIN(TestLoggerBus)
#include "tst_loggerbus.moc"

// With one radio, radio 2 is refused by name and radio 1 plays as the focus does; a radio that is
// not a number is a wrong command line.
void TestLoggerBus::radiosOfAOneRadioKeyer()
{
    startKeyer(0.3);
    QCOMPARE(send({"focus", "2"})->exitCode(), 1);
    QProcess *other = send({"play", "1", "--radio", "2"});
    QCOMPARE(other->exitCode(), 1);
    QVERIFY(other->readAllStandardError().startsWith("voicevocta-send: refused"));
    QCOMPARE(send({"--radio", "1", "play", "1", "--wait"})->exitCode(), 0);
    QProcess *status = send({"status"});
    const QByteArray said = status->readAllStandardOutput();
    QVERIFY2(said.contains("radios=1\n") && said.contains("focus=1\n"), said.constData());
    QCOMPARE(send({"focus", "x"})->exitCode(), 64);
    QCOMPARE(send({"stop", "--radio", "2"})->exitCode(), 64);
    QCOMPARE(send({"play", "1", "--radio"})->exitCode(), 64);
}
