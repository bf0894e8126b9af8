// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/ProfileFile.h"
#include "settings/Settings.h"
#include "station/AppState.h"
#include "station/Dialogs.h"
#include "station/FileNames.h"
#include "ui/Fonts.h"

#include <QFile>
#include <QGroupBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "tests/support/FakeDialogs.h"
#include "tests/support/StderrCapture.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QScopeGuard>
#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>

using namespace TestFiles;

namespace {

// The station as far as the settings file sees it: the state, one button and one frame for the
// fonts.
struct Station
{
    explicit Station(const QString &dir)
    {
        state.Places.AppDir = dir;
        state.Places.WavDir = dir + "/Wav/";
        state.Places.IniFile = dir + "/vocta.ini";
        fonts = std::make_unique<Fonts>(state, QList<QWidget *>{&button}, QList<QWidget *>{&frame},
                                        dialogs);
        settings = std::make_unique<Settings>(state);
        settings->setShowRead([this] {
            fonts->SetFontsB();
            fonts->SetFontsL();
        });
    }

    AppState state;
    QPushButton button;
    QGroupBox frame;
    FakeDialogs dialogs;
    std::unique_ptr<Fonts> fonts;
    std::unique_ptr<Settings> settings;
};

// The file of a first start with the program in /opt/vv, written by WriteMem.
QByteArray firstStartFile()
{
    QByteArray file = "[COM]\nNum=1\nRts=0\nRtsPos=1\nDtr=0\nDtrPos=1\n";
    for (int n = 1; n <= 6; ++n) {
        const QByteArray number = QByteArray::number(n);
        file += "\n[MEMORY_" + number + "]\nFileName=/opt/vv/Wav/" + number
                + ".wav\nRepeat=0\nDelay=4500\n";
    }
    file += "\n[Fonts_1]\nFontname=Helvetica\nFontsize=12\nFontbold=0\nFontitalic=0\n";
    file += "\n[Fonts_2]\nFontname=Helvetica\nFontsize=8\nFontbold=0\nFontitalic=0\n";
    return file;
}

// A hand-kept file with all the station's keys among others, in another layout.
const QByteArray HandKeptFile = "; Voice keyer settings\r\n"
                                "[Station]\r\n"
                                "Call=DL0XYZ\r\n"
                                "\r\n"
                                "[com]\r\n"
                                "  NUM = 3\r\n"
                                "DtrPos=1\r\n"
                                "Dtr=1\r\n"
                                "RtsPos=0\r\n"
                                "Rts=0\r\n"
                                "Baud=9600\r\n"
                                "[MEMORY_1]\r\n"
                                "FileName=/srv/cq.wav\r\n"
                                "Repeat=1\r\n"
                                "Delay=1500\r\n"
                                "[MEMORY_2]\r\n"
                                "filename=/srv/qrz.wav\r\n"
                                "repeat=0\r\n"
                                "delay=0\r\n"
                                "[MEMORY_3]\r\nFileName=/srv/3.wav\r\nRepeat=0\r\nDelay=4500\r\n"
                                "[MEMORY_4]\r\nFileName=/srv/4.wav\r\nRepeat=0\r\nDelay=4500\r\n"
                                "[MEMORY_5]\r\nFileName=/srv/5.wav\r\nRepeat=0\r\nDelay=4500\r\n"
                                "[MEMORY_6]\r\nFileName=/srv/6.wav\r\nRepeat=1\r\nDelay=10000\r\n"
                                "[Fonts_1]\r\nFontname=DejaVu Sans\r\nFontsize=14\r\n"
                                "Fontbold=1\r\nFontitalic=0\r\n"
                                "[Fonts_2]\r\nFontname=Courier\r\nFontsize=9\r\n"
                                "Fontbold=0\r\nFontitalic=1\r\n"
                                "; end";

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void firstStartUsesDefaultsAndCreatesNoFile();
    void firstStartWritesTheFullFile();
    void readingValues_data();
    void readingValues();
    void delayKeptAsReadAndWrittenRounded();
    void readThenWriteChangesNothingElse();
    void changedValueChangesOnlyItsLine();
    void stateSurvivesSaveAndLoad();
    void oneStepSaveEqualsKeyByKeyWrites();
    void valuesOutOfRange();
    void fileNamesBeyondLatin1();
    void fileNameWithLineBreakKeepsTheOldValue();
    void namesWrittenBackByteForByte();
    void byteOrderMarkKept();
    void utf16FileLeftAlone();
    void startRemovesLeftoversOfSaves();
    void fullDiskKeepsTheOldFile();
    void unsavedSettingsAreReported_data();
    void unsavedSettingsAreReported();
};

void TestSettings::firstStartUsesDefaultsAndCreatesNoFile()
{
    QTemporaryDir dir;
    Station station(dir.path());
    station.state.Memories.MemRepeat[2] = true;
    station.settings->ReadMem();

    const AppState &s = station.state;
    QCOMPARE(s.Ptt.ComNum, qint16(1));
    QCOMPARE(s.Ptt.DtrOn, false);
    QCOMPARE(s.Ptt.DtrPos, true);
    QCOMPARE(s.Ptt.RtsOn, false);
    QCOMPARE(s.Ptt.RtsPos, true);
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(s.Memories.MemFile[i], dir.path() + "/Wav/" + QString::number(i + 1) + ".wav");
        QCOMPARE(station.state.Memories.MemRepeat[i], false);
        QCOMPARE(s.Memories.MemDelay[i], 4500.0);
    }
    QCOMPARE(s.Fonts.FntName[1], QStringLiteral("Helvetica"));
    QCOMPARE(s.Fonts.FntName[2], QStringLiteral("Helvetica"));
    QCOMPARE(s.Fonts.FntSize[1], qint16(12));
    QCOMPARE(s.Fonts.FntSize[2], qint16(8));
    QVERIFY(!s.Fonts.FntBold[1] && !s.Fonts.FntBold[2] && !s.Fonts.FntItalic[1] && !s.Fonts.FntItalic[2]);
    // The fonts were applied: buttons then labels.
    QCOMPARE(station.button.font().pointSize(), 12);
    QCOMPARE(station.frame.font().pointSize(), 8);
    QVERIFY(!QFile::exists(s.Places.IniFile));
}

void TestSettings::firstStartWritesTheFullFile()
{
    QTemporaryDir dir;
    Station station(dir.path());
    station.state.Places.WavDir = "/opt/vv/Wav/";
    station.settings->ReadMem();
    station.settings->WriteMem();
    QVERIFY(!station.settings->lastSaveFailed());
    QCOMPARE(contents(station.state.Places.IniFile), firstStartFile());
}

void TestSettings::readingValues_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("Num 3abc") << QByteArray("[COM]\nNum=3abc") << "ComNum" << QVariant(3);
    QTest::newRow("Num abc") << QByteArray("[COM]\nNum=abc") << "ComNum" << QVariant(0);
    QTest::newRow("Num 2.5 to even") << QByteArray("[COM]\nNum=2.5") << "ComNum" << QVariant(2);
    QTest::newRow("Num 3.5 to even") << QByteArray("[COM]\nNum=3.5") << "ComNum" << QVariant(4);
    QTest::newRow("Num hex") << QByteArray("[COM]\nNum=&H8") << "ComNum" << QVariant(8);
    QTest::newRow("Num empty") << QByteArray("[COM]\nNum=") << "ComNum" << QVariant(0);
    QTest::newRow("Num case of names") << QByteArray("[Com]\nnUm=5") << "ComNum" << QVariant(5);
    QTest::newRow("Dtr 1") << QByteArray("[COM]\nDtr=1") << "DtrOn" << QVariant(true);
    QTest::newRow("Dtr true") << QByteArray("[COM]\nDtr=true") << "DtrOn" << QVariant(true);
    QTest::newRow("Dtr empty") << QByteArray("[COM]\nDtr=") << "DtrOn" << QVariant(true);
    QTest::newRow("Dtr 0") << QByteArray("[COM]\nDtr=0") << "DtrOn" << QVariant(false);
    QTest::newRow("Dtr 0abc") << QByteArray("[COM]\nDtr=0abc") << "DtrOn" << QVariant(false);
    QTest::newRow("DtrPos 0") << QByteArray("[COM]\nDtrPos=0") << "DtrPos" << QVariant(false);
    QTest::newRow("Rts yes") << QByteArray("[COM]\nRts=yes") << "RtsOn" << QVariant(true);
    QTest::newRow("RtsPos 00") << QByteArray("[COM]\nRtsPos=00") << "RtsPos" << QVariant(false);
    QTest::newRow("Repeat empty") << QByteArray("[MEMORY_4]\nRepeat=") << "Repeat4"
                                  << QVariant(true);
    QTest::newRow("Repeat 0") << QByteArray("[MEMORY_4]\nRepeat=0") << "Repeat4" << QVariant(false);
    QTest::newRow("Repeat 00") << QByteArray("[MEMORY_4]\nRepeat=00") << "Repeat4"
                               << QVariant(false);
    QTest::newRow("Repeat no") << QByteArray("[MEMORY_4]\nRepeat=no") << "Repeat4"
                               << QVariant(true);
    QTest::newRow("Delay 1500.7") << QByteArray("[MEMORY_4]\nDelay=1500.7") << "Delay4"
                                  << QVariant(1500.7);
    QTest::newRow("Delay text") << QByteArray("[MEMORY_4]\nDelay=soon") << "Delay4"
                                << QVariant(0.0);
    QTest::newRow("Delay blanks") << QByteArray("[MEMORY_4]\nDelay= 2 000 ") << "Delay4"
                                  << QVariant(2000.0);
    QTest::newRow("FileName blanks")
        << QByteArray("[MEMORY_4]\nFileName=  /a b/c.wav  ") << "File4" << QVariant("/a b/c.wav");
    QTest::newRow("FileName quoted")
        << QByteArray("[MEMORY_4]\nFileName=\"/a b/c.wav\"") << "File4" << QVariant("/a b/c.wav");
    QTest::newRow("FileName Latin-1") << QByteArray("[MEMORY_4]\nFileName=/m\xFAsica/4.wav")
                                      << "File4" << QVariant(FileNames::decode("/m\xFAsica/4.wav"));
    QTest::newRow("FileName UTF-8")
        << QByteArray("[MEMORY_4]\nFileName=/m\xC3\xBAsica/4.wav") << "File4"
        << QVariant(QString::fromUtf8("/m\xC3\xBAsica/4.wav"));
    QTest::newRow("FileName long") << "[MEMORY_4]\nFileName=/" + QByteArray(300, 'a') << "File4"
                                   << QVariant("/" + QString(300, 'a'));
    QTest::newRow("byte-order mark")
        << QByteArray("\xEF\xBB\xBF[COM]\nNum=3") << "ComNum" << QVariant(3);
    QTest::newRow("Fontname blanks")
        << QByteArray("[Fonts_2]\nFontname= Courier ") << "Font2" << QVariant("Courier");
    QTest::newRow("Fontsize blanks")
        << QByteArray("[Fonts_2]\nFontsize= 10.5 ") << "Size2" << QVariant(10);
    QTest::newRow("Fontsize 11.5")
        << QByteArray("[Fonts_2]\nFontsize=11.5") << "Size2" << QVariant(12);
    QTest::newRow("Fontbold empty")
        << QByteArray("[Fonts_1]\nFontbold=") << "Bold1" << QVariant(true);
    QTest::newRow("Fontitalic 0") << QByteArray("[Fonts_1]\nFontitalic=0") << "Italic1"
                                  << QVariant(false);
    QTest::newRow("Fontitalic x") << QByteArray("[Fonts_1]\nFontitalic=x") << "Italic1"
                                  << QVariant(true);
}

void TestSettings::readingValues()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, field);
    QFETCH(QVariant, expected);

    QTemporaryDir dir;
    Station station(dir.path());
    put(station.state.Places.IniFile, file);
    station.settings->ReadMem();
    const AppState &s = station.state;
    const QHash<QString, QVariant> fields{
        {"ComNum", int(s.Ptt.ComNum)},     {"DtrOn", s.Ptt.DtrOn},
        {"DtrPos", s.Ptt.DtrPos},          {"RtsOn", s.Ptt.RtsOn},
        {"RtsPos", s.Ptt.RtsPos},          {"Repeat4", station.state.Memories.MemRepeat[3]},
        {"Delay4", s.Memories.MemDelay[3]},     {"File4", s.Memories.MemFile[3]},
        {"Font2", s.Fonts.FntName[2]},       {"Size2", int(s.Fonts.FntSize[2])},
        {"Bold1", bool(s.Fonts.FntBold[1])}, {"Italic1", bool(s.Fonts.FntItalic[1])},
    };
    QVERIFY(fields.contains(field));
    QCOMPARE(fields.value(field), expected);
    QCOMPARE(contents(station.state.Places.IniFile), file); // reading changes nothing
}

void TestSettings::delayKeptAsReadAndWrittenRounded()
{
    QTemporaryDir dir;
    Station station(dir.path());
    put(station.state.Places.IniFile, "[MEMORY_2]\nDelay=1500.7\n");
    station.settings->ReadMem();
    QCOMPARE(station.state.Memories.MemDelay[1], 1500.7);
    station.settings->WriteMem();
    QVERIFY(contents(station.state.Places.IniFile).startsWith("[MEMORY_2]\nDelay=1501\n"));

    station.state.Memories.MemDelay[1] = 1500.5;
    station.state.Memories.MemDelay[2] = 1501.5;
    station.settings->WriteMem();
    ProfileFile file(station.state.Places.IniFile);
    QCOMPARE(file.read("MEMORY_2", "Delay", ""), QByteArray("1501"));
    QCOMPARE(file.read("MEMORY_3", "Delay", ""), QByteArray("1502"));
}

void TestSettings::readThenWriteChangesNothingElse()
{
    QTemporaryDir dir;
    Station station(dir.path());
    put(station.state.Places.IniFile, HandKeptFile);
    station.settings->ReadMem();
    QCOMPARE(station.state.Ptt.ComNum, qint16(3));
    QCOMPARE(station.state.Memories.MemFile[1], QStringLiteral("/srv/qrz.wav"));
    QVERIFY(station.state.Memories.MemRepeat[0]);
    QCOMPARE(station.state.Fonts.FntName[1], QStringLiteral("DejaVu Sans"));
    station.settings->WriteMem();
    QVERIFY(!station.settings->lastSaveFailed());
    QCOMPARE(contents(station.state.Places.IniFile), HandKeptFile);
}

void TestSettings::changedValueChangesOnlyItsLine()
{
    QTemporaryDir dir;
    Station station(dir.path());
    put(station.state.Places.IniFile, HandKeptFile);
    station.settings->ReadMem();
    station.state.Ptt.ComNum = 5;
    station.state.Memories.MemRepeat[1] = true;
    station.state.Memories.MemDelay[5] = 2500;
    station.settings->WriteMem();

    QByteArray expected = HandKeptFile;
    expected.replace("  NUM = 3\r\n", "  NUM = 5\r\n");
    expected.replace("repeat=0\r\n", "repeat=1\r\n");
    expected.replace("Delay=10000\r\n", "Delay=2500\r\n");
    QCOMPARE(contents(station.state.Places.IniFile), expected);
}

void TestSettings::stateSurvivesSaveAndLoad()
{
    QTemporaryDir dir;
    Station first(dir.path());
    first.settings->ReadMem();
    AppState &s = first.state;
    s.Ptt.ComNum = 7;
    s.Ptt.DtrOn = true;
    s.Ptt.DtrPos = false;
    s.Ptt.RtsOn = true;
    s.Ptt.RtsPos = false;
    for (int i = 0; i < 6; ++i) {
        s.Memories.MemFile[i] = QStringLiteral("/sounds/memory %1.mid").arg(i + 1);
        s.Memories.MemDelay[i] = 1000 * i;
        first.state.Memories.MemRepeat[i] = i % 2;
    }
    s.Fonts.FntName = {QString(), "Liberation Sans", "Liberation Mono"};
    s.Fonts.FntSize = {0, 20, 6};
    s.Fonts.FntBold = {false, true, false};
    s.Fonts.FntItalic = {false, false, true};
    first.settings->WriteMem();

    Station second(dir.path());
    second.settings->ReadMem();
    const AppState &t = second.state;
    QCOMPARE(t.Ptt.ComNum, s.Ptt.ComNum);
    QCOMPARE(t.Ptt.DtrOn, s.Ptt.DtrOn);
    QCOMPARE(t.Ptt.DtrPos, s.Ptt.DtrPos);
    QCOMPARE(t.Ptt.RtsOn, s.Ptt.RtsOn);
    QCOMPARE(t.Ptt.RtsPos, s.Ptt.RtsPos);
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(t.Memories.MemFile[i], s.Memories.MemFile[i]);
        QCOMPARE(t.Memories.MemDelay[i], s.Memories.MemDelay[i]);
        QCOMPARE(second.state.Memories.MemRepeat[i], first.state.Memories.MemRepeat[i]);
    }
    for (int j = 1; j <= 2; ++j) {
        QCOMPARE(t.Fonts.FntName[j], s.Fonts.FntName[j]);
        QCOMPARE(t.Fonts.FntSize[j], s.Fonts.FntSize[j]);
        QCOMPARE(t.Fonts.FntBold[j], s.Fonts.FntBold[j]);
        QCOMPARE(t.Fonts.FntItalic[j], s.Fonts.FntItalic[j]);
    }
    QCOMPARE(second.button.font().pointSize(), 20);
    QVERIFY(second.button.font().bold());
    QVERIFY(second.frame.font().italic());
}

void TestSettings::oneStepSaveEqualsKeyByKeyWrites()
{
    // A file with some keys, in other places, and some missing: the one-step save must place
    // every key where 31 separate writes would.
    const QByteArray start = "[Fonts_2]\nFontsize=9\n\n[MEMORY_3]\nDelay=1\n; x\n[COM]\nDtr=1";
    QTemporaryDir dir;
    Station station(dir.path());
    put(station.state.Places.IniFile, start);
    station.settings->ReadMem();
    station.state.Memories.MemFile[4] = QStringLiteral("/x/y.wav");
    station.state.Memories.MemRepeat[5] = true;
    station.settings->WriteMem();

    const QString other = dir.filePath("other.ini");
    put(other, start);
    ProfileFile file(other);
    const AppState &s = station.state;
    const auto flag = [](bool value) {
        return value ? "1" : "0";
    };
    QVERIFY(file.write("COM", "Num", QByteArray::number(s.Ptt.ComNum)));
    QVERIFY(file.write("COM", "Rts", flag(s.Ptt.RtsOn)));
    QVERIFY(file.write("COM", "RtsPos", flag(s.Ptt.RtsPos)));
    QVERIFY(file.write("COM", "Dtr", flag(s.Ptt.DtrOn)));
    QVERIFY(file.write("COM", "DtrPos", flag(s.Ptt.DtrPos)));
    for (int i = 1; i <= 6; ++i) {
        const QByteArray section = "MEMORY_" + QByteArray::number(i);
        QVERIFY(file.write(section, "FileName", s.Memories.MemFile[i - 1].toUtf8()));
        QVERIFY(file.write(section, "Repeat", flag(station.state.Memories.MemRepeat[i - 1])));
        QVERIFY(file.write(section, "Delay", QByteArray::number(qRound(s.Memories.MemDelay[i - 1]))));
    }
    for (int j = 1; j <= 2; ++j) {
        const QByteArray section = "Fonts_" + QByteArray::number(j);
        QVERIFY(file.write(section, "Fontname", s.Fonts.FntName[j].toUtf8()));
        QVERIFY(file.write(section, "Fontsize", QByteArray::number(s.Fonts.FntSize[j])));
        QVERIFY(file.write(section, "Fontbold", flag(s.Fonts.FntBold[j])));
        QVERIFY(file.write(section, "Fontitalic", flag(s.Fonts.FntItalic[j])));
    }
    QCOMPARE(contents(station.state.Places.IniFile), contents(other));
}

void TestSettings::valuesOutOfRange()
{
    QTemporaryDir dir;
    Station station(dir.path());
    put(station.state.Places.IniFile,
        "[COM]\nNum=70000\n[Fonts_1]\nFontsize=-70000\n[MEMORY_1]\nDelay=1e400\n");
    station.settings->ReadMem();
    QCOMPARE(station.state.Ptt.ComNum, qint16(32767));
    QCOMPARE(station.state.Fonts.FntSize[1], qint16(-32768));
    QVERIFY(std::isfinite(station.state.Memories.MemDelay[0]));

    station.state.Ptt.ComNum = -3;
    station.settings->WriteMem();
    ProfileFile file(station.state.Places.IniFile);
    QCOMPARE(file.read("COM", "Num", ""), QByteArray("-3"));
    QCOMPARE(file.read("Fonts_1", "Fontsize", ""), QByteArray("-32768"));
}

void TestSettings::fileNamesBeyondLatin1()
{
    QTemporaryDir dir;
    Station first(dir.path());
    first.settings->ReadMem();
    const QString name
        = QString::fromUtf8("/home/\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD/cq \xE2\x82\xAC.wav");
    first.state.Memories.MemFile[0] = name;
    first.settings->WriteMem();
    QVERIFY(contents(first.state.Places.IniFile).contains("FileName=" + name.toUtf8() + "\n"));

    Station second(dir.path());
    second.settings->ReadMem();
    QCOMPARE(second.state.Memories.MemFile[0], name);
}

void TestSettings::fileNameWithLineBreakKeepsTheOldValue()
{
    QTemporaryDir dir;
    Station station(dir.path());
    station.settings->ReadMem();
    station.settings->WriteMem();
    station.state.Memories.MemFile[2] = QStringLiteral("/a\n[COM]\nNum=9.wav");
    station.state.Ptt.ComNum = 4;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Cannot save the settings to .*"));
    station.settings->WriteMem();
    QVERIFY(station.settings->lastSaveFailed());

    ProfileFile file(station.state.Places.IniFile);
    QCOMPARE(file.read("COM", "Num", ""), QByteArray("4"));
    QCOMPARE(file.read("MEMORY_3", "FileName", ""), (dir.path() + "/Wav/3.wav").toUtf8());
}

void TestSettings::unsavedSettingsAreReported_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("read-only file") << true;
    QTest::newRow("missing folder") << false;
}

void TestSettings::unsavedSettingsAreReported()
{
    QFETCH(bool, readOnly);
    QTemporaryDir dir;
    Station station(dir.path());
    if (readOnly) {
        put(station.state.Places.IniFile, HandKeptFile);
        QVERIFY(QFile::setPermissions(station.state.Places.IniFile, QFileDevice::ReadOwner));
    } else {
        station.state.Places.IniFile = dir.filePath("gone/vocta.ini");
    }
    station.settings->ReadMem();
    station.state.Ptt.ComNum = 8;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Cannot save the settings to .*"));
    station.settings->WriteMem();
    QVERIFY(station.settings->lastSaveFailed());
    if (readOnly)
        QCOMPARE(contents(station.state.Places.IniFile), HandKeptFile);
    else
        QVERIFY(!QFile::exists(dir.filePath("gone")));

    // Once the file can be written again, the next save goes through.
    if (readOnly)
        QVERIFY(QFile::setPermissions(station.state.Places.IniFile,
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    else
        station.state.Places.IniFile = dir.filePath("vocta.ini");
    station.settings->WriteMem();
    QVERIFY(!station.settings->lastSaveFailed());
    QCOMPARE(ProfileFile(station.state.Places.IniFile).read("COM", "Num", ""), QByteArray("8"));
}

void TestSettings::namesWrittenBackByteForByte()
{
    // Names in bytes that are not UTF-8: a Latin-1 file name, one that starts like UTF-16, and a
    // font name in Latin-1. Unchanged, each goes back as it was.
    QByteArray before = firstStartFile();
    before.replace("/opt/vv/Wav/1.wav", "/srv/caf\xE9.wav");
    before.replace("/opt/vv/Wav/2.wav", "/srv/\xFF\xFE.wav");
    before.replace("[Fonts_1]\nFontname=Helvetica", "[Fonts_1]\nFontname=Caf\xE9 Sans");
    QTemporaryDir dir;
    Station station(dir.path());
    put(station.state.Places.IniFile, before);
    station.settings->ReadMem();
    QCOMPARE(FileNames::encode(station.state.Memories.MemFile[0]), QByteArray("/srv/caf\xE9.wav"));
    QCOMPARE(station.state.Fonts.FntName[1], QString::fromLatin1("Caf\xE9 Sans"));
    station.settings->WriteMem();
    QCOMPARE(contents(station.state.Places.IniFile), before);

    // A font the operator chose is written in the system's encoding.
    station.state.Fonts.FntName[1] = QString::fromLatin1("Caf\xE9 Serif");
    station.settings->WriteMem();
    QByteArray after = before;
    after.replace("Fontname=Caf\xE9 Sans", "Fontname=Caf\xC3\xA9 Serif");
    QCOMPARE(contents(station.state.Places.IniFile), after);
}

void TestSettings::byteOrderMarkKept()
{
    QTemporaryDir dir;
    Station station(dir.path());
    put(station.state.Places.IniFile, "\xEF\xBB\xBF" + firstStartFile());
    station.settings->ReadMem();
    station.state.Ptt.ComNum = 4;
    station.settings->WriteMem();
    QByteArray expected = "\xEF\xBB\xBF" + firstStartFile();
    expected.replace("Num=1", "Num=4");
    QCOMPARE(contents(station.state.Places.IniFile), expected);
}

void TestSettings::utf16FileLeftAlone()
{
    QTemporaryDir dir;
    Station station(dir.path());
    QByteArray utf16("\xFF\xFE");
    for (const QChar c : QStringLiteral("[COM]\r\nNum=3\r\n"))
        utf16 += char(c.unicode()) + QByteArray(1, '\0');
    put(station.state.Places.IniFile, utf16);

    StderrCapture capture;
    station.settings->ReadMem();
    QCOMPARE(station.state.Ptt.ComNum, qint16(1)); // as without a file
    station.settings->WriteMem();
    QVERIFY(station.settings->lastSaveFailed());
    station.state.Memories.MemFile[0] = QStringLiteral("/srv/cq.wav");
    station.settings->WriteMem();
    QVERIFY(station.settings->lastSaveFailed());
    const QByteArray said = capture.text();
    QCOMPARE(said.count('\n'), 1);
    QVERIFY2(said.startsWith("voicevocta: " + QFile::encodeName(station.state.Places.IniFile)
                             + " is UTF-16 text"),
             said.constData());
    QCOMPARE(contents(station.state.Places.IniFile), utf16);
}

void TestSettings::startRemovesLeftoversOfSaves()
{
    QTemporaryDir dir;
    Station station(dir.path());
    put(station.state.Places.IniFile, "[COM]\nNum=3\n");
    put(dir.filePath("vocta.ini.voicevocta-save-RqzTbe"), "[COM]\nNum=5\n");
    put(dir.filePath("vocta.ini.backup"), "[COM]\nNum=6\n");
    station.settings->ReadMem();
    QCOMPARE(station.state.Ptt.ComNum, qint16(3));
    QVERIFY(!QFile::exists(dir.filePath("vocta.ini.voicevocta-save-RqzTbe")));
    QCOMPARE(contents(dir.filePath("vocta.ini.backup")), QByteArray("[COM]\nNum=6\n"));
}

void TestSettings::fullDiskKeepsTheOldFile()
{
    // The program folder on a tmpfs filled to its last page.
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    if (::mount("tmpfs", folder.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k,mode=0700")
        != 0)
        QSKIP(qPrintable("no tmpfs can be mounted here: " + qt_error_string(errno)));
    auto unmount = qScopeGuard([&] { ::umount2(folder.constData(), MNT_DETACH); });

    Station station(dir.path());
    put(station.state.Places.IniFile, HandKeptFile);
    station.settings->ReadMem();
    const int fd = ::open(folder + "/filler", O_WRONLY | O_CREAT, 0600);
    QVERIFY(fd >= 0);
    const QByteArray block(4096, 'f');
    while (::write(fd, block.constData(), size_t(block.size())) > 0) { }
    QCOMPARE(errno, ENOSPC);
    ::close(fd);

    station.state.Ptt.ComNum = 6;
    StderrCapture capture;
    station.settings->WriteMem();
    const QByteArray said = capture.text();
    QVERIFY(station.settings->lastSaveFailed());
    QCOMPARE(contents(station.state.Places.IniFile), HandKeptFile);
    QCOMPARE(said.count('\n'), 1);
    QVERIFY2(said.startsWith("voicevocta: Cannot save the settings to "), said.constData());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList({"filler", "vocta.ini", "vocta.ini.lock"}));
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
