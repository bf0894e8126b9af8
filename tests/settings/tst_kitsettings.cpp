// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/KitSettings.h"
#include "settings/ProfileText.h"
#include "settings/SettingsPlace.h"
#include "station/AppState.h"
#include "tests/support/StderrCapture.h"

#include <QTest>

// The "Kit" section of the settings file: what is read, what a hand-edited value gives, and that
// only what the operator chose is written.
class TestKitSettings : public QObject
{
    Q_OBJECT

private slots:
    void reading_data();
    void reading();
    void writtenOnlyWhereChosen();
    void defaultFolder();
};

void TestKitSettings::reading_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("letterGap");
    QTest::addColumn<int>("wordGap");
    QTest::addColumn<int>("complaints"); // lines on standard error
    QTest::newRow("missing") << QByteArray("[COM]\nNum=1\n") << "" << 60 << 150 << 0;
    QTest::newRow("chosen") << QByteArray("[kit]\nFOLDER= /op/kit \nLetterGapMs=0\nWordGapMs=2000")
                            << "/op/kit" << 0 << 2000 << 0;
    QTest::newRow("not numbers") << QByteArray("[Kit]\nLetterGapMs=abc\nWordGapMs=12.5") << "" << 60
                                 << 150 << 2;
    QTest::newRow("out of range") << QByteArray("[Kit]\nLetterGapMs=-5\nWordGapMs=2001") << "" << 60
                                  << 150 << 2;
}

void TestKitSettings::reading()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, folder);
    QFETCH(int, letterGap);
    QFETCH(int, wordGap);
    QFETCH(int, complaints);
    AppState state;
    StderrCapture capture;
    KitSettings::read(ProfileText(file), state);
    const QByteArray said = capture.text();
    QCOMPARE(state.KitFolder, folder);
    QCOMPARE(state.KitLetterGapMs, letterGap);
    QCOMPARE(state.KitWordGapMs, wordGap);
    QCOMPARE(said.count("voicevocta: [Kit] "), complaints);
    QCOMPARE(said.count('\n'), complaints);
}

void TestKitSettings::writtenOnlyWhereChosen()
{
    AppState state;
    ProfileText fresh("[COM]\nNum=1\n");
    KitSettings::write(fresh, state);
    QCOMPARE(fresh.bytes(), QByteArray("[COM]\nNum=1\n"));
    state.KitWordGapMs = 200;
    KitSettings::write(fresh, state);
    QCOMPARE(fresh.bytes(), QByteArray("[COM]\nNum=1\n\n[Kit]\nWordGapMs=200\n"));

    // What the operator did not change stays as it was written, a bad value included.
    const QByteArray edited("[Kit]\nLetterGapMs= abc\nFolder= /op/kit \nWordGapMs=150\n");
    ProfileText file(edited);
    AppState read;
    {
        StderrCapture quiet;
        KitSettings::read(file, read);
    }
    KitSettings::write(file, read);
    QCOMPARE(file.bytes(), edited);
    read.KitLetterGapMs = 80;
    read.KitWordGapMs = 60;
    KitSettings::write(file, read);
    QCOMPARE(file.bytes(), QByteArray("[Kit]\nLetterGapMs= 80\nFolder= /op/kit \nWordGapMs=60\n"));
}

void TestKitSettings::defaultFolder()
{
    QProcessEnvironment env;
    env.insert("HOME", "/home/op");
    QCOMPARE(SettingsPlace::choose("/opt/vv", true, env).kitDir, QString("/opt/vv/kit/"));
    QCOMPARE(SettingsPlace::choose("/opt/vv", false, env).kitDir,
             QString("/home/op/.local/share/voicevocta/kit/"));
    env.insert("XDG_DATA_HOME", "/data");
    QCOMPARE(SettingsPlace::choose("/opt/vv", false, env).kitDir, QString("/data/voicevocta/kit/"));
}

QTEST_MAIN(TestKitSettings)
#include "tst_kitsettings.moc"
