// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/StationFixture.h"
#include "tests/support/TestFiles.h"

#include "tests/support/StderrCapture.h"

#include "settings/ProfileText.h"
#include "settings/PttSettings.h"

#include "ui/PttSet.h"
#include "ui/SoundSet.h"

#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

using namespace TestFiles;

// The "PTT" section of the settings file: how it is read and what it refuses, that it stays out
// of the file while everything keys as it always did, and that it goes out and comes back whole.
class TestPttSettings : public QObject
{
    Q_OBJECT

private slots:
    void reading_data();
    void reading();
    void writtenOnlyWhenItDiffers();
    void handEditedValuesAreSaidAndKept();
    void dialogsSaveAtTheirOk();
};

namespace {
// The values read, in one line: method, serial device, rig model, port, speed, CM108 device,
// GPIO, lead, tail, time-out.
QString summary(const AppState &s)
{
    const char *methods[] = {"Serial", "CAT", "CM108", "None"};
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9|%10")
        .arg(QLatin1String(methods[int(s.Ptt.PttMethod)]), s.Ptt.SerialDevice)
        .arg(s.Ptt.RigModel)
        .arg(s.Ptt.RigPort)
        .arg(s.Ptt.RigSpeed)
        .arg(s.Ptt.Cm108Device)
        .arg(s.Ptt.Cm108Gpio)
        .arg(s.Ptt.LeadMs)
        .arg(s.Ptt.TailMs)
        .arg(s.Ptt.TimeoutS);
}
} // namespace

void TestPttSettings::reading_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("read");
    QTest::addColumn<int>("refused"); // values not taken
    const QString defaults = "Serial||2|localhost:4532|0||3|0|0|0";
    QTest::newRow("missing") << QByteArray("[COM]\nNum=1\n") << defaults << 0;
    QTest::newRow("all set") << QByteArray("[PTT]\nMethod=CAT\nSerialDevice=/dev/serial/by-id/usb-"
                                           "FTDI-if00\nRigModel=3073\nRigPort=/dev/ttyUSB1\n"
                                           "RigSpeed=38400\nCm108Device=/dev/hidraw2\n"
                                           "Cm108Gpio=4\nLeadMs=150\nTailMs=300\nTimeoutS=180\n")
                             << "CAT|/dev/serial/by-id/usb-FTDI-if00|3073|/dev/ttyUSB1|38400|"
                                "/dev/hidraw2|4|150|300|180"
                             << 0;
    QTest::newRow("names in any case, blanks around")
        << QByteArray("[ptt]\nmethod= cm108 \nleadms= 20 ") << "CM108||2|localhost:4532|0||3|20|0|0"
        << 0;
    QTest::newRow("method None") << QByteArray("[PTT]\nMethod=None")
                                 << "None||2|localhost:4532|0||3|0|0|0" << 0;
    QTest::newRow("unknown method") << QByteArray("[PTT]\nMethod=VOX") << defaults << 1;
    QTest::newRow("above the ranges")
        << QByteArray("[PTT]\nRigModel=123456\nRigSpeed=9999999\nCm108Gpio=9\nLeadMs=2001\n"
                      "TailMs=1e300\nTimeoutS=86400")
        << defaults << 6;
    QTest::newRow("below the ranges")
        << QByteArray("[PTT]\nRigModel=-5\nRigSpeed=-1\nCm108Gpio=0\nLeadMs=-5\nTailMs=-1e300\n"
                      "TimeoutS=-30")
        << defaults << 6;
    QTest::newRow("not numbers; a fraction rounded")
        << QByteArray("[PTT]\nLeadMs=250ms\nTailMs=99.5\nTimeoutS=abc\nRigSpeed=")
        << "Serial||2|localhost:4532|0||3|0|100|0" << 3;
    QTest::newRow("empty port") << QByteArray("[PTT]\nRigPort=") << "Serial||2||0||3|0|0|0" << 0;
}

void TestPttSettings::reading()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, read);
    QFETCH(int, refused);
    AppState state;
    const QStringList said = PttSettings::read(ProfileText(file), state);
    QCOMPARE(summary(state), read);
    QCOMPARE(said.size(), refused);
}

void TestPttSettings::writtenOnlyWhenItDiffers()
{
    // A first start leaves the file it always left: the worked example's 31 keys.
    StationFixture f;
    f.station->Exit_Click();
    QByteArray file = contents(f.state().Places.IniFile);
    QVERIFY(file.endsWith("[Fonts_2]\nFontname=Helvetica\nFontsize=8\nFontbold=0\nFontitalic=0\n"));
    QVERIFY(!file.contains("PTT"));
    QCOMPARE(file.count('='), 31);

    // One value that differs brings the whole section, read back whole at the next start.
    StationFixture next(false);
    put(next.programDir() + "/vocta.ini", file);
    next.station->Form_Load();
    AppState &chosen = next.state();
    chosen.Ptt.PttMethod = KeyingMethod::Cm108;
    chosen.Ptt.SerialDevice = "/dev/serial/by-id/usb-Prolific-port0";
    chosen.Ptt.RigModel = 1;
    chosen.Ptt.RigPort = "rig.local:4532";
    chosen.Ptt.RigSpeed = 9600;
    chosen.Ptt.Cm108Device = "/dev/hidraw0";
    chosen.Ptt.Cm108Gpio = 2;
    chosen.Ptt.LeadMs = 2000;
    chosen.Ptt.TailMs = 1;
    chosen.Ptt.TimeoutS = 3600;
    next.station->settings().WriteMem();
    file = contents(next.state().Places.IniFile);
    QVERIFY(file.endsWith("Fontitalic=0\n\n[PTT]\nMethod=CM108\n"
                          "SerialDevice=/dev/serial/by-id/usb-Prolific-port0\nRigModel=1\n"
                          "RigPort=rig.local:4532\nRigSpeed=9600\nCm108Device=/dev/hidraw0\n"
                          "Cm108Gpio=2\nLeadMs=2000\nTailMs=1\nTimeoutS=3600\n"));

    StationFixture third(false);
    put(third.programDir() + "/vocta.ini", file);
    third.station->Form_Load();
    QCOMPARE(summary(third.state()), summary(chosen));

    // Back at the defaults, the section there is kept up to date.
    third.state().Ptt.PttMethod = KeyingMethod::Serial;
    third.state().Ptt.SerialDevice.clear();
    third.state().Ptt.RigModel = 2;
    third.state().Ptt.RigPort = "localhost:4532";
    third.state().Ptt.RigSpeed = 0;
    third.state().Ptt.Cm108Device.clear();
    third.state().Ptt.Cm108Gpio = 3;
    third.state().Ptt.LeadMs = 0;
    third.state().Ptt.TailMs = 0;
    third.state().Ptt.TimeoutS = 0;
    third.station->settings().WriteMem();
    QVERIFY(contents(third.state().Places.IniFile)
                .endsWith("[PTT]\nMethod=Serial\nSerialDevice=\nRigModel=2\n"
                          "RigPort=localhost:4532\nRigSpeed=0\nCm108Device=\nCm108Gpio=3\n"
                          "LeadMs=0\nTailMs=0\nTimeoutS=0\n"));
}

// Values the newer sections do not accept are said, one line each, and the default takes their
// place; what the operator did not change is saved back to the byte as it was read.
void TestPttSettings::handEditedValuesAreSaidAndKept()
{
    StationFixture f(false);
    const QByteArray audio("[Audio]\nOutput=K\xFC"
                           "che\nLevel=abc\n");
    const QByteArray ptt("[PTT]\nMethod=Bogus\nRigModel=-5\nRigPort=rig.local:4532\0old\n", 58);
    put(f.programDir() + "/vocta.ini", audio + ptt);
    StderrCapture capture;
    f.station->Form_Load();
    const QStringList said = QString::fromUtf8(capture.text()).split('\n');
    QCOMPARE(said.filter("is not").size(), 3);
    QVERIFY(said.filter("Level=\"abc\"").size() == 1 && said.filter("Method=\"Bogus\"").size() == 1
            && said.filter("RigModel=\"-5\"").size() == 1);
    QCOMPARE(f.state().Audio.AudioLevel, 100);
    QCOMPARE(f.state().Ptt.PttMethod, KeyingMethod::Serial);
    QCOMPARE(f.state().Ptt.RigModel, 2);
    QCOMPARE(f.state().Ptt.RigPort, QString("rig.local:4532"));

    f.state().Ptt.LeadMs = 100;
    f.station->settings().WriteMem();
    const QByteArray saved = contents(f.state().Places.IniFile);
    QVERIFY(saved.contains("[Audio]\nOutput=K\xFC"
                           "che\n"));
    QVERIFY(saved.contains("\nLevel=abc\n"));
    QVERIFY(saved.contains(ptt.chopped(1)));
    QVERIFY(saved.contains("\nLeadMs=100\n"));
}

// The PTT and Sound dialogs' OK saves at once: what they applied survives a crash.
void TestPttSettings::dialogsSaveAtTheirOk()
{
    StationFixture f;
    f.window().menuItem("Ptt")->trigger();
    PttSet *ptt = f.station->pttSet().form();
    QVERIFY(ptt);
    ptt->LeadSpin()->setValue(250);
    ptt->OkButton()->click();
    QVERIFY(contents(f.state().Places.IniFile).contains("\nLeadMs=250\n"));

    f.window().menuItem("Sound")->trigger();
    SoundSet *sound = f.station->soundSet().form();
    QVERIFY(sound);
    sound->HScroll1()->setValue(35);
    f.leftClick(sound->Command1());
    QVERIFY(contents(f.state().Places.IniFile).contains("\nLevel=35\n"));
}

QTEST_MAIN(TestPttSettings)
#include "tst_pttsettings.moc"
