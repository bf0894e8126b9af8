// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/audio/TestSounds.h"
#include "tests/support/StationFixture.h"
#include "tests/support/StderrCapture.h"
#include "tests/support/TestFiles.h"

#include "playback/TakeRules.h"
#include "ui/RecordSet.h"

#include "ui/TransportBar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <csignal>
#include <sndfile.h>
#include <sys/resource.h>

// Recording a memory: the station's rules around it (no message while recording, no recording
// while a message plays, never a keying request), trimming and the refusals, naming, binding and
// the save at once, and the failures of the input and of the disk.
class TestRecorder : public QObject
{
    Q_OBJECT

private slots:
    void trimsSilenceKeepingFiftyMilliseconds_data();
    void trimsSilenceKeepingFiftyMilliseconds();
    void recordsFromTheChosenInputAndMeters();
    void refusedWhileAMessagePlays();
    void noMessageStartsWhileRecording();
    void nothingTheRecorderDoesKeys();
    void silentOrClippedTakesAreRefused_data();
    void silentOrClippedTakesAreRefused();
    void savedTakeIsBoundAndSavedAtOnce();
    void neverOverwritesAFile();
    void theMemoryThatPlaysKeepsItsFile();
    void fullDiskKeepsTheTakeAndBindsNothing();
    void inputThatFailsOrDeliversNothing();
    void previewPlaysOnTheMonitorOutput();
    void previewNeverOnTheTransmittersOutput_data();
    void previewNeverOnTheTransmittersOutput();
    void dialogFollowsTheRecorder();
    void savesTheVoiceKitsParts();
    void linksAndLeftoversWhereItWrites();
};

namespace {
constexpr int Rate = 8000;

// Silence (below -45 dBFS), then a tone, then silence, in seconds.
QVector<float> take(double before, double tone, double after, float amplitude = 0.5f)
{
    QVector<float> samples;
    const auto add = [&](double seconds, float value, bool alternate) {
        for (int i = 0; i < int(seconds * Rate); ++i)
            samples.append(alternate && i % 2 ? -value : value);
    };
    add(before, 0.001f, false);
    add(tone, amplitude, true);
    add(after, 0.001f, false);
    return samples;
}

// Records the samples as one block from the default input, and stops.
void recordTake(StationFixture &f, const QVector<float> &samples)
{
    QVERIFY(f.station->recorder().record());
    f.input.begin(Rate);
    f.input.deliver(samples);
    f.station->recorder().stop();
    QCOMPARE(f.station->recorder().phase(), Recorder::Ready);
}

QStringList recordings(StationFixture &f)
{
    return QDir(f.state().Places.RecordDir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

QStringList keyingRequests(const StationFixture &f)
{
    return f.lines.log.filter(QRegularExpression("^(RTS|DTR) "));
}
} // namespace

void TestRecorder::trimsSilenceKeepingFiftyMilliseconds_data()
{
    QTest::addColumn<double>("before");
    QTest::addColumn<double>("after");
    QTest::addColumn<int>("begin");
    QTest::addColumn<int>("end");
    // 50 ms at 8000 Hz are 400 samples; the tone is 0.5 s (4000 samples).
    QTest::newRow("silence around") << 1.0 << 1.0 << 8000 - 400 << 12000 + 400;
    QTest::newRow("short silence") << 0.02 << 0.01 << 0 << 160 + 4000 + 80;
    QTest::newRow("none") << 0.0 << 0.0 << 0 << 4000;
}

void TestRecorder::trimsSilenceKeepingFiftyMilliseconds()
{
    QFETCH(double, before);
    QFETCH(double, after);
    QFETCH(int, begin);
    QFETCH(int, end);
    const TakeRules::Verdict verdict = TakeRules::judge(take(before, 0.5, after), Rate);
    QCOMPARE(verdict.kind, TakeRules::Verdict::Fit);
    QCOMPARE(verdict.begin, begin);
    QCOMPARE(verdict.end, end);
}

void TestRecorder::recordsFromTheChosenInputAndMeters()
{
    StationFixture f;
    Recorder &recorder = f.station->recorder();
    f.state().Audio.AudioInput = "rig.monitor";
    QSignalSpy peaks(&recorder, &Recorder::peak);

    QVERIFY(recorder.record());
    QVERIFY(f.now().recording);
    QCOMPARE(f.input.log, QStringList{"Start rig.monitor"});
    f.input.begin(Rate);
    f.input.deliver(QVector<float>(800, 0.5f));
    f.input.deliver(QVector<float>(800, 0.0f));
    QCOMPARE(peaks.size(), 2);
    QVERIFY(qAbs(peaks[0][0].toDouble() - (-6.0206)) < 0.001);
    QVERIFY(std::isinf(peaks[1][0].toDouble()));
    QCOMPARE(recorder.take().size(), 1600);
    QCOMPARE(recorder.seconds(), 0.2);

    recorder.stop();
    QVERIFY(!f.now().recording);
    QCOMPARE(f.input.log.last(), QString("Stop"));
    QCOMPARE(recorder.phase(), Recorder::Ready);
    // A late block after the stop is not taken.
    emit f.input.samples(QVector<float>(800, 0.5f));
    QCOMPARE(recorder.take().size(), 1600);

    // A new recording starts a new take.
    QVERIFY(recorder.record());
    QCOMPARE(recorder.take().size(), 0);
    recorder.stop();
    QCOMPARE(recorder.phase(), Recorder::Empty);
    QCOMPARE(recorder.message(), QString("Nothing was recorded."));
}

void TestRecorder::refusedWhileAMessagePlays()
{
    StationFixture f;
    Recorder &recorder = f.station->recorder();
    // A memory that plays, then one that waits for its repeat.
    f.clickMemory(0);
    QVERIFY(!recorder.record());
    f.window().Check3d1(0)->setChecked(true);
    f.device.finish();
    QCOMPARE(f.now().playing(), 1);
    QVERIFY(!recorder.record());
    f.clickMemory(0);
    // The transport bar's own Play: nothing is keyed, but it plays into the transmitter's input.
    f.leftClick(f.window().MMControl1()->findChild<QToolButton *>("MMControl1_Play"));
    QCOMPARE(f.device.mode(), SoundPlayer::Mode::Playing);
    QVERIFY(!recorder.record());

    QCOMPARE(recorder.message(), QString("A message is playing: record when it has ended."));
    QVERIFY(f.input.log.isEmpty());
    QVERIFY(!f.now().recording);
}

void TestRecorder::noMessageStartsWhileRecording()
{
    StationFixture f;
    QVERIFY(f.station->recorder().record());
    f.device.clearLog();

    f.clickMemory(2);
    QVERIFY(f.refusalFace() != 0);
    QCOMPARE(f.now().playing(), 0);
    QCOMPARE(f.face(f.memory(2)), 1);
    // Nor with the transport bar.
    f.leftClick(f.window().MMControl1()->findChild<QToolButton *>("MMControl1_Play"));
    QVERIFY(!f.device.commands().contains("Play"));

    // Once stopped, the memory starts again.
    f.station->recorder().stop();
    f.clickMemory(2);
    QCOMPARE(f.now().playing(), 1);
}

void TestRecorder::nothingTheRecorderDoesKeys()
{
    StationFixture f;
    f.state().Audio.AudioOutput = "rig"; // the takes play on the default output
    f.state().Ptt.RtsOn = true;
    f.state().Ptt.DtrOn = true;
    f.station->serialKeyer().open();
    f.lines.clearLogs();

    Recorder &recorder = f.station->recorder();
    recordTake(f, take(0.1, 0.5, 0.1));
    QVERIFY(recorder.play());
    f.preview.finish();
    QVERIFY(recorder.save(1));
    QVERIFY(recorder.play());
    recorder.stop();

    QVERIFY(keyingRequests(f).isEmpty());
    QVERIFY(!f.onAirPictureShown());
}

void TestRecorder::silentOrClippedTakesAreRefused_data()
{
    QTest::addColumn<QVector<float>>("samples");
    QTest::addColumn<QString>("message");
    QTest::newRow("silence") << take(1, 0, 0)
                             << "The take is silent: nothing in it reaches -45 dBFS. Check the "
                                "input and record again.";
    QTest::newRow("digital silence") << QVector<float>(8000, 0.0f) << "The take is silent";
    QVector<float> clipped = take(0, 1, 0);
    for (int i = 0; i < 8000 * 2 / 100; ++i)
        clipped[i * 50] = i % 2 ? -1.0f : 1.0f;
    QTest::newRow("clipped 2%") << clipped
                                << "The take is clipped in 2.0% of its samples: lower the "
                                   "input's level and record again.";
    QVector<float> touched = take(0, 1, 0);
    for (int i = 0; i < 8000 / 200; ++i)
        touched[i * 200] = 1.0f;
    QTest::newRow("clipped 0.5%") << touched << QString();
}

void TestRecorder::silentOrClippedTakesAreRefused()
{
    QFETCH(QVector<float>, samples);
    QFETCH(QString, message);
    StationFixture f;
    const QString bound = f.state().Memories.MemFile[1];
    recordTake(f, samples);
    const bool saved = f.station->recorder().save(2);
    QCOMPARE(saved, message.isEmpty());
    if (saved)
        return;
    QVERIFY2(f.station->recorder().message().startsWith(message),
             qPrintable(f.station->recorder().message()));
    QCOMPARE(f.state().Memories.MemFile[1], bound);
    QVERIFY(recordings(f).filter("Memory").isEmpty());
    QCOMPARE(f.station->recorder().phase(), Recorder::Ready);
}

void TestRecorder::savedTakeIsBoundAndSavedAtOnce()
{
    StationFixture f;
    f.state().Places.RecordDir = f.programDir() + "/Recordings/"; // made when first needed
    const QVector<float> samples = take(1, 0.5, 1);
    recordTake(f, samples);
    const QDateTime before = QDateTime::currentDateTime();
    QVERIFY(f.station->recorder().save(4));

    const QString path = f.state().Memories.MemFile[3];
    const QString name = QFileInfo(path).fileName();
    QCOMPARE(QFileInfo(path).absolutePath(), QDir(f.state().Places.RecordDir).absolutePath());
    QVERIFY2(
        QRegularExpression("^Memory 4 \\d{4}-\\d\\d-\\d\\d \\d{6}\\.wav$").match(name).hasMatch(),
        qPrintable(name));
    const QDateTime stamp = QDateTime::fromString(name.mid(9, 17), "yyyy-MM-dd HHmmss");
    QVERIFY(qAbs(stamp.secsTo(before)) <= 2);
    QCOMPARE(recordings(f), QStringList{name}); // no temporary file left
    QCOMPARE(f.station->recorder().message(), "Saved for memory 4 as \"" + name + "\".");
    // The settings file holds the binding now.
    QVERIFY(TestFiles::contents(f.state().Places.IniFile).contains("FileName=" + path.toUtf8() + "\n"));

    // 16-bit mono at the input's rate, trimmed to 50 ms around the sound.
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    QVERIFY(file);
    sf_close(file);
    QCOMPARE(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    QCOMPARE(info.channels, 1);
    QCOMPARE(info.samplerate, Rate);
    const std::vector<float> saved = TestSounds::decode(path);
    QCOMPARE(qsizetype(saved.size()), 4000 + 2 * 400);
    for (size_t i = 0; i < saved.size(); ++i)
        QVERIFY(qAbs(saved[i] - samples[qsizetype(i) + 8000 - 400]) < 1.0f / 16384);
}

void TestRecorder::neverOverwritesAFile()
{
    StationFixture f;
    recordTake(f, take(0, 0.5, 0));
    // Files of this second and the next are there already.
    const QDateTime now = QDateTime::currentDateTime();
    QDir().mkpath(f.state().Places.RecordDir);
    QStringList taken;
    for (int s = 0; s < 2; ++s) {
        taken << TakeRules::fileName(1, now.addSecs(s));
        TestFiles::put(QDir(f.state().Places.RecordDir).filePath(taken.last()), "keep");
    }
    QVERIFY(f.station->recorder().save(1));
    QVERIFY(f.station->recorder().save(1));
    for (const QString &name : taken)
        QCOMPARE(TestFiles::contents(QDir(f.state().Places.RecordDir).filePath(name)), QByteArray("keep"));
    QVERIFY(!taken.contains(QFileInfo(f.state().Memories.MemFile[0]).fileName()));
    QCOMPARE(recordings(f).filter("Memory 1 ").size(), 4);
}

void TestRecorder::theMemoryThatPlaysKeepsItsFile()
{
    StationFixture f;
    recordTake(f, take(0, 0.5, 0));
    f.clickMemory(2);
    const QString playing = f.state().Memories.MemFile[2];
    QVERIFY(!f.station->recorder().save(3));
    QCOMPARE(f.station->recorder().message(),
             QString("Memory 3 is playing: save the take when it has ended."));
    QCOMPARE(f.state().Memories.MemFile[2], playing);
    // Another memory takes it meanwhile.
    QVERIFY(f.station->recorder().save(4));
}

void TestRecorder::fullDiskKeepsTheTakeAndBindsNothing()
{
    StationFixture f;
    recordTake(f, take(1, 1, 1)); // 1 s of sound: 16 kB when saved
    const QString bound = f.state().Memories.MemFile[4];
    const QByteArray settings = TestFiles::contents(f.state().Places.IniFile);

    // A file may grow to 4 kB only: writing beyond fails as on a full disk.
    struct rlimit old
    {
    };
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    StderrCapture capture;
    const bool saved = f.station->recorder().save(5);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!saved);
    QVERIFY(capture.text().contains("voicevocta: Cannot save the recording in"));
    QVERIFY2(f.station->recorder().message().startsWith("The take was not saved: ")
                 && !f.station->recorder().message().contains(".."),
             qPrintable(f.station->recorder().message()));
    QCOMPARE(f.station->recorder().phase(), Recorder::Ready);
    QCOMPARE(f.station->recorder().take().size(), 3 * Rate);
    QCOMPARE(f.state().Memories.MemFile[4], bound);
    QCOMPARE(TestFiles::contents(f.state().Places.IniFile), settings);
    QVERIFY(recordings(f).filter("Memory").isEmpty());

    // With room again, the same take is saved.
    QVERIFY(f.station->recorder().save(5));
}

void TestRecorder::inputThatFailsOrDeliversNothing()
{
    StationFixture f;
    Recorder &recorder = f.station->recorder();
    // The input cannot start.
    QVERIFY(recorder.record());
    f.input.fail("no such source");
    QCOMPARE(recorder.message(), QString("Cannot record: no such source"));
    QCOMPARE(recorder.phase(), Recorder::Empty);
    QVERIFY(!f.now().recording);

    // It goes away halfway: what came is kept.
    QVERIFY(recorder.record());
    f.input.begin(Rate);
    f.input.deliver(take(0, 0.5, 0));
    f.input.fail("the input went away");
    QCOMPARE(recorder.message(), QString("Recording stopped: the input went away"));
    QCOMPARE(recorder.phase(), Recorder::Ready);

    // It starts and delivers nothing.
    recorder.setNothingTimeout(50);
    f.state().Audio.AudioInput = "mic";
    QVERIFY(recorder.record());
    f.input.begin(Rate);
    QTRY_COMPARE(recorder.phase(), Recorder::Empty);
    QCOMPARE(recorder.message(),
             QString("Nothing arrives from the input \"mic\": check that it is plugged in, or "
                     "choose another input under Setup > Sound..."));
    QCOMPARE(f.input.log.last(), QString("Stop"));
    QVERIFY(!f.now().recording);
}

void TestRecorder::previewPlaysOnTheMonitorOutput()
{
    StationFixture f;
    f.state().Audio.AudioOutput = "rig";
    f.state().Audio.AudioMonitor = "speakers";
    f.state().Audio.MonitorLevel = 40;
    Recorder &recorder = f.station->recorder();
    recordTake(f, take(1, 0.5, 1));
    f.device.clearLog();

    QVERIFY(recorder.play());
    QCOMPARE(recorder.phase(), Recorder::Previewing);
    QCOMPARE(f.preview.output(), QString("speakers"));
    QCOMPARE(f.preview.level(), 40);
    const QString file = f.preview.fileName();
    QCOMPARE(f.preview.commands(), (QStringList{"Close", "Open", "Play"}));
    // What plays is what Save would write.
    QCOMPARE(qsizetype(TestSounds::decode(file).size()), 4000 + 2 * 400);
    QVERIFY(f.device.log.isEmpty());

    f.preview.finish();
    QCOMPARE(recorder.phase(), Recorder::Ready);
    // Stop ends a preview at once.
    QVERIFY(recorder.play());
    recorder.stop();
    QCOMPARE(recorder.phase(), Recorder::Ready);
    QCOMPARE(f.preview.mode(), SoundPlayer::Mode::NotReady);
}

void TestRecorder::previewNeverOnTheTransmittersOutput_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("monitor");
    QTest::addColumn<QString>("defaultOutput"); // empty: no sound server names one
    QTest::addColumn<QString>("message");
    const QString same = "Play is refused: the take would go out on the transmitter's output. "
                         "Choose a monitor output of its own under Setup > Sound...";
    QTest::newRow("both the default output") << ""
                                             << ""
                                             << "speakers" << same;
    QTest::newRow("the default output is the rig's") << "rig"
                                                     << ""
                                                     << "rig" << same;
    QTest::newRow("the monitor is the rig's output") << "rig"
                                                     << "rig"
                                                     << "speakers" << same;
    QTest::newRow("no server tells them apart")
        << "rig"
        << ""
        << ""
        << "Play is refused: no sound server tells the default output from the "
           "transmitter's. Choose a monitor output under Setup > Sound...";
}

void TestRecorder::previewNeverOnTheTransmittersOutput()
{
    QFETCH(QString, output);
    QFETCH(QString, monitor);
    QFETCH(QString, defaultOutput);
    QFETCH(QString, message);
    StationFixture f;
    f.server.connected = !defaultOutput.isEmpty();
    f.server.defaultSink = defaultOutput;
    f.state().Audio.AudioOutput = output;
    f.state().Audio.AudioMonitor = monitor;
    recordTake(f, take(1, 0.5, 1));
    f.preview.clearLog();

    QVERIFY(!f.station->recorder().play());
    QCOMPARE(f.station->recorder().message(), message);
    QCOMPARE(f.station->recorder().phase(), Recorder::Ready);
    QVERIFY(f.preview.commands().isEmpty());
}

void TestRecorder::dialogFollowsTheRecorder()
{
    StationFixture f;
    f.state().Audio.AudioInput = "rig.monitor";
    f.window().menuItem("Record")->trigger();
    RecordSet *dialog = f.station->recordSet().form();
    QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
    QCOMPARE(dialog->Label4()->text(), QString("Input: Monitor of USB Audio CODEC Analog Stereo"));
    const auto enabled = [dialog] {
        QString buttons;
        for (QPushButton *b :
             {dialog->Command1(), dialog->Command2(), dialog->Command3(), dialog->Command4()})
            buttons += b->isEnabled() ? b->text().left(2) : QString("--");
        return buttons;
    };
    QCOMPARE(enabled(), QString("Re------"));

    f.leftClick(dialog->Command1());
    QCOMPARE(enabled(), QString("--St----"));
    f.input.begin(Rate);
    f.input.deliver(QVector<float>(800, 0.25f));
    QCOMPARE(dialog->Gauge1()->value(), -120);
    QCOMPARE(dialog->Label1()->text(), QString("-12.0 dBFS"));
    f.input.deliver(take(0, 0.5, 0));
    QCOMPARE(dialog->Label2()->text(), QString("Take: 0.6 s"));
    QVERIFY(dialog->grab().save(QDir::tempPath() + "/vv-record-dialog.png"));
    f.state().Audio.AudioLoudness = -40;
    f.leftClick(dialog->Command2());
    QCOMPARE(enabled(), QString("Re--PlSa"));
    QCOMPARE(dialog->Gauge1()->value(), -600);
    // Its loudness and true peak once measured, and how far it lies from the target.
    QTRY_VERIFY2(
        QRegularExpression(R"(^Take: 0.6 s, -\d+\.\d LUFS, -\d+\.\d dBTP\n\d+\.\d LU above )"
                           R"(the target of -40 LUFS$)")
            .match(dialog->Label2()->text())
            .hasMatch(),
        qPrintable(dialog->Label2()->text()));

    dialog->Combo1()->setCurrentIndex(5);
    f.leftClick(dialog->Command4());
    QVERIFY(f.state().Memories.MemFile[5].contains("Memory 6 "));
    QVERIFY(dialog->Label3()->text().startsWith("Saved for memory 6 as"));

    // Closing it while it records stops the recording; the take stays for the next opening.
    f.leftClick(dialog->Command1());
    f.input.begin(Rate);
    f.input.deliver(take(0, 0.5, 0));
    dialog->close();
    QVERIFY(!f.now().recording);
    QCOMPARE(f.input.log.last(), QString("Stop"));
    f.window().menuItem("Record")->trigger();
    QCOMPARE(f.station->recordSet().form()->Label2()->text(), QString("Take: 0.5 s"));
}

// "kit" in the dialog: which of the spelling's parts the kit lacks, and a take saved as a part
// (trimmed as for a memory, replacing the part's recording), or refused for a name that is none.
void TestRecorder::savesTheVoiceKitsParts()
{
    StationFixture f;
    f.window().menuItem("Record")->trigger();
    RecordSet *dialog = f.station->recordSet().form();
    QVERIFY(!dialog->Combo2()->isEnabled());
    dialog->Combo1()->setCurrentIndex(6);
    QCOMPARE(dialog->Combo1()->currentText(), QString("kit"));
    QVERIFY(dialog->Combo2()->isEnabled());
    QVERIFY(dialog->Label5()->text().startsWith("Missing 37 of 37: a b c"));
    QCOMPARE(dialog->Combo2()->currentText(), QString("a"));

    const QVector<float> samples = take(1, 0.5, 1);
    recordTake(f, samples);
    const QString kit = f.programDir() + "/kit/";
    for (const char *part : {"a", "A", "/", "CQ", "calls/dl1abc-p"})
        QVERIFY(f.station->recorder().saveKitPart(kit, part));
    QCOMPARE(QDir(kit).entryList(QDir::Files | QDir::Hidden, QDir::Name),
             QStringList({"a.wav", "cq.wav", "slash.wav"}));
    QVERIFY(QFileInfo(kit + "calls/dl1abc-p.wav").isFile());
    QCOMPARE(TestSounds::decode(kit + "a.wav").size(), size_t(4000 + 2 * 400));
    QCOMPARE(f.station->recorder().message(),
             QString("Saved as the kit's part \"calls/dl1abc-p.wav\"."));

    for (const char *part : {"c q", "", "calls/", "ä", "../x"}) {
        QVERIFY(!f.station->recorder().saveKitPart(kit, part));
        QVERIFY(f.station->recorder().message().contains("is no name for a kit part"));
    }
    dialog->Combo2()->setCurrentText("b");
    f.leftClick(dialog->Command4());
    QVERIFY(QFileInfo(kit + "b.wav").isFile());
    QVERIFY2(dialog->Label5()->text().startsWith("Missing 34 of 37: c d"),
             qPrintable(dialog->Label5()->text()));
    QStringList parts;
    for (int i = 0; i < dialog->Combo2()->count(); ++i)
        parts << dialog->Combo2()->itemText(i);
    QVERIFY2(parts.mid(parts.size() - 2) == QStringList({"cq", "calls/dl1abc-p"}),
             qPrintable(parts.join(' ')));
    QVERIFY(f.state().Memories.MemFile[0] != kit + "b.wav"); // no memory took it
    QVERIFY(dialog->grab().save(QDir::tempPath() + "/vv-record-kit.png"));
}

// What saves cut short left behind goes at start; a link planted where the program writes is never
// followed: in a part's place it is replaced, as the lock file it is said (and the settings saved).
void TestRecorder::linksAndLeftoversWhereItWrites()
{
    StationFixture f(false);
    const QString dir = f.programDir(), victim = dir + "/victim";
    TestFiles::put(victim, "mine");
    QVERIFY(QDir(dir).mkpath("kit/calls"));
    for (const char *name : {"Wav/.Memory 1 2024-05-01 120000.wav.part", "kit/.a.wav.part",
                             "kit/calls/.dl1abc.wav.part", "Wav/notes.wav.part"})
        TestFiles::put(dir + "/" + name, "RIFF");
    for (const char *name : {"vocta.ini.lock", "Wav/.Memory 2 x.wav.part"})
        QVERIFY(QFile::link(victim, dir + "/" + name));
    StderrCapture capture;
    f.station->Form_Load();
    QCOMPARE(QDir(dir + "/kit").entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList());
    QVERIFY(!QFileInfo::exists(dir + "/kit/calls/.dl1abc.wav.part"));
    QCOMPARE(recordings(f).filter(".part"), QStringList{"notes.wav.part"});

    QVERIFY(QFile::link(victim, dir + "/kit/.b.wav.part"));
    recordTake(f, take(0.1, 0.5, 0.1));
    QVERIFY(f.station->recorder().saveKitPart(dir + "/kit/", "b"));
    QCOMPARE(TestSounds::decode(dir + "/kit/b.wav").size(), size_t(4000 + 2 * 400));
    f.window().menuItem("Exit")->trigger();
    QCOMPARE(TestFiles::contents(victim), QByteArray("mine"));
    QVERIFY(TestFiles::contents(dir + "/vocta.ini").contains("[MEMORY_1]"));
    QCOMPARE(capture.text().count("Cannot lock the settings file with " + dir.toUtf8()), 1);
    QCOMPARE(f.dialogs.notices.filter("problem: The settings file's lock").size(), 1);
}

QTEST_MAIN(TestRecorder)
#include "tst_recorder.moc"
