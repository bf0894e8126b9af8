// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/SoundDevice.h"
#include "tests/audio/TestSounds.h"
#include "tests/faults/FaultWatch.h"
#include "tests/support/StationFixture.h"

#include <QCheckBox>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <sndfile.h>
#include <sys/stat.h>

using namespace FaultWatch;

// The whole station on the real sound device (SDL's disk driver, which keeps real time), with a
// message that cannot be played: no sound output, the output lost, a file that fails halfway, a
// file deleted after it was chosen, a file whose header announces 2 GB, a named pipe, a text
// renamed .wav, a MIDI file whose soundfont is missing or corrupt (found when it first plays).
// Each time the message ends at once as a failure: the window answers throughout, the
// transmitter is released (unless Lock), a repeat does not start, the settings stay as saved, and
// the next message plays. A file that the player cannot even open never keys the transmitter
// and never plays.
class TestSoundFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void messageThatCannotPlay_data();
    void messageThatCannotPlay();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QByteArray m_driver;
    QByteArray m_diskFile;
};

namespace {
const QString NoOutput = QStringLiteral("no sound output");
const QString FailsHalfway = QStringLiteral("fails halfway");
const QString Deleted = QStringLiteral("deleted after it was chosen");
const QString Huge = QStringLiteral("2 GB header over a short body");
const QString Pipe = QStringLiteral("a named pipe");
const QString OutputLost = QStringLiteral("sound output lost");
const QString Text = QStringLiteral("a text renamed .wav");
const QString NoSoundFont = QStringLiteral("MIDI without its soundfont");
const QString BadSoundFont = QStringLiteral("MIDI with a corrupt soundfont");
} // namespace

void TestSoundFaults::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_driver = qgetenv("SDL_AUDIODRIVER");
    m_diskFile = qgetenv("SDL_DISKAUDIOFILE");
    QCOMPARE(m_driver, QByteArray("disk"));
    QVERIFY(TestSounds::writeWav(path("short.wav"), 8000, 1, 2400, SF_FORMAT_PCM_16)); // 0.3 s
    QVERIFY(TestSounds::writeWav(path("long.wav"), 8000, 1, 8000, SF_FORMAT_PCM_16)); // 1 s
    // Two seconds whose second half is cut away: it decodes for a while, then fails.
    QVERIFY(TestSounds::writeCutFlac(path("cut.flac"), 8000, 16000));
    QVERIFY(TestSounds::writeBadFiles(m_dir.path())); // huge.wav among them
    QFile midi(path("tune.mid"));
    QVERIFY(midi.open(QIODevice::WriteOnly));
    midi.write(TestSounds::midiFile(96, TestSounds::midiEvent(0, 0x90, 60, 100)
                                            + TestSounds::midiEvent(96, 0x80, 60, 0)
                                            + TestSounds::midiEndOfTrack(0)));
    midi.close();
    QFile soundFont(path("bad.sf2"));
    QVERIFY(soundFont.open(QIODevice::WriteOnly));
    soundFont.write("RIFF\x10\0\0\0sfbkLIST not a soundfont at all");
}

void TestSoundFaults::cleanup()
{
    qputenv("SDL_AUDIODRIVER", m_driver);
    qputenv("SDL_DISKAUDIOFILE", m_diskFile);
}

void TestSoundFaults::messageThatCannotPlay_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("repeat");
    QTest::addColumn<bool>("lock");
    for (const QString &fault : {NoOutput, OutputLost, FailsHalfway, Deleted, Huge, Pipe, Text,
                                 NoSoundFont, BadSoundFont}) {
        const QByteArray name = fault.toLatin1();
        QTest::addRow("%s", name.constData()) << fault << false << false;
        QTest::addRow("%s, repeat", name.constData()) << fault << true << false;
        QTest::addRow("%s, lock", name.constData()) << fault << false << true;
    }
}

void TestSoundFaults::messageThatCannotPlay()
{
    QFETCH(QString, fault);
    QFETCH(bool, repeat);
    QFETCH(bool, lock);

    if (fault == NoOutput)
        qputenv("SDL_AUDIODRIVER", "no-such-driver");
    QString soundFont = SoundDevice::defaultSoundFont();
    if (fault == NoSoundFont)
        soundFont = path(QStringLiteral("none.sf2"));
    if (fault == BadSoundFont)
        soundFont = path(QStringLiteral("bad.sf2"));
    SoundDevice device(nullptr, soundFont);
    StationFixture f(device);
    keyThroughRts(f);
    QVERIFY(!keyed(f));

    QString file = path(QStringLiteral("short.wav"));
    if (fault == OutputLost)
        file = path(QStringLiteral("long.wav")); // lost long before its end
    if (fault == FailsHalfway)
        file = path(QStringLiteral("cut.flac"));
    if (fault == Huge)
        file = path(QStringLiteral("huge.wav"));
    if (fault == Text)
        file = path(QStringLiteral("text.wav"));
    if (fault == NoSoundFont || fault == BadSoundFont)
        file = path(QStringLiteral("tune.mid"));
    if (fault == Pipe) {
        // Nothing ever writes to it: opening it for reading would wait forever.
        file = path(QStringLiteral("pipe.wav"));
        QVERIFY(QFile::exists(file) || ::mkfifo(QFile::encodeName(file).constData(), 0600) == 0);
    }
    if (fault == Deleted) {
        file = path(QStringLiteral("gone.wav"));
        QVERIFY(TestSounds::writeWav(file, 8000, 1, 2400, SF_FORMAT_PCM_16));
    }
    chooseFile(f, 0, file);
    chooseFile(f, 1, path(QStringLiteral("short.wav")));
    QCOMPARE(f.state().Memories.MemFile[0], file);
    if (fault == Deleted)
        QVERIFY(QFile::remove(file));
    const QByteArray saved = fileBytes(f.state().Places.IniFile);
    QVERIFY(saved.contains(QFile::encodeName(file)));

    f.window().Check3d1(0)->setChecked(repeat);
    f.state().Memories.MemDelay[0] = 100;
    if (lock)
        f.leftClick(f.window().Command3d2());

    // The sound output goes away as soon as it is written to: the disk driver's file is full.
    if (fault == OutputLost)
        qputenv("SDL_DISKAUDIOFILE", "/dev/full");

    // The fault is told on standard error.
    if (fault == NoOutput || fault == OutputLost || fault == FailsHalfway)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Sound playback failed: .+"));
    else
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Cannot play \".*\": .+"));
    // A soundfont that cannot be loaded is said in one line, and only one.
    if (fault == NoSoundFont || fault == BadSoundFont)
        QTest::failOnWarning(QRegularExpression("^(Cannot play|Sound playback|MIDI)"));

    // The faults that the player finds only while it plays key the transmitter until then; a
    // file that does not open keys nothing at all and never plays: it fails at once.
    const bool opens = fault == NoOutput || fault == OutputLost || fault == FailsHalfway;
    QSignalSpy done(&device, &SoundPlayer::finished);
    UiWatch watch;
    f.lines.clearLogs();
    f.clickMemory(0);
    QCOMPARE(f.now().playing(), opens ? 1 : 0);
    if (opens) {
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 5000);
        QCOMPARE(done.at(0).at(0).value<SoundPlayer::Outcome>(), SoundPlayer::Outcome::Failed);
    }
    if (!lock)
        QVERIFY2(f.lines.log.contains(QStringLiteral("RTS 1")) == opens,
                 qPrintable(f.lines.log.join(", ")));

    // At rest again, with the refusal face: a failed message does not repeat.
    QCOMPARE(f.now().playing(), 0);
    QCOMPARE(f.face(f.memory(0)), 3);
    QCOMPARE(f.face(f.window().Panel3d1()), 1);
    QCOMPARE(f.window().Panel3d1()->text(), QStringLiteral("Idle"));
    QVERIFY(f.refusalFace() != 0);
    QCOMPARE(keyed(f), lock);
    QTest::qWait(200); // past the repeat delay
    QCOMPARE(done.count(), opens ? 1 : 0);
    QCOMPARE(f.now().playing(), 0);
    QCOMPARE(keyed(f), lock);
    QVERIFY2(watch.longestGap() < ResponsiveMs, qPrintable(QString::number(watch.longestGap())));
    QVERIFY(eventLoopAnswers());
    QCOMPARE(fileBytes(f.state().Places.IniFile), saved);

    if (fault == NoOutput) {
        // While there is no output, a good file fails the same way.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Sound playback failed: .+"));
        f.clickMemory(1);
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 5000);
        QCOMPARE(done.last().at(0).value<SoundPlayer::Outcome>(), SoundPlayer::Outcome::Failed);
        QCOMPARE(f.now().playing(), 0);
        QCOMPARE(keyed(f), lock);
        // The output comes back: the next play finds it.
        qputenv("SDL_AUDIODRIVER", m_driver);
    }
    if (fault == OutputLost)
        qputenv("SDL_DISKAUDIOFILE", m_diskFile);

    // The operator goes on: another memory plays to its end.
    const qsizetype before = done.count();
    f.clickMemory(1);
    QCOMPARE(f.now().playing(), 1);
    QCOMPARE(f.face(f.memory(1)), 2);
    QCOMPARE(f.face(f.memory(0)), 1);
    QTRY_VERIFY(keyed(f));
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), before + 1, 5000);
    QCOMPARE(done.last().at(0).value<SoundPlayer::Outcome>(), SoundPlayer::Outcome::Ended);
    QCOMPARE(f.now().playing(), 0);
    QCOMPARE(f.face(f.memory(1)), 3);
    QCOMPARE(keyed(f), lock);
    if (lock) {
        f.leftClick(f.window().Command3d2());
        QVERIFY(!keyed(f));
    }
    QVERIFY2(watch.longestGap() < ResponsiveMs, qPrintable(QString::number(watch.longestGap())));
    QCOMPARE(fileBytes(f.state().Places.IniFile), saved);
}

QTEST_MAIN(TestSoundFaults)
#include "tst_soundfaults.moc"
