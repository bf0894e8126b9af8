// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/PulseConnection.h"
#include "playback/audio/SoundDevice.h"
#include "station/FileNames.h"
#include "tests/audio/TestSounds.h"
#ifdef VV_AGAINST_SERVER
#include "tests/support/MonitorCapture.h"
#include "tests/support/PrivateSoundServer.h"
#endif

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

#include <cstdio>
#include <memory>

using namespace TestSounds;

// The device's contract. Built twice: played on SDL's disk driver where no sound server answers
// (what it writes to the disk file is what a sound card would have been given), and against a
// sound server of the test's own (VV_AGAINST_SERVER), whose default sink's monitor hears what
// went out. The server's sink runs at 44.1 kHz: sounds at other rates are resampled there, so
// those are checked for their length instead of sample for sample.
class TestSoundDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void modeAndLength_data();
    void modeAndLength();
    void playsExactSamples_data();
    void playsExactSamples();
    void resumesFromPosition_data();
    void resumesFromPosition();
    void nextEndsThePlay();
    void midiEndsAtLastNote();
    void stopGivesAborted();
    void playWhilePlayingIsIgnored();
    void badFileFails_data();
    void badFileFails();
    void failureWhilePlayingGivesFailure();
    void closeDropsPendingDone_data();
    void closeDropsPendingDone();
    void noSoundOutputFailsUntilThereIsOne();
    void namedOutputNeedsTheServer();

private:
    void makeDevice();
    void command(const QString &name);
    void open(const QString &file);
    int lastDone() const
    {
        return m_done->isEmpty() ? -1 : int(m_done->last().at(0).value<SoundPlayer::Outcome>());
    }
    // Ends the device (so SDL closes the disk file) and returns the runs of sound it wrote.
    std::vector<std::vector<float>> soundWritten();
    QString path(const QString &name) const { return m_dir.filePath(name); }

    // What soundWritten() found: all of it, and the silence before the first and after the last
    // sound in it.
    std::vector<float> m_written;
    qint64 m_leadingSilence = 0;
    qint64 m_trailingSilence = 0;
    QTemporaryDir m_dir;
    QString m_diskFile;
#ifdef VV_AGAINST_SERVER
    PrivateSoundServer m_server;
    std::unique_ptr<PulseConnection> m_connection;
    std::unique_ptr<MonitorCapture> m_monitor;
#endif
    std::unique_ptr<SoundDevice> m_device;
    std::unique_ptr<QSignalSpy> m_done;
    bool m_inCommand = false;
    int m_doneInsideCommand = 0;
};

namespace {
#ifdef VV_AGAINST_SERVER
constexpr bool AgainstServer = true;
constexpr int Rate = MonitorCapture::SampleRate; // the test files are not resampled
constexpr qsizetype HeadLoss = MonitorCapture::HeadLoss;
#else
constexpr bool AgainstServer = false;
constexpr int Rate = 8000;
constexpr qsizetype HeadLoss = 0;
#endif

// Whether the sound heard is the sound sent.
bool sameSound(const std::vector<float> &heard, const std::vector<float> &sent)
{
#ifdef VV_AGAINST_SERVER
    return MonitorCapture::heardAsSent(heard, sent);
#else
    return heard == sent;
#endif
}
} // namespace

void TestSoundDevice::initTestCase()
{
    QVERIFY(m_dir.isValid());
#ifdef VV_AGAINST_SERVER
    QString error;
    if (!m_server.start(&error))
        QSKIP(qPrintable("No private PulseAudio server can start here: " + error));
    // The server answers before the first command, as it does long before an operator's click.
    m_connection = std::make_unique<PulseConnection>();
    QTRY_COMPARE_WITH_TIMEOUT(m_connection->state(), PulseConnection::Ready, 10000);
#else
    m_diskFile = qEnvironmentVariable("SDL_DISKAUDIOFILE");
    if (m_diskFile.isEmpty()) {
        m_diskFile = path("disk.raw");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(m_diskFile));
    }
    if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER"))
        qputenv("SDL_AUDIODRIVER", "disk");
    QCOMPARE(qgetenv("SDL_AUDIODRIVER"), QByteArray("disk"));
#endif

    QVERIFY(writeWav(path("short.wav"), Rate, 1, Rate * 3 / 10, SF_FORMAT_PCM_16)); // 0.3 s
    QVERIFY(writeWav(path("long.wav"), Rate, 1, Rate * 6 / 10, SF_FORMAT_PCM_16)); // 0.6 s
    QVERIFY(writeSweep(path("sweep.wav"), Rate, Rate * 6 / 10)); // 0.6 s
    QVERIFY(writeWav(path("stereo.wav"), 44100, 2, 22050, SF_FORMAT_FLOAT)); // 0.5 s

    // One note of a quarter of a second, and an end-of-track three seconds after it.
    const QByteArray note = midiTempo(0, 500000) + midiProgram(0, 0, 0)
                            + midiEvent(0, 0x90, 60, 100) + midiEvent(240, 0x80, 60, 64)
                            + midiEndOfTrack(2880);
    QVERIFY(writeBytes(path("note.mid"), midiFile(480, note)));
    // The tempo doubles after the first beat: 0.5 s + 0.25 s.
    const QByteArray faster = midiTempo(0, 500000) + midiEvent(0, 0x90, 60, 100)
                              + midiTempo(480, 250000) + midiEvent(480, 0x80, 60, 0)
                              + midiEndOfTrack(0);
    QVERIFY(writeBytes(path("tempo.mid"), midiFile(480, faster)));
    // SMPTE time: 25 frames of 40 ticks, 1000 ticks a second.
    const QByteArray smpte
        = midiEvent(0, 0x90, 60, 100) + midiEvent(250, 0x80, 60, 0) + midiEndOfTrack(0);
    QVERIFY(writeBytes(path("smpte.mid"), midiFile(quint16(0xE728), smpte)));

    QVERIFY(writeBadFiles(m_dir.path()));

    // Names that are bytes, not UTF-8.
    const QByteArray dir = QFile::encodeName(m_dir.path());
    QVERIFY(QFile::copy(path("short.wav"), path("latin1.wav")));
    QVERIFY(std::rename(dir + "/latin1.wav", dir + "/caf\xE9.wav") == 0);
    QVERIFY(QFile::copy(path("note.mid"), path("raw.mid")));
    QVERIFY(std::rename(dir + "/raw.mid", dir + "/\xFF\xFE.mid") == 0);
}

void TestSoundDevice::cleanupTestCase()
{
    // QTemporaryDir cannot remove names that are not UTF-8.
    const QByteArray dir = QFile::encodeName(m_dir.path());
    std::remove(QByteArray(dir + "/caf\xE9.wav").constData());
    std::remove(QByteArray(dir + "/\xFF\xFE.mid").constData());
}

void TestSoundDevice::cleanup()
{
    m_device.reset();
    m_done.reset();
    QCOMPARE(m_doneInsideCommand, 0);
}

void TestSoundDevice::makeDevice()
{
#ifdef VV_AGAINST_SERVER
    QString error;
    m_monitor = std::make_unique<MonitorCapture>(PrivateSoundServer::Rig + ".monitor");
    QVERIFY2(m_monitor->start(&error), qPrintable(error));
#endif
#ifdef VV_AGAINST_SERVER
    m_device = std::make_unique<SoundDevice>(*m_connection);
#else
    m_device = std::make_unique<SoundDevice>();
#endif
    m_done = std::make_unique<QSignalSpy>(m_device.get(), &SoundPlayer::finished);
    connect(m_device.get(), &SoundPlayer::finished, this, [this] {
        if (m_inCommand)
            ++m_doneInsideCommand;
    });
}

void TestSoundDevice::command(const QString &name)
{
    const qsizetype before = m_done->count();
    m_inCommand = true;
    // The transport bar's names for the player's calls.
    static const QHash<QString, void (SoundPlayer::*)()> calls{
        {"Play", &SoundPlayer::play},      {"Stop", &SoundPlayer::stop},
        {"Prev", &SoundPlayer::rewind},    {"Back", &SoundPlayer::stepBack},
        {"Next", &SoundPlayer::toEnd},     {"Close", &SoundPlayer::close},
        {"Prepare", &SoundPlayer::prepare}};
    QVERIFY(calls.contains(name));
    (m_device.get()->*calls.value(name))();
    m_inCommand = false;
    QCOMPARE(m_done->count(), before); // Done is never emitted inside a command
}

void TestSoundDevice::open(const QString &file)
{
    const qsizetype before = m_done->count();
    m_device->open(path(file));
    QCOMPARE(m_done->count(), before); // no end is said inside open()
}

std::vector<std::vector<float>> TestSoundDevice::soundWritten()
{
    m_device.reset();
#ifdef VV_AGAINST_SERVER
    QTest::qWait(150); // what went out last reaches the monitor
    const std::vector<float> written = m_monitor->samples();
    m_monitor.reset();
#else
    const std::vector<float> written = readFloats(m_diskFile);
#endif
    auto sound = [](float s) {
        return s != 0.0f;
    };
    m_written = written;
    m_leadingSilence = std::find_if(written.begin(), written.end(), sound) - written.begin();
    m_trailingSilence = std::find_if(written.rbegin(), written.rend(), sound) - written.rbegin();
    std::vector<std::vector<float>> runs;
    bool inRun = false;
    for (float sample : written) {
        if (sample == 0.0f) {
            inRun = false;
            continue;
        }
        if (!inRun)
            runs.emplace_back();
        inRun = true;
        runs.back().push_back(sample);
    }
    return runs;
}

void TestSoundDevice::modeAndLength_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("length");
    QTest::newRow("wav mono 16-bit") << "short.wav" << 300;
    QTest::newRow("wav 44.1 kHz stereo float") << "stereo.wav" << 500;
    QTest::newRow("midi at 120 bpm") << "note.mid" << 250;
    QTest::newRow("midi with a tempo change") << "tempo.mid" << 750;
    QTest::newRow("midi in SMPTE time") << "smpte.mid" << 250;
    QTest::newRow("wav named in Latin-1") << FileNames::decode("caf\xE9.wav") << 300;
    QTest::newRow("midi named in bytes that are not UTF-8")
        << FileNames::decode("\xFF\xFE.mid") << 250;
}

void TestSoundDevice::modeAndLength()
{
    QFETCH(QString, file);
    QFETCH(int, length);
    makeDevice();
    QSignalSpy modes(m_device.get(), &SoundPlayer::modeChanged);
    QCOMPARE(m_device->mode(), SoundPlayer::Mode::NotReady);
    QCOMPARE(m_device->length(), 0);

    open(file);
    QCOMPARE(m_device->mode(), SoundPlayer::Mode::Stopped);
    QCOMPARE(m_device->length(), length);
    command("Play");
    QCOMPARE(m_device->mode(), SoundPlayer::Mode::Playing);
    command("Stop");
    QCOMPARE(m_device->mode(), SoundPlayer::Mode::Stopped);
    command("Close");
    QCOMPARE(m_device->mode(), SoundPlayer::Mode::NotReady);
    QCOMPARE(m_device->length(), 0);

    QList<SoundPlayer::Mode> seen;
    for (const QList<QVariant> &signal : modes)
        seen << signal.at(0).value<SoundPlayer::Mode>();
    QCOMPARE(seen,
             QList<SoundPlayer::Mode>({SoundPlayer::Mode::Stopped, SoundPlayer::Mode::Playing,
                                       SoundPlayer::Mode::Stopped, SoundPlayer::Mode::NotReady}));
}

void TestSoundDevice::playsExactSamples_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("format");
    QTest::newRow("8 kHz mono 16-bit") << 8000 << 1 << int(SF_FORMAT_PCM_16);
    QTest::newRow("44.1 kHz mono 16-bit") << 44100 << 1 << int(SF_FORMAT_PCM_16);
    QTest::newRow("44.1 kHz stereo float") << 44100 << 2 << int(SF_FORMAT_FLOAT);
    QTest::newRow("48 kHz mono 24-bit") << 48000 << 1 << int(SF_FORMAT_PCM_24);
    QTest::newRow("22.05 kHz four channels 16-bit") << 22050 << 4 << int(SF_FORMAT_PCM_16);
}

void TestSoundDevice::playsExactSamples()
{
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(int, format);
    const QString file = QStringLiteral("exact-%1-%2.wav").arg(rate).arg(channels);
    QVERIFY(writeWav(path(file), rate, channels, rate / 4, format));
    makeDevice();
    open(file);
    command("Play");
    QTRY_COMPARE(m_done->count(), 1);
    QCOMPARE(lastDone(), int(SoundPlayer::Outcome::Ended));
    QCOMPARE(m_device->mode(), SoundPlayer::Mode::Stopped);
    QTest::qWait(100);
    QCOMPARE(m_done->count(), 1);

    const auto runs = soundWritten();
    if (AgainstServer && (rate != Rate || channels != 1 || format != SF_FORMAT_PCM_16)) {
        // Converted by the server: heard for as long as the file lasts.
        QVERIFY(!runs.empty());
        const qint64 frames = qint64(m_written.size()) - m_leadingSilence - m_trailingSilence;
        const qint64 expected = qint64(Rate) / 4;
        QVERIFY2(frames > expected - HeadLoss - Rate / 200 && frames < expected + Rate / 200,
                 qPrintable(QString::number(frames)));
        return;
    }
    QCOMPARE(runs.size(), size_t(1));
    QVERIFY(sameSound(runs[0], decode(path(file))));
}

void TestSoundDevice::resumesFromPosition_data()
{
    QTest::addColumn<QString>("move");
    QTest::addColumn<int>("stepBack"); // frames; -1: back to the start
    QTest::newRow("from where it stopped") << QString() << 0;
    QTest::newRow("a tenth of a second back") << "Back" << Rate / 10;
    QTest::newRow("from the start") << "Prev" << -1;
}

void TestSoundDevice::resumesFromPosition()
{
    QFETCH(QString, move);
    QFETCH(int, stepBack);
    makeDevice();
    open("sweep.wav");
    command("Play");
#ifdef VV_AGAINST_SERVER
    // Stopped once the first part has been heard: the server plays a stream out ahead of a null
    // sink's monitor, and what it takes back at a stop was never heard.
    QTRY_VERIFY(m_monitor->soundSamples() > Rate / 10);
#else
    // Stopped once the first sound has gone to the driver, which writes it; some more of it
    // usually, as long as the step back (however much, the verdict holds).
    QTRY_VERIFY(m_device->timings().firstSound != SoundDevice::Timings().firstSound);
    QTest::qWait(200);
#endif
    command("Stop");
    QTRY_COMPARE(m_done->count(), 1);
    QCOMPARE(lastDone(), int(SoundPlayer::Outcome::Stopped));
    if (!move.isEmpty())
        command(move);
    command("Play");
    QTRY_COMPARE(m_done->count(), 2);
    QCOMPARE(lastDone(), int(SoundPlayer::Outcome::Ended));

    const std::vector<float> expected = decode(path("sweep.wav"));
    const auto runs = soundWritten();
    // The two parts may follow each other without a gap (a null sink's monitor is silent only
    // while something plays; a driver's thread may not run in between). The sweep shows where
    // each begins and ends.
    std::vector<float> heard;
    for (const auto &run : runs)
        heard.insert(heard.end(), run.begin(), run.end());
    QVERIFY(heard.size() > 64);
    const auto start
        = std::search(expected.begin(), expected.end(), heard.begin(), heard.begin() + 32);
    QVERIFY(start - expected.begin() <= HeadLoss);
    const auto [parted, at] = std::mismatch(heard.begin(), heard.end(), start, expected.end());
    const size_t stopped = size_t(at - expected.begin());
    const std::vector<float> rest(parted, heard.end());
    if (rest.empty()) {
        QCOMPARE(stopped, expected.size()); // the second part went on where the first stopped
        QCOMPARE(stepBack, 0);
        return;
    }
    QVERIFY(stopped > 0 && stopped < expected.size());
    // Never before the start.
    const size_t resumed = stepBack < 0 ? 0 : stopped - std::min(stopped, size_t(stepBack));
    // The second part plays the rest of the file from there: exactly, or against a server within
    // the moment its monitor may miss or the server may have held back at the stop.
    const auto from = std::search(expected.begin(), expected.end(), rest.begin(),
                                  rest.begin() + std::min<qsizetype>(32, rest.size()));
    QVERIFY2(std::abs((from - expected.begin()) - qsizetype(resumed)) <= HeadLoss,
             qPrintable(QStringLiteral("resumed at %1 instead of %2")
                            .arg(from - expected.begin())
                            .arg(resumed)));
    QVERIFY(std::equal(rest.begin(), rest.end(), from, expected.end()));
}

void TestSoundDevice::nextEndsThePlay()
{
    makeDevice();
    open("long.wav");
    command("Next");
    command("Play");
    QTRY_COMPARE_WITH_TIMEOUT(m_done->count(), 1, 500);
    QCOMPARE(lastDone(), int(SoundPlayer::Outcome::Ended));
    QVERIFY(soundWritten().empty());
}

void TestSoundDevice::midiEndsAtLastNote()
{
    makeDevice();
    open("note.mid");
    QCOMPARE(m_device->length(), 250);
    command("Play"); // the first play also loads the soundfont
    QTRY_COMPARE(m_done->count(), 1);
    QCOMPARE(lastDone(), int(SoundPlayer::Outcome::Ended));

    command("Prev");
    QElapsedTimer timer;
    timer.start();
    command("Play");
    QTRY_COMPARE(m_done->count(), 2);
    QCOMPARE(lastDone(), int(SoundPlayer::Outcome::Ended));
    // Done follows the note and its release, well before the end-of-track three seconds later.
    QVERIFY2(timer.elapsed() >= 250 && timer.elapsed() < 2000,
             qPrintable(QString::number(timer.elapsed())));

    const auto runs = soundWritten();
    QVERIFY(!runs.empty());
    float peak = 0;
    for (const auto &run : runs)
        for (float sample : run)
            peak = std::max(peak, std::abs(sample));
    QVERIFY2(peak > 0.05f && peak < 1.0f, qPrintable(QString::number(peak)));
}

void TestSoundDevice::stopGivesAborted()
{
    makeDevice();
    open("long.wav");
    command("Play");
    QTest::qWait(100);
    command("Stop");
    QCOMPARE(m_device->mode(), SoundPlayer::Mode::Stopped);
    QTRY_COMPARE(m_done->count(), 1);
    QCOMPARE(lastDone(), int(SoundPlayer::Outcome::Stopped));
    QTest::qWait(700); // no Done for the end of the file either
    QCOMPARE(m_done->count(), 1);
}

void TestSoundDevice::playWhilePlayingIsIgnored()
{
    makeDevice();
    open("short.wav");
    command("Play");
    command("Play");
    QTRY_COMPARE(m_done->count(), 1);
    QCOMPARE(lastDone(), int(SoundPlayer::Outcome::Ended));
    QTest::qWait(200);
    QCOMPARE(m_done->count(), 1);
}

void TestSoundDevice::badFileFails_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("missing") << "missing.wav";
    QTest::newRow("empty") << "empty.wav";
    QTest::newRow("not sound") << "text.wav";
    QTest::newRow("truncated") << "truncated.wav";
    QTest::newRow("huge header") << "huge.wav";
    QTest::newRow("a folder") << "folder.wav";
    QTest::newRow("corrupt midi") << "corrupt.mid";
    QTest::newRow("midi without a status byte") << "badrun.mid";
    QTest::newRow("midi without notes") << "silent.mid";
}

void TestSoundDevice::badFileFails()
{
    QFETCH(QString, file);
    makeDevice();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Cannot play .*: .+"));
    open(file);
    QCOMPARE(m_device->mode(), SoundPlayer::Mode::NotReady);
    QCOMPARE(m_device->length(), 0);
    command("Play");
    QTRY_COMPARE_WITH_TIMEOUT(m_done->count(), 1, 200);
    QCOMPARE(lastDone(), int(SoundPlayer::Outcome::Failed));
    QCOMPARE(m_device->mode(), SoundPlayer::Mode::NotReady);
}

void TestSoundDevice::failureWhilePlayingGivesFailure()
{
    QVERIFY(writeCutFlac(path("cut.flac"), 8000, 16000));

    makeDevice();
    // Reported as soon as the worker, decoding ahead, meets the failure.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Sound playback failed: .+"));
    open("cut.flac");
    QCOMPARE(m_device->mode(), SoundPlayer::Mode::Stopped);
    QCOMPARE(m_device->length(), 2000);
    command("Play");
    QTRY_COMPARE(m_done->count(), 1);
    QCOMPARE(lastDone(), int(SoundPlayer::Outcome::Failed));
    QCOMPARE(m_device->mode(), SoundPlayer::Mode::Stopped);
    QVERIFY(!soundWritten().empty()); // what decoded was played
}

void TestSoundDevice::closeDropsPendingDone_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::newRow("stop, then close") << "stop";
    QTest::newRow("failed play, then open") << "fail";
    QTest::newRow("close while playing") << "close";
    QTest::newRow("open while playing") << "open";
}

void TestSoundDevice::closeDropsPendingDone()
{
    QFETCH(QString, scenario);
    makeDevice();
    if (scenario == "fail") {
        command("Play"); // nothing open
        open("short.wav");
    } else {
        open("short.wav");
        command("Play");
        QTest::qWait(100);
        if (scenario == "stop")
            command("Stop");
        if (scenario == "open")
            open("short.wav");
        else
            command("Close");
    }
    QTest::qWait(400); // past the end of the file
    QCOMPARE(m_done->count(), 0);
}

void TestSoundDevice::noSoundOutputFailsUntilThereIsOne()
{
    if (AgainstServer)
        QSKIP("SDL's output only: with a server, tst_serveroutput loses the server");
    const QByteArray driver = qgetenv("SDL_AUDIODRIVER");
    qputenv("SDL_AUDIODRIVER", "no-such-driver");
    makeDevice();
    open("short.wav");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Sound playback failed: .+"));
    command("Play");
    QTRY_COMPARE(m_done->count(), 1);
    QCOMPARE(lastDone(), int(SoundPlayer::Outcome::Failed));
    QCOMPARE(m_device->mode(), SoundPlayer::Mode::Stopped);

    qputenv("SDL_AUDIODRIVER", driver);
    command("Play");
    QTRY_COMPARE(m_done->count(), 2);
    QCOMPARE(lastDone(), int(SoundPlayer::Outcome::Ended));
}

void TestSoundDevice::namedOutputNeedsTheServer()
{
    if (AgainstServer)
        QSKIP("Without a server only: tst_serveroutput refuses an absent output on a server");
    // SDL knows no sound server's outputs: a chosen output is not replaced by SDL's default one.
    PulseConnection connection;
    QTRY_COMPARE(connection.state(), PulseConnection::Unavailable);
    SoundDevice device(connection);
    QSignalSpy done(&device, &SoundPlayer::finished);
    device.setOutput("rig");
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Cannot play \".*short.wav\": the sound output \"rig\""
                                            " is not available: no sound server answers$"));
    QCOMPARE(device.open(path("short.wav")), SoundPlayer::OpenResult::OutputAbsent);
    QCOMPARE(device.mode(), SoundPlayer::Mode::NotReady);
    device.play();
    QCOMPARE(device.mode(), SoundPlayer::Mode::NotReady);
    QTRY_COMPARE(done.count(), 1);
    QCOMPARE(done.at(0).at(0).value<SoundPlayer::Outcome>(), SoundPlayer::Outcome::Failed);
}

QTEST_GUILESS_MAIN(TestSoundDevice)
#include "tst_sounddevice.moc"
