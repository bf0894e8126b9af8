// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/StationFixture.h"
#include "tests/support/TestFiles.h"

#include "settings/AudioSettings.h"
#include "settings/ProfileText.h"

#include <QTest>

using namespace TestFiles;

// The "Audio" section of the settings file: how it is read, that it stays out of the file until
// the operator chooses something, and that the station hands it to the sound device.
class TestAudioSettings : public QObject
{
    Q_OBJECT

private slots:
    void reading_data();
    void reading();
    void writtenOnlyOnceChosen();
    void monitorAndMicrophoneEachOnItsOwn();
    void loudnessTargetAndCeiling_data();
    void loudnessTargetAndCeiling();
};

void TestAudioSettings::reading_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("level");
    QTest::newRow("missing") << QByteArray("[COM]\nNum=1\n") << ""
                             << "" << 100;
    QTest::newRow("chosen") << QByteArray("[audio]\nOUTPUT= rig \nInput=rig.monitor\nLevel=80")
                            << "rig"
                            << "rig.monitor" << 80;
    QTest::newRow("UTF-8 name") << QByteArray("[Audio]\nOutput=K\xC3\xBC"
                                              "che")
                                << "K\u00fcche"
                                << "" << 100;
    QTest::newRow("level rounded") << QByteArray("[Audio]\nLevel= 42.5 ") << ""
                                   << "" << 42;
    // A level it does not take gives the default.
    QTest::newRow("level too high") << QByteArray("[Audio]\nLevel=150") << ""
                                    << "" << 100;
    QTest::newRow("level negative") << QByteArray("[Audio]\nLevel=-5") << ""
                                    << "" << 100;
    QTest::newRow("level huge") << QByteArray("[Audio]\nLevel=1e300") << ""
                                << "" << 100;
    QTest::newRow("level text") << QByteArray("[Audio]\nLevel=loud") << ""
                                << "" << 100;
    QTest::newRow("level leading digits") << QByteArray("[Audio]\nLevel=70%") << ""
                                          << "" << 100;
}

void TestAudioSettings::reading()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, output);
    QFETCH(QString, input);
    QFETCH(int, level);
    AppState state;
    const QStringList said = AudioSettings::read(ProfileText(file), state);
    QCOMPARE(state.Audio.AudioOutput, output);
    QCOMPARE(state.Audio.AudioInput, input);
    QCOMPARE(state.Audio.AudioLevel, level);
    // One line for a level not taken.
    QCOMPARE(said.size(), int(file.contains("Level=") && level == 100));
}

void TestAudioSettings::writtenOnlyOnceChosen()
{
    // A first start leaves the file it always left.
    StationFixture f;
    f.station->Exit_Click();
    QByteArray file = contents(f.state().Places.IniFile);
    QVERIFY(file.endsWith("[Fonts_2]\nFontname=Helvetica\nFontsize=8\nFontbold=0\nFontitalic=0\n"));
    QVERIFY(!file.contains("Audio"));
    QCOMPARE(file.count('='), 31);

    // A chosen level brings the whole section, read back at the next start and handed to the
    // sound device.
    StationFixture next(false);
    put(next.programDir() + "/vocta.ini", file);
    next.station->Form_Load();
    next.state().Audio.AudioLevel = 40;
    next.state().Audio.AudioInput = "rig.monitor";
    next.station->settings().WriteMem();
    file = contents(next.state().Places.IniFile);
    QVERIFY(file.endsWith("Fontitalic=0\n\n[Audio]\nOutput=\nInput=rig.monitor\nLevel=40\n"));
    // Put back as it was read and saved again, it is saved as put back.
    next.state().Audio.AudioLevel = 100;
    next.station->settings().WriteMem();
    QVERIFY(contents(next.state().Places.IniFile).endsWith("Input=rig.monitor\nLevel=100\n"));
    next.state().Audio.AudioLevel = 40;
    next.station->settings().WriteMem();

    StationFixture third(false);
    put(third.programDir() + "/vocta.ini", file);
    third.station->Form_Load();
    QCOMPARE(third.state().Audio.AudioInput, QString("rig.monitor"));
    QCOMPARE(third.device.level(), 40);
    QCOMPARE(third.device.output(), QString());

    // Back at the defaults, the section there is kept up to date.
    third.state().Audio.AudioLevel = 100;
    third.state().Audio.AudioInput.clear();
    third.station->settings().WriteMem();
    QVERIFY(contents(third.state().Places.IniFile).endsWith("[Audio]\nOutput=\nInput=\nLevel=100\n"));
}

void TestAudioSettings::monitorAndMicrophoneEachOnItsOwn()
{
    AppState state;
    const QStringList problems = AudioSettings::read(
        ProfileText("[Audio]\nMonitor=speakers\nMonitorLevel=250\nMuteSource=mic"), state);
    QCOMPARE(problems,
             QStringList{
                 "[Audio] MonitorLevel=\"250\" is not a whole number from 0 to 100: 100 is used"});
    QCOMPARE(state.Audio.AudioMonitor, QString("speakers"));
    QCOMPARE(state.Audio.MonitorLevel, 100);
    QCOMPARE(state.Audio.MuteSource, QString("mic"));
    AudioSettings::read(ProfileText("[Audio]\nMonitorLevel=30"), state);
    QCOMPARE(state.Audio.AudioMonitor, QString());
    QCOMPARE(state.Audio.MonitorLevel, 30);
    QCOMPARE(state.Audio.MuteSource, QString());

    // A key that differs from its default goes in alone; once there, it is kept up to date.
    ProfileText file("[COM]\nNum=1\n");
    AppState chosen;
    chosen.Audio.MonitorLevel = 30;
    QVERIFY(AudioSettings::write(file, chosen, AppState()).isEmpty());
    QCOMPARE(file.bytes(), QByteArray("[COM]\nNum=1\n\n[Audio]\nMonitorLevel=30\n"));
    const AppState asRead = chosen;
    chosen.Audio.MonitorLevel = 100;
    chosen.Audio.MuteSource = "mic";
    AudioSettings::write(file, chosen, asRead);
    QCOMPARE(file.bytes(),
             QByteArray("[COM]\nNum=1\n\n[Audio]\nMonitorLevel=100\nMuteSource=mic\n"));
}

void TestAudioSettings::loudnessTargetAndCeiling_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<double>("target"); // NaN: off
    QTest::addColumn<double>("ceiling");
    QTest::addColumn<int>("lines"); // one for each value not taken
    QTest::newRow("empty: off") << QByteArray("[Audio]\nLoudness=\nTruePeak=-2") << double(NAN)
                                << -2.0 << 0;
    QTest::newRow("chosen") << QByteArray("[Audio]\nLoudness= -18.5 \nTruePeak=0") << -18.5 << 0.0
                            << 0;
    QTest::newRow("out of range") << QByteArray("[Audio]\nLoudness=-41\nTruePeak=0.5")
                                  << double(NAN) << -1.0 << 2;
    QTest::newRow("not numbers") << QByteArray("[Audio]\nLoudness=-3x\nTruePeak=nan") << double(NAN)
                                 << -1.0 << 2;
}

void TestAudioSettings::loudnessTargetAndCeiling()
{
    QFETCH(QByteArray, file);
    QFETCH(double, target);
    QFETCH(double, ceiling);
    QFETCH(int, lines);
    AppState state;
    QCOMPARE(AudioSettings::read(ProfileText(file), state).size(), lines);
    QCOMPARE(state.Audio.AudioLoudness, std::isnan(target) ? std::nullopt : std::optional(target));
    QCOMPARE(state.Audio.AudioTruePeak, ceiling);

    // Each written only once it differs from its default; once there, kept up to date.
    ProfileText written("[COM]\n");
    AppState chosen;
    AudioSettings::write(written, chosen, AppState());
    chosen.Audio.AudioLoudness = -20;
    AudioSettings::write(written, chosen, AppState());
    QCOMPARE(written.bytes(), QByteArray("[COM]\n\n[Audio]\nLoudness=-20\n"));
    const AppState saved = chosen;
    chosen.Audio.AudioLoudness.reset();
    chosen.Audio.AudioTruePeak = -2.5;
    AudioSettings::write(written, chosen, saved);
    QCOMPARE(written.bytes(), QByteArray("[COM]\n\n[Audio]\nLoudness=\nTruePeak=-2.5\n"));
}

QTEST_MAIN(TestAudioSettings)
#include "tst_audiosettings.moc"
