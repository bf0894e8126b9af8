// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/KitSettings.h"
#include "settings/ProfileText.h"
#include "settings/SettingsPlace.h"
#include "station/AppState.h"
#include "tests/support/StderrCapture.h"

#include <QTest>

// The "Kit" section: hand-edited values, and that only what the operator chose is written.
class TestKitSettings : public QObject
{
    Q_OBJECT

private slots:
    void readAndWritten();
};

void TestKitSettings::readAndWritten()
{
    // Bad gaps read as their defaults, and stay in the file as they were written.
    const QByteArray edited("[Kit]\nLetterGapMs= abc\nFolder= /op/kit \nWordGapMs=2001\n");
    ProfileText file(edited);
    AppState state;
    StderrCapture capture;
    KitSettings::read(file, state);
    const QByteArray said = capture.text();
    QVERIFY2(said.count("voicevocta: [Kit] ") == 2 && said.count('\n') == 2, said.constData());
    QCOMPARE(state.Kit.KitFolder, QString("/op/kit"));
    QCOMPARE(state.Kit.KitLetterGapMs, 60);
    QCOMPARE(state.Kit.KitWordGapMs, 150);
    KitSettings::write(file, state);
    QCOMPARE(file.bytes(), edited);
    state.Kit.KitLetterGapMs = 80;
    KitSettings::write(file, state);
    QCOMPARE(file.bytes(),
             QByteArray("[Kit]\nLetterGapMs= 80\nFolder= /op/kit \nWordGapMs=2001\n"));

    // Only what the operator chose is written.
    ProfileText fresh("[COM]\nNum=1\n");
    KitSettings::write(fresh, AppState());
    QCOMPARE(fresh.bytes(), QByteArray("[COM]\nNum=1\n"));
    state.Kit.KitFolder.clear();
    state.Kit.KitWordGapMs = 200;
    KitSettings::write(fresh, state);
    QCOMPARE(fresh.bytes(), QByteArray("[COM]\nNum=1\n\n[Kit]\nLetterGapMs=80\nWordGapMs=200\n"));
    // Without a folder of its own, the kit is beside a portable program or in the data folder.
    QProcessEnvironment env;
    env.insert("XDG_DATA_HOME", "/data");
    QCOMPARE(SettingsPlace::choose("/opt/vv", true, env).kitDir, QString("/opt/vv/kit/"));
    QCOMPARE(SettingsPlace::choose("/opt/vv", false, env).kitDir, QString("/data/voicevocta/kit/"));
}

QTEST_MAIN(TestKitSettings)
#include "tst_kitsettings.moc"
