#include "playback/audio/SdlMediaDevice.h"
#include "station/FileNames.h"
#include "tests/audio/TestSounds.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sndfile.h>

#include <cstdio>
#include <memory>

using namespace TestSounds;

// The device played on SDL's disk driver: what it writes to the disk file is what a sound card
// would have been given.
class TestSdlMediaDevice : public QObject
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

private:
    void makeDevice();
    void command(const QString &name);
    void open(const QString &file);
    int lastDone() const { return m_done->isEmpty() ? 0 : m_done->last().at(0).toInt(); }
    // Ends the device (so SDL closes the disk file) and returns the runs of sound it wrote.
    std::vector<std::vector<float>> soundWritten();
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QString m_diskFile;
    std::unique_ptr<SdlMediaDevice> m_device;
    std::unique_ptr<QSignalSpy> m_done;
    bool m_inCommand = false;
    int m_doneInsideCommand = 0;
};

void TestSdlMediaDevice::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_diskFile = qEnvironmentVariable("SDL_DISKAUDIOFILE");
    if (m_diskFile.isEmpty()) {
        m_diskFile = path("disk.raw");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(m_diskFile));
    }
    if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER"))
        qputenv("SDL_AUDIODRIVER", "disk");
    QCOMPARE(qgetenv("SDL_AUDIODRIVER"), QByteArray("disk"));

    QVERIFY(writeWav(path("short.wav"), 8000, 1, 2400, SF_FORMAT_PCM_16)); // 0.3 s
    QVERIFY(writeWav(path("long.wav"), 8000, 1, 4800, SF_FORMAT_PCM_16)); // 0.6 s
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

void TestSdlMediaDevice::cleanupTestCase()
{
    // QTemporaryDir cannot remove names that are not UTF-8.
    const QByteArray dir = QFile::encodeName(m_dir.path());
    std::remove(QByteArray(dir + "/caf\xE9.wav").constData());
    std::remove(QByteArray(dir + "/\xFF\xFE.mid").constData());
}

void TestSdlMediaDevice::cleanup()
{
    m_device.reset();
    m_done.reset();
    QCOMPARE(m_doneInsideCommand, 0);
}

void TestSdlMediaDevice::makeDevice()
{
    m_device = std::make_unique<SdlMediaDevice>();
    m_done = std::make_unique<QSignalSpy>(m_device.get(), &MediaDevice::Done);
    connect(m_device.get(), &MediaDevice::Done, this, [this] {
        if (m_inCommand)
            ++m_doneInsideCommand;
    });
}

void TestSdlMediaDevice::command(const QString &name)
{
    const qsizetype before = m_done->count();
    m_inCommand = true;
    m_device->setCommand(name);
    m_inCommand = false;
    QCOMPARE(m_done->count(), before); // Done is never emitted inside a command
}

void TestSdlMediaDevice::open(const QString &file)
{
    m_device->setFileName(path(file));
    command("Open");
}

std::vector<std::vector<float>> TestSdlMediaDevice::soundWritten()
{
    m_device.reset();
    const std::vector<float> written = readFloats(m_diskFile);
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

void TestSdlMediaDevice::modeAndLength_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("length");
    QTest::newRow("wav 8 kHz mono") << "short.wav" << 300;
    QTest::newRow("wav 44.1 kHz stereo float") << "stereo.wav" << 500;
    QTest::newRow("midi at 120 bpm") << "note.mid" << 250;
    QTest::newRow("midi with a tempo change") << "tempo.mid" << 750;
    QTest::newRow("midi in SMPTE time") << "smpte.mid" << 250;
    QTest::newRow("wav named in Latin-1") << FileNames::decode("caf\xE9.wav") << 300;
    QTest::newRow("midi named in bytes that are not UTF-8")
        << FileNames::decode("\xFF\xFE.mid") << 250;
}

void TestSdlMediaDevice::modeAndLength()
{
    QFETCH(QString, file);
    QFETCH(int, length);
    makeDevice();
    QSignalSpy modes(m_device.get(), &MediaDevice::modeChanged);
    QCOMPARE(m_device->Mode(), int(MediaDevice::NotReady));
    QCOMPARE(m_device->Length(), 0);

    open(file);
    QCOMPARE(m_device->Mode(), int(MediaDevice::Stopped));
    QCOMPARE(m_device->Length(), length);
    command("Play");
    QCOMPARE(m_device->Mode(), int(MediaDevice::Playing));
    command("Stop");
    QCOMPARE(m_device->Mode(), int(MediaDevice::Stopped));
    command("Close");
    QCOMPARE(m_device->Mode(), int(MediaDevice::NotReady));
    QCOMPARE(m_device->Length(), 0);

    QList<int> seen;
    for (const QList<QVariant> &signal : modes)
        seen << signal.at(0).toInt();
    QCOMPARE(seen, QList<int>({MediaDevice::Stopped, MediaDevice::Playing, MediaDevice::Stopped,
                               MediaDevice::NotReady}));
}

void TestSdlMediaDevice::playsExactSamples_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("format");
    QTest::newRow("8 kHz mono 16-bit") << 8000 << 1 << int(SF_FORMAT_PCM_16);
    QTest::newRow("44.1 kHz stereo float") << 44100 << 2 << int(SF_FORMAT_FLOAT);
    QTest::newRow("48 kHz mono 24-bit") << 48000 << 1 << int(SF_FORMAT_PCM_24);
    QTest::newRow("22.05 kHz four channels 16-bit") << 22050 << 4 << int(SF_FORMAT_PCM_16);
}

void TestSdlMediaDevice::playsExactSamples()
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
    QCOMPARE(lastDone(), int(MediaDevice::Successful));
    QCOMPARE(m_device->Mode(), int(MediaDevice::Stopped));
    QTest::qWait(100);
    QCOMPARE(m_done->count(), 1);

    const auto runs = soundWritten();
    QCOMPARE(runs.size(), size_t(1));
    QVERIFY(runs[0] == decode(path(file)));
}

void TestSdlMediaDevice::resumesFromPosition_data()
{
    QTest::addColumn<QString>("move");
    QTest::addColumn<int>("stepBack"); // frames; -1: back to the start
    QTest::newRow("from where it stopped") << QString() << 0;
    QTest::newRow("a tenth of a second back") << "Back" << 800;
    QTest::newRow("from the start") << "Prev" << -1;
}

void TestSdlMediaDevice::resumesFromPosition()
{
    QFETCH(QString, move);
    QFETCH(int, stepBack);
    makeDevice();
    open("long.wav");
    command("Play");
    QTest::qWait(200);
    command("Stop");
    QTRY_COMPARE(m_done->count(), 1);
    QCOMPARE(lastDone(), int(MediaDevice::Aborted));
    if (!move.isEmpty())
        command(move);
    QTest::qWait(100); // a gap of silence between the two parts
    command("Play");
    QTRY_COMPARE(m_done->count(), 2);
    QCOMPARE(lastDone(), int(MediaDevice::Successful));

    const std::vector<float> expected = decode(path("long.wav"));
    const auto runs = soundWritten();
    QCOMPARE(runs.size(), size_t(2));
    const size_t stopped = runs[0].size();
    QVERIFY(stopped > 0 && stopped < expected.size());
    QVERIFY(std::equal(runs[0].begin(), runs[0].end(), expected.begin()));
    const size_t resumed = stepBack < 0 ? 0 : stopped - size_t(stepBack);
    QVERIFY(runs[1] == std::vector<float>(expected.begin() + qsizetype(resumed), expected.end()));
}

void TestSdlMediaDevice::nextEndsThePlay()
{
    makeDevice();
    open("long.wav");
    command("Next");
    command("Play");
    QTRY_COMPARE_WITH_TIMEOUT(m_done->count(), 1, 500);
    QCOMPARE(lastDone(), int(MediaDevice::Successful));
    QVERIFY(soundWritten().empty());
}

void TestSdlMediaDevice::midiEndsAtLastNote()
{
    makeDevice();
    open("note.mid");
    QCOMPARE(m_device->Length(), 250);
    command("Play"); // the first play also loads the soundfont
    QTRY_COMPARE(m_done->count(), 1);
    QCOMPARE(lastDone(), int(MediaDevice::Successful));

    command("Prev");
    QElapsedTimer timer;
    timer.start();
    command("Play");
    QTRY_COMPARE(m_done->count(), 2);
    QCOMPARE(lastDone(), int(MediaDevice::Successful));
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

void TestSdlMediaDevice::stopGivesAborted()
{
    makeDevice();
    open("long.wav");
    command("Play");
    QTest::qWait(100);
    command("Stop");
    QCOMPARE(m_device->Mode(), int(MediaDevice::Stopped));
    QTRY_COMPARE(m_done->count(), 1);
    QCOMPARE(lastDone(), int(MediaDevice::Aborted));
    QTest::qWait(700); // no Done for the end of the file either
    QCOMPARE(m_done->count(), 1);
}

void TestSdlMediaDevice::playWhilePlayingIsIgnored()
{
    makeDevice();
    open("short.wav");
    command("Play");
    command("Play");
    QTRY_COMPARE(m_done->count(), 1);
    QCOMPARE(lastDone(), int(MediaDevice::Successful));
    QTest::qWait(200);
    QCOMPARE(m_done->count(), 1);
}

void TestSdlMediaDevice::badFileFails_data()
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

void TestSdlMediaDevice::badFileFails()
{
    QFETCH(QString, file);
    makeDevice();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Cannot play .*: .+"));
    open(file);
    QCOMPARE(m_device->Mode(), int(MediaDevice::NotReady));
    QCOMPARE(m_device->Length(), 0);
    command("Play");
    QTRY_COMPARE_WITH_TIMEOUT(m_done->count(), 1, 200);
    QCOMPARE(lastDone(), int(MediaDevice::Failure));
    QCOMPARE(m_device->Mode(), int(MediaDevice::NotReady));
}

void TestSdlMediaDevice::failureWhilePlayingGivesFailure()
{
    QVERIFY(writeCutFlac(path("cut.flac"), 8000, 16000));

    makeDevice();
    // Reported as soon as the worker, decoding ahead, meets the failure.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Sound playback failed: .+"));
    open("cut.flac");
    QCOMPARE(m_device->Mode(), int(MediaDevice::Stopped));
    QCOMPARE(m_device->Length(), 2000);
    command("Play");
    QTRY_COMPARE(m_done->count(), 1);
    QCOMPARE(lastDone(), int(MediaDevice::Failure));
    QCOMPARE(m_device->Mode(), int(MediaDevice::Stopped));
    QVERIFY(!soundWritten().empty()); // what decoded was played
}

void TestSdlMediaDevice::closeDropsPendingDone_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::newRow("stop, then close") << "stop";
    QTest::newRow("failed play, then open") << "fail";
    QTest::newRow("close while playing") << "close";
    QTest::newRow("open while playing") << "open";
}

void TestSdlMediaDevice::closeDropsPendingDone()
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

void TestSdlMediaDevice::noSoundOutputFailsUntilThereIsOne()
{
    const QByteArray driver = qgetenv("SDL_AUDIODRIVER");
    qputenv("SDL_AUDIODRIVER", "no-such-driver");
    makeDevice();
    open("short.wav");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Sound playback failed: .+"));
    command("Play");
    QTRY_COMPARE(m_done->count(), 1);
    QCOMPARE(lastDone(), int(MediaDevice::Failure));
    QCOMPARE(m_device->Mode(), int(MediaDevice::Stopped));

    qputenv("SDL_AUDIODRIVER", driver);
    command("Play");
    QTRY_COMPARE(m_done->count(), 2);
    QCOMPARE(lastDone(), int(MediaDevice::Successful));
}

QTEST_GUILESS_MAIN(TestSdlMediaDevice)
#include "tst_sdlmediadevice.moc"
