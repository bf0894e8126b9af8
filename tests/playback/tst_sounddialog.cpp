// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/StationFixture.h"
#include "tests/support/TestFiles.h"

#include "playback/loudness/LoudnessBook.h"
#include "ui/SoundSet.h"
#include "ui/SoundSetHandler.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

// The "Sound" dialog: the server's outputs and inputs by their descriptions, the stored names,
// a stored device that is absent, hot-plugging while the dialog is open, the level, the monitor
// and the microphone to mute.
class TestSoundDialog : public QObject
{
    Q_OBJECT

private slots:
    void listsTheServersDevices();
    void choosingStoresTheNameAtOnce();
    void absentDeviceStaysTheChoice();
    void followsHotPlugging();
    void levelAppliesAtOnce();
    void levelZeroIsWarned();
    void monitorAndMicrophoneAreStored();
    void monitorNeverTheTransmittersOutput();
    void okHidesAndTheCloseBoxUnloads();
    void loudnessChosenTypedOrRefused();
};

namespace {
SoundSet *openDialog(StationFixture &f)
{
    f.window().menuItem("Sound")->trigger();
    return f.station->soundSet().form();
}

QStringList captions(QComboBox *combo)
{
    QStringList result;
    for (int i = 0; i < combo->count(); ++i)
        result << combo->itemText(i);
    return result;
}

// The operator picks the entry with this caption.
void choose(QComboBox *combo, const QString &caption)
{
    const int index = combo->findText(caption);
    QVERIFY2(index >= 0, qPrintable(caption));
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}
} // namespace

void TestSoundDialog::listsTheServersDevices()
{
    StationFixture f;
    // Two codecs of one make: their names tell them apart.
    f.server.sinks.append(SoundEndpoint{"usb2", "USB Audio CODEC Analog Stereo"});
    SoundSet *dialog = openDialog(f);
    QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
    QCOMPARE(dialog->windowTitle(), QString("Sound"));
    // The default named by its description and its name.
    QCOMPARE(captions(dialog->Combo1()),
             (QStringList{"Default output (Built-in Audio Analog Stereo, speakers)",
                          "Built-in Audio Analog Stereo", "USB Audio CODEC Analog Stereo (rig)",
                          "USB Audio CODEC Analog Stereo (usb2)"}));
    QCOMPARE(captions(dialog->Combo2()),
             (QStringList{"Default input (Built-in Audio Analog Stereo, mic)",
                          "Built-in Audio Analog Stereo", "Monitor of Built-in Audio Analog Stereo",
                          "Monitor of USB Audio CODEC Analog Stereo"}));
    // The monitor and the microphone to mute: by name only, none at first.
    QCOMPARE(captions(dialog->Combo3()), (QStringList{"None", "Built-in Audio Analog Stereo",
                                                      "USB Audio CODEC Analog Stereo (rig)",
                                                      "USB Audio CODEC Analog Stereo (usb2)"}));
    QCOMPARE(captions(dialog->Combo4()).first(), QString("None"));
    QVERIFY(!dialog->HScroll2()->isEnabled());
    QCOMPARE(dialog->Combo1()->currentIndex(), 0);
    QCOMPARE(dialog->Combo2()->currentIndex(), 0);
    QCOMPARE(dialog->Label2()->text(), QString());
    QVERIFY(dialog->grab().save(QDir::tempPath() + "/vv-sound-dialog.png"));

    // No server: the defaults and the stored choices only, and a word why.
    dialog->close();
    f.server.connected = false;
    f.server.sinks.clear();
    f.server.sources.clear();
    f.server.defaultSink.clear();
    f.state().Audio.AudioInput = "mic";
    dialog = openDialog(f);
    QCOMPARE(captions(dialog->Combo1()), QStringList{"Default output"});
    QCOMPARE(captions(dialog->Combo2()), (QStringList{"Default input", "mic (not found)"}));
    QCOMPARE(dialog->Label2()->text(), QString("No sound server answers."));
}

void TestSoundDialog::choosingStoresTheNameAtOnce()
{
    StationFixture f;
    SoundSet *dialog = openDialog(f);
    choose(dialog->Combo1(), "USB Audio CODEC Analog Stereo");
    QCOMPARE(f.state().Audio.AudioOutput, QString("rig"));
    QCOMPARE(f.device.output(), QString("rig"));
    choose(dialog->Combo2(), "Monitor of USB Audio CODEC Analog Stereo");
    QCOMPARE(f.state().Audio.AudioInput, QString("rig.monitor"));
    // The preview device stays on the default output.
    QCOMPARE(f.preview.output(), QString());

    // The first entry stores the system's default as empty.
    choose(dialog->Combo1(), "Default output (Built-in Audio Analog Stereo, speakers)");
    QCOMPARE(f.state().Audio.AudioOutput, QString());
    QCOMPARE(f.device.output(), QString());

    // The choice reaches the file at the next save.
    choose(dialog->Combo1(), "USB Audio CODEC Analog Stereo");
    f.station->settings().WriteMem();
    QVERIFY(TestFiles::contents(f.state().Places.IniFile)
                .endsWith("[Audio]\nOutput=rig\nInput=rig.monitor\nLevel=100\n"));
}

void TestSoundDialog::absentDeviceStaysTheChoice()
{
    StationFixture f(false);
    TestFiles::put(f.programDir() + "/vocta.ini", "[Audio]\nOutput=usbcodec\nInput=usbcodec.mic\n");
    f.station->Form_Load();
    QCOMPARE(f.device.output(), QString("usbcodec"));

    SoundSet *dialog = openDialog(f);
    QCOMPARE(dialog->Combo1()->currentText(), QString("usbcodec (not found)"));
    QCOMPARE(dialog->Combo2()->currentText(), QString("usbcodec.mic (not found)"));
    QCOMPARE(f.state().Audio.AudioOutput, QString("usbcodec"));

    // The operator may go elsewhere and come back to it while the dialog is open.
    choose(dialog->Combo1(), "Built-in Audio Analog Stereo");
    QCOMPARE(f.state().Audio.AudioOutput, QString("speakers"));
    choose(dialog->Combo1(), "usbcodec (not found)");
    QCOMPARE(f.state().Audio.AudioOutput, QString("usbcodec"));
    QCOMPARE(f.device.output(), QString("usbcodec"));
}

void TestSoundDialog::followsHotPlugging()
{
    StationFixture f;
    f.state().Audio.AudioOutput = "rig";
    SoundSet *dialog = openDialog(f);
    QCOMPARE(dialog->Combo1()->currentText(), QString("USB Audio CODEC Analog Stereo"));

    // The rig's codec is unplugged: it stays the choice, marked.
    const QList<SoundEndpoint> speakersOnly{{"speakers", "Built-in Audio Analog Stereo"}};
    f.server.setDevices(speakersOnly, {{"mic", "Built-in Audio Analog Stereo"}});
    QCOMPARE(captions(dialog->Combo1()),
             (QStringList{"Default output (Built-in Audio Analog Stereo, speakers)",
                          "Built-in Audio Analog Stereo", "rig (not found)"}));
    QCOMPARE(dialog->Combo1()->currentText(), QString("rig (not found)"));
    QCOMPARE(f.state().Audio.AudioOutput, QString("rig"));
    QCOMPARE(captions(dialog->Combo2()).size(), 2);

    // Plugged in again, under its description.
    f.server.setDevices(speakersOnly + QList<SoundEndpoint>{{"rig", "USB Audio CODEC"}}, {});
    QCOMPARE(dialog->Combo1()->currentText(), QString("USB Audio CODEC"));
    QCOMPARE(dialog->Combo1()->count(), 3);
    QCOMPARE(f.state().Audio.AudioOutput, QString("rig"));
}

void TestSoundDialog::levelAppliesAtOnce()
{
    StationFixture f(false);
    TestFiles::put(f.programDir() + "/vocta.ini", "[Audio]\nLevel=60\n");
    f.station->Form_Load();
    QCOMPARE(f.device.level(), 60);
    SoundSet *dialog = openDialog(f);
    QCOMPARE(dialog->HScroll1()->value(), 60);
    QCOMPARE(dialog->Label1()->text(), QString("60 %"));

    // While a message plays: the level changes, the message goes on.
    f.clickMemory(0);
    f.device.clearLog();
    dialog->HScroll1()->setValue(35);
    QCOMPARE(f.state().Audio.AudioLevel, 35);
    QCOMPARE(f.device.level(), 35);
    QCOMPARE(dialog->Label1()->text(), QString("35 %"));
    QVERIFY(f.device.log.isEmpty());
    QCOMPARE(f.device.mode(), SoundPlayer::Mode::Playing);
}

void TestSoundDialog::levelZeroIsWarned()
{
    StationFixture f;
    SoundSet *dialog = openDialog(f);
    dialog->HScroll1()->setValue(0);
    QCOMPARE(f.device.level(), 0);
    QCOMPARE(dialog->Label2()->text(),
             QString("The level is 0 %: a message keys the transmitter and sends silence."));
    dialog->HScroll1()->setValue(1);
    QCOMPARE(dialog->Label2()->text(), QString());
}

void TestSoundDialog::monitorAndMicrophoneAreStored()
{
    StationFixture f;
    f.state().Audio.AudioOutput = "rig";
    SoundSet *dialog = openDialog(f);
    QSignalSpy monitor(&f.station->soundSet(), &SoundSetHandler::monitorChanged);
    choose(dialog->Combo3(), "Built-in Audio Analog Stereo");
    QCOMPARE(f.state().Audio.AudioMonitor, QString("speakers"));
    QVERIFY(dialog->HScroll2()->isEnabled());
    dialog->HScroll2()->setValue(30);
    QCOMPARE(f.state().Audio.MonitorLevel, 30);
    QCOMPARE(dialog->Label3()->text(), QString("30 %"));
    QCOMPARE(monitor.count(), 2);
    choose(dialog->Combo4(), "Built-in Audio Analog Stereo");
    QCOMPARE(f.state().Audio.MuteSource, QString("mic"));

    f.station->settings().WriteMem();
    QVERIFY(TestFiles::contents(f.state().Places.IniFile)
                .endsWith("[Audio]\nOutput=rig\nInput=\nLevel=100\nMonitor=speakers\n"
                          "MonitorLevel=30\nMuteSource=mic\n"));
}

void TestSoundDialog::monitorNeverTheTransmittersOutput()
{
    StationFixture f;
    SoundSet *dialog = openDialog(f);
    // The transmitter is on the default output, "speakers".
    choose(dialog->Combo3(), "Built-in Audio Analog Stereo");
    QCOMPARE(f.state().Audio.AudioMonitor, QString());
    QCOMPARE(dialog->Combo3()->currentText(), QString("None"));
    QCOMPARE(dialog->Label2()->text(), QString("The monitor cannot be the transmitter's output."));

    choose(dialog->Combo3(), "USB Audio CODEC Analog Stereo");
    QCOMPARE(f.state().Audio.AudioMonitor, QString("rig"));
    QCOMPARE(dialog->Label2()->text(), QString());
    // The transmitter moves to the monitor's output: the monitor is off.
    choose(dialog->Combo1(), "USB Audio CODEC Analog Stereo");
    QCOMPARE(f.state().Audio.AudioOutput, QString("rig"));
    QCOMPARE(f.state().Audio.AudioMonitor, QString());
    QCOMPARE(dialog->Combo3()->currentText(), QString("None"));
    QCOMPARE(dialog->Label2()->text(), QString("The monitor was that output: it is off now."));
}

void TestSoundDialog::okHidesAndTheCloseBoxUnloads()
{
    StationFixture f;
    SoundSet *dialog = openDialog(f);
    f.leftClick(dialog->Command1());
    QVERIFY(!dialog->isVisible());
    QCOMPARE(f.station->soundSet().form(), dialog);
    f.window().menuItem("Sound")->trigger();
    QVERIFY(dialog->isVisible());
    dialog->close();
    QVERIFY(!f.station->soundSet().form());
}

void TestSoundDialog::loudnessChosenTypedOrRefused()
{
    QTemporaryDir cache;
    LoudnessBook book(cache.filePath("loudness"));
    StationFixture f;
    f.station->setLoudness(&book);
    SoundSet *dialog = openDialog(f);
    QCOMPARE(captions(dialog->Combo5()),
             (QStringList{"Off", "-16 LUFS", "-18 LUFS", "-20 LUFS", "-23 LUFS"}));
    // Each memory as measured in the background.
    QTRY_VERIFY(dialog->Label4()->text().count("LUFS") == 6);
    QSignalSpy changed(f.station.get(), &VoiceVocta::loudnessChanged);
    choose(dialog->Combo5(), "-20 LUFS");
    QCOMPARE(f.state().Audio.AudioLoudness, -20.0);
    QCOMPARE(book.target(), -20.0);
    QVERIFY(dialog->Label4()->text().contains(" dB"));

    // Typed: taken within its range, refused outside it (the choice stays as it was).
    const auto type = [](QComboBox *combo, const QString &text) {
        combo->setEditText(text);
        emit combo->lineEdit()->editingFinished();
    };
    type(dialog->Combo5(), "-50");
    QCOMPARE(f.state().Audio.AudioLoudness, -20.0);
    QCOMPARE(dialog->Label2()->text(),
             QString("The target must be from -40 to -5 LUFS: \"-50\" is refused."));
    type(dialog->Combo6(), "0.5");
    QCOMPARE(f.state().Audio.AudioTruePeak, -1.0);
    QVERIFY(dialog->Label2()->text().startsWith("The ceiling must be from -40 to 0 dBTP"));
    type(dialog->Combo6(), "-2.5 dBTP");
    QCOMPARE(book.ceiling(), -2.5);
    QCOMPARE(dialog->Label2()->text(), QString());
    QCOMPARE(changed.count(), 2);

    f.leftClick(dialog->Command1());
    QVERIFY(
        TestFiles::contents(f.state().Places.IniFile).endsWith("[Audio]\nLoudness=-20\nTruePeak=-2.5\n"));
}

QTEST_MAIN(TestSoundDialog)
#include "tst_sounddialog.moc"
