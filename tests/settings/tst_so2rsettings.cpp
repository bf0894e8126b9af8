// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/Settings.h"
#include "settings/So2rSettings.h"
#include "tests/support/StderrCapture.h"

#include <QTemporaryDir>
#include <QTest>

// The "SO2R" section: hand-edited values, only what the operator chose written, and the whole
// settings file carrying it.
class TestSo2rSettings : public QObject
{
    Q_OBJECT

private slots:
    void readAndWritten();
};

void TestSo2rSettings::readAndWritten()
{
    // Bad values read as their defaults, said, and stay in the file as they were written.
    const QByteArray edited("[SO2R]\nInterlock= sometimes\nOtrsp= /dev/ttyUSB1 \nAlternate=yes\n");
    ProfileText file(edited);
    AppState state;
    StderrCapture capture;
    So2rSettings::read(file, state);
    QCOMPARE(capture.text().count("voicevocta: [SO2R] "), 2);
    QCOMPARE(state.So2r, (So2rChoice{"/dev/ttyUSB1", InterlockRule::Refuse, false}));
    So2rSettings::write(file, state);
    QCOMPARE(file.bytes(), edited);
    So2rSettings::read(ProfileText("[SO2R]\nInterlock=WAIT\nAlternate= 1 \n"), state);
    QCOMPARE(state.So2r, (So2rChoice{"", InterlockRule::Wait, true}));
    So2rSettings::write(file, state);
    QCOMPARE(file.bytes(), QByteArray("[SO2R]\nInterlock= wait\nOtrsp= \nAlternate=1\n"));

    // Only what the operator chose is written; a device name with a line break is refused.
    ProfileText fresh("[COM]\nNum=1\n");
    QVERIFY(So2rSettings::write(fresh, AppState()).isEmpty());
    QCOMPARE(fresh.bytes(), QByteArray("[COM]\nNum=1\n"));
    state.So2r = {"/dev/tty\nUSB1", InterlockRule::Refuse, true};
    QCOMPARE(So2rSettings::write(fresh, state), QList<QByteArray>{"SO2R/Otrsp"});
    QCOMPARE(fresh.bytes(), QByteArray("[COM]\nNum=1\n\n[SO2R]\nAlternate=1\n"));

    // Saved and loaded with the rest of the settings.
    QTemporaryDir folder;
    state.Places.IniFile = folder.filePath("vocta.ini");
    state.So2r.Otrsp = "/dev/serial/by-id/usb-SO2R";
    Settings(state).WriteMem();
    AppState loaded = state;
    loaded.So2r = {};
    Settings(loaded).ReadMem();
    QCOMPARE(loaded.So2r, state.So2r);
}

QTEST_GUILESS_MAIN(TestSo2rSettings)
#include "tst_so2rsettings.moc"
