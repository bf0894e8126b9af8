// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/ProfileFile.h"
#include "settings/ProfileText.h"
#include "station/Log.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/TestFiles.h"

using namespace TestFiles;

namespace {

#ifdef Q_OS_WIN
const QByteArray NewLine = "\r\n";
#else
const QByteArray NewLine = "\n";
#endif

void expectSaveWarning()
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Cannot save the settings to .*"));
}

} // namespace

class TestProfileFile : public QObject
{
    Q_OBJECT

private slots:
    void reading_data();
    void reading();
    void writing_data();
    void writing();
    void writingWhatTheFormatCannotHold_data();
    void writingWhatTheFormatCannotHold();
    void writtenValueReadsBack();

    void readingNeverCreatesTheFile();
    void writeCreatesTheFile();
    void writeKeepsPermissionsAndLeavesNoTemporaryFile();
    void unchangedFileIsNotRewritten();
    void unwritableFileIsLeftIntact_data();
    void unwritableFileIsLeftIntact();
    void oversizedFileIsReadInPartAndNeverRewritten();
    void binaryNoise();
    void hugeLine();
    void latin1AtTheStringBoundary();
    void utf16FileIsNeverRewritten_data();
    void utf16FileIsNeverRewritten();
    void failedWriteKeepsTheOldFile_data();
    void failedWriteKeepsTheOldFile();
    void leftoversOfInterruptedSaves();
};

void TestProfileFile::reading_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray dflt = "<default>";
    QTest::newRow("plain") << QByteArray("[COM]\nNum=3\n") << QByteArray("COM") << QByteArray("Num")
                           << QByteArray("3");
    QTest::newRow("case of section and key") << QByteArray("[cOm]\nNUM=3\n") << QByteArray("COM")
                                             << QByteArray("num") << QByteArray("3");
    QTest::newRow("Latin-1 case") << QByteArray("[\xC4]\n\xE9=1\n") << QByteArray("\xE4")
                                  << QByteArray("\xC9") << QByteArray("1");
    QTest::newRow("blanks and tabs around")
        << QByteArray("  [ COM ]  \n \t Num \t=  3 \t \n") << QByteArray("COM") << QByteArray("Num")
        << QByteArray("3");
    QTest::newRow("CR LF") << QByteArray("[COM]\r\nNum=3\r\n") << QByteArray("COM")
                           << QByteArray("Num") << QByteArray("3");
    QTest::newRow("no final newline")
        << QByteArray("[COM]\nNum=3") << QByteArray("COM") << QByteArray("Num") << QByteArray("3");
    QTest::newRow("inner blanks kept")
        << QByteArray("[F]\nFileName= /a b/c d.wav \n") << QByteArray("F") << QByteArray("FileName")
        << QByteArray("/a b/c d.wav");
    QTest::newRow("equals sign in value")
        << QByteArray("[A]\nk=a=b\n") << QByteArray("A") << QByteArray("k") << QByteArray("a=b");
    QTest::newRow("empty value") << QByteArray("[A]\nk=\n") << QByteArray("A") << QByteArray("k")
                                 << QByteArray();
    QTest::newRow("double quotes removed") << QByteArray("[A]\nk=\" a \"\n") << QByteArray("A")
                                           << QByteArray("k") << QByteArray(" a ");
    QTest::newRow("single quotes removed")
        << QByteArray("[A]\nk='a'\n") << QByteArray("A") << QByteArray("k") << QByteArray("a");
    QTest::newRow("unmatched quotes kept")
        << QByteArray("[A]\nk=\"a'\n") << QByteArray("A") << QByteArray("k") << QByteArray("\"a'");
    QTest::newRow("lone quote kept")
        << QByteArray("[A]\nk=\"\n") << QByteArray("A") << QByteArray("k") << QByteArray("\"");
    QTest::newRow("300 characters read whole")
        << "[A]\nk=" + QByteArray(300, 'x') + "\n"
        << QByteArray("A") << QByteArray("k") << QByteArray(300, 'x');
    QTest::newRow("UTF-8 byte-order mark before the first section")
        << QByteArray("\xEF\xBB\xBF[COM]\nNum=3\n") << QByteArray("COM") << QByteArray("Num")
        << QByteArray("3");
    QTest::newRow("byte-order mark inside a line is text")
        << QByteArray("[COM]\n\xEF\xBB\xBFNum=3\n") << QByteArray("COM") << QByteArray("Num")
        << dflt;
    QTest::newRow("zero character ends the value")
        << QByteArray("[A]\nk=ab\0cd\n", 12) << QByteArray("A") << QByteArray("k")
        << QByteArray("ab");
    QTest::newRow("missing key") << QByteArray("[A]\nk=1\n") << QByteArray("A") << QByteArray("x")
                                 << dflt;
    QTest::newRow("missing section")
        << QByteArray("[A]\nk=1\n") << QByteArray("B") << QByteArray("k") << dflt;
    QTest::newRow("empty file") << QByteArray() << QByteArray("A") << QByteArray("k") << dflt;
    QTest::newRow("key before any section")
        << QByteArray("k=1\n[A]\n") << QByteArray("A") << QByteArray("k") << dflt;
    QTest::newRow("key of the next section")
        << QByteArray("[A]\n[B]\nk=1\n") << QByteArray("A") << QByteArray("k") << dflt;
    QTest::newRow("first of two keys")
        << QByteArray("[A]\nk=1\nK=2\n") << QByteArray("A") << QByteArray("k") << QByteArray("1");
    QTest::newRow("only the first section of a name")
        << QByteArray("[A]\nx=0\n[a]\nk=2\n") << QByteArray("A") << QByteArray("k") << dflt;
    QTest::newRow("comment is no key")
        << QByteArray("[A]\n;k=1\n#k=2\n") << QByteArray("A") << QByteArray("k") << dflt;
    QTest::newRow("text after the header") << QByteArray("[A] ; the first\nk=1\n")
                                           << QByteArray("A") << QByteArray("k") << QByteArray("1");
    QTest::newRow("unclosed header is no section")
        << QByteArray("[A\nk=1\n") << QByteArray("A") << QByteArray("k") << dflt;
    QTest::newRow("line without equals sign")
        << QByteArray("[A]\nk\nk=1\n") << QByteArray("A") << QByteArray("k") << QByteArray("1");
}

void TestProfileFile::reading()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, expected);
    const ProfileText profile(text);
    QCOMPARE(profile.value(section, key, "<default>"), expected);
    QCOMPARE(profile.contains(section, key), expected != "<default>");
}

void TestProfileFile::writing_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("replace in place")
        << QByteArray("[COM]\nNum=1\nRts=0\n") << QByteArray("COM") << QByteArray("Num")
        << QByteArray("3") << QByteArray("[COM]\nNum=3\nRts=0\n");
    QTest::newRow("replace keeps spelling, indent and CR LF")
        << QByteArray("[com]\r\n  NUM = 1  \r\nx\r\n") << QByteArray("COM") << QByteArray("Num")
        << QByteArray("3") << QByteArray("[com]\r\n  NUM = 3\r\nx\r\n");
    QTest::newRow("replace quoted value")
        << QByteArray("[A]\nk=\"a\"\n") << QByteArray("A") << QByteArray("k") << QByteArray("b")
        << QByteArray("[A]\nk=b\n");
    QTest::newRow("replace empty value")
        << QByteArray("[A]\nk=\n") << QByteArray("A") << QByteArray("k") << QByteArray("b")
        << QByteArray("[A]\nk=b\n");
    QTest::newRow("replace on the last line without newline")
        << QByteArray("[A]\nk=1") << QByteArray("A") << QByteArray("k") << QByteArray("22")
        << QByteArray("[A]\nk=22");
    QTest::newRow("new key after the last key, before blank lines and comments")
        << QByteArray("[COM]\nNum=1\n; note\n\n; memories\n[M]\nk=1\n") << QByteArray("COM")
        << QByteArray("Rts") << QByteArray("0")
        << QByteArray("[COM]\nNum=1\nRts=0\n; note\n\n; memories\n[M]\nk=1\n");
    QTest::newRow("new key in a section without keys")
        << QByteArray("[COM]\n[M]\n") << QByteArray("COM") << QByteArray("Num") << QByteArray("1")
        << QByteArray("[COM]\nNum=1\n[M]\n");
    QTest::newRow("new key with CR LF")
        << QByteArray("[COM]\r\nNum=1\r\n") << QByteArray("COM") << QByteArray("Rts")
        << QByteArray("0") << QByteArray("[COM]\r\nNum=1\r\nRts=0\r\n");
    QTest::newRow("new key without final newline")
        << QByteArray("[COM]\nNum=1") << QByteArray("COM") << QByteArray("Rts") << QByteArray("0")
        << QByteArray("[COM]\nNum=1\nRts=0");
    QTest::newRow("new key after a header without final newline")
        << QByteArray("[COM]") << QByteArray("COM") << QByteArray("Num") << QByteArray("1")
        << QByteArray("[COM]\nNum=1");
    QTest::newRow("new key in the first section of a name")
        << QByteArray("[A]\nx=1\n[a]\ny=2\n") << QByteArray("a") << QByteArray("k")
        << QByteArray("3") << QByteArray("[A]\nx=1\nk=3\n[a]\ny=2\n");
    QTest::newRow("new section after a blank line")
        << QByteArray("[A]\nk=1\n") << QByteArray("B") << QByteArray("x") << QByteArray("2")
        << QByteArray("[A]\nk=1\n\n[B]\nx=2\n");
    QTest::newRow("new section after an existing blank line")
        << QByteArray("[A]\nk=1\n\n") << QByteArray("B") << QByteArray("x") << QByteArray("2")
        << QByteArray("[A]\nk=1\n\n[B]\nx=2\n");
    QTest::newRow("new section with CR LF")
        << QByteArray("; top\r\n") << QByteArray("B") << QByteArray("x") << QByteArray("2")
        << QByteArray("; top\r\n\r\n[B]\r\nx=2\r\n");
    QTest::newRow("new section without final newline")
        << QByteArray("[A]\nk=1") << QByteArray("B") << QByteArray("x") << QByteArray("2")
        << QByteArray("[A]\nk=1\n\n[B]\nx=2");
    QTest::newRow("new section in a file of one newline")
        << QByteArray("\n") << QByteArray("B") << QByteArray("x") << QByteArray("2")
        << QByteArray("\n[B]\nx=2\n");
    QTest::newRow("new file uses the platform's line ending")
        << QByteArray() << QByteArray("B") << QByteArray("x") << QByteArray("2")
        << "[B]" + NewLine + "x=2" + NewLine;
    QTest::newRow("same value leaves the line alone")
        << QByteArray("[A]\n k = 1 \t\n") << QByteArray("A") << QByteArray("k") << QByteArray("1")
        << QByteArray("[A]\n k = 1 \t\n");
    QTest::newRow("padded value replaces the blanks after the equals sign")
        << QByteArray("[A]\nk = 1\n") << QByteArray("A") << QByteArray("k") << QByteArray(" x ")
        << QByteArray("[A]\nk = x \n");
    QTest::newRow("padded value written again")
        << QByteArray("[A]\nk = x \n") << QByteArray("A") << QByteArray("k") << QByteArray(" x ")
        << QByteArray("[A]\nk = x \n");
    QTest::newRow("byte-order mark kept when a value changes")
        << QByteArray("\xEF\xBB\xBF[COM]\nNum=1\n") << QByteArray("COM") << QByteArray("Num")
        << QByteArray("3") << QByteArray("\xEF\xBB\xBF[COM]\nNum=3\n");
    QTest::newRow("first section after a byte-order mark takes the key")
        << QByteArray("\xEF\xBB\xBF[COM]\nNum=1\n") << QByteArray("COM") << QByteArray("Rts")
        << QByteArray("0") << QByteArray("\xEF\xBB\xBF[COM]\nNum=1\nRts=0\n");
    QTest::newRow("new section in a file of a byte-order mark alone")
        << QByteArray("\xEF\xBB\xBF") << QByteArray("B") << QByteArray("x") << QByteArray("2")
        << "\xEF\xBB\xBF[B]" + NewLine + "x=2" + NewLine;
    QTest::newRow("unknown keys, comments and blank lines kept")
        << QByteArray("# head\n[X]\nfoo=bar\n\n[A]\n; c\nk=1\nz=9\n") << QByteArray("A")
        << QByteArray("k") << QByteArray("2")
        << QByteArray("# head\n[X]\nfoo=bar\n\n[A]\n; c\nk=2\nz=9\n");
}

void TestProfileFile::writing()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, after);
    ProfileText text(before);
    QVERIFY(text.setValue(section, key, value));
    QCOMPARE(text.bytes(), after);
    QCOMPARE(text.value(section, key, "<default>"), value.trimmed());
}

void TestProfileFile::writingWhatTheFormatCannotHold_data()
{
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");

    QTest::newRow("empty section") << QByteArray() << QByteArray("k") << QByteArray("1");
    QTest::newRow("bracket in section") << QByteArray("A]") << QByteArray("k") << QByteArray("1");
    QTest::newRow("padded section") << QByteArray(" A") << QByteArray("k") << QByteArray("1");
    QTest::newRow("empty key") << QByteArray("A") << QByteArray() << QByteArray("1");
    QTest::newRow("equals in key") << QByteArray("A") << QByteArray("k=") << QByteArray("1");
    QTest::newRow("padded key") << QByteArray("A") << QByteArray("k\t") << QByteArray("1");
    QTest::newRow("line feed in value")
        << QByteArray("A") << QByteArray("k") << QByteArray("a\n[A]\nk=2");
    QTest::newRow("carriage return in value")
        << QByteArray("A") << QByteArray("k") << QByteArray("a\rb");
    QTest::newRow("zero in value") << QByteArray("A") << QByteArray("k") << QByteArray("a\0b", 3);
    QTest::newRow("line feed in key") << QByteArray("A") << QByteArray("a\nb") << QByteArray("1");
}

void TestProfileFile::writingWhatTheFormatCannotHold()
{
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    const QByteArray before = "[A]\nk=1\n";
    ProfileText text(before);
    QVERIFY(!text.setValue(section, key, value));
    QCOMPARE(text.bytes(), before);
}

void TestProfileFile::writtenValueReadsBack()
{
    // Many writes into one text: each key keeps the last value written to it.
    ProfileText text("; settings\n[a]\n\n");
    for (int round = 0; round < 3; ++round) {
        for (int s = 0; s < 4; ++s) {
            for (int k = 0; k < 4; ++k) {
                const QByteArray section
                    = s % 2 ? "A" + QByteArray::number(s) : "a" + QByteArray::number(s);
                QVERIFY(text.setValue(section, "Key" + QByteArray::number(k),
                                      QByteArray::number(round * 100 + s * 10 + k)));
            }
        }
    }
    for (int s = 0; s < 4; ++s)
        for (int k = 0; k < 4; ++k)
            QCOMPARE(text.value("A" + QByteArray::number(s), "KEY" + QByteArray::number(k), ""),
                     QByteArray::number(200 + s * 10 + k));
    QVERIFY(text.bytes().startsWith("; settings\n[a]\n\n[a0]\n"));

    // An empty text made without bytes (a missing file's) gains whole lines too.
    ProfileText empty;
    QVERIFY(empty.setValue("COM", "Num", "1"));
    QVERIFY(empty.setValue("COM", "Rts", "0"));
    QCOMPARE(empty.bytes(), QByteArray("[COM]\nNum=1\nRts=0\n"));
}

void TestProfileFile::readingNeverCreatesTheFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("vocta.ini");
    ProfileFile file(path);
    QCOMPARE(file.read("COM", "Num", "1"), QByteArray("1"));
    QVERIFY(!QFile::exists(path));
    // A folder in the file's place reads as empty too.
    QCOMPARE(ProfileFile(dir.path()).read("COM", "Num", "7"), QByteArray("7"));
}

void TestProfileFile::writeCreatesTheFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("vocta.ini");
    ProfileFile file(path);
    QVERIFY(file.write("COM", "Num", "1"));
    QVERIFY(file.write("COM", "Rts", "0"));
    QCOMPARE(contents(path), "[COM]" + NewLine + "Num=1" + NewLine + "Rts=0" + NewLine);
    QVERIFY(file.errorString().isEmpty());
    QVERIFY(QFile::permissions(path) & QFileDevice::ReadOwner);
    QVERIFY(QFile::permissions(path) & QFileDevice::WriteOwner);
}

void TestProfileFile::writeKeepsPermissionsAndLeavesNoTemporaryFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("vocta.ini");
    put(path, "[COM]\nNum=1\n");
    const auto permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner
                             | QFileDevice::ReadGroup | QFileDevice::ReadUser
                             | QFileDevice::WriteUser;
    QVERIFY(QFile::setPermissions(path, permissions));

    ProfileFile file(path);
    QVERIFY(file.update([](ProfileText &text) {
        text.setValue("COM", "Num", "2");
        text.setValue("COM", "Dtr", "1");
    }));
    QCOMPARE(contents(path), QByteArray("[COM]\nNum=2\nDtr=1\n"));
    QCOMPARE(QFile::permissions(path), permissions);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList{"vocta.ini"});
}

void TestProfileFile::unchangedFileIsNotRewritten()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("vocta.ini");
    put(path, "[COM]\nNum=1\n");
    const QDateTime old = QDateTime::currentDateTime().addDays(-1);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(old, QFileDevice::FileModificationTime));
    }
    QVERIFY(ProfileFile(path).write("com", "NUM", "1"));
    QCOMPARE(QFileInfo(path).lastModified(), old);
}

void TestProfileFile::unwritableFileIsLeftIntact_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("read-only file") << "read-only";
    QTest::newRow("missing folder") << "missing folder";
    QTest::newRow("path is a folder") << "folder";
}

void TestProfileFile::unwritableFileIsLeftIntact()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QByteArray old = "[COM]\nNum=1\n";
    QString path = dir.filePath("vocta.ini");
    if (kind == "read-only") {
        put(path, old);
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadUser
                                                | QFileDevice::ReadGroup));
    } else if (kind == "missing folder") {
        path = dir.filePath("gone/vocta.ini");
    } else {
        QVERIFY(QDir(dir.path()).mkdir("vocta.ini"));
    }

    ProfileFile file(path);
    expectSaveWarning();
    QVERIFY(!file.write("COM", "Num", "2"));
    QVERIFY(!file.errorString().isEmpty());

    if (kind == "read-only")
        QCOMPARE(contents(path), old);
    else if (kind == "missing folder")
        QVERIFY(!QFileInfo::exists(dir.filePath("gone")));
    else
        QVERIFY(QFileInfo(path).isDir());
    const QStringList left
        = QDir(dir.path())
              .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    QCOMPARE(left, kind == "missing folder" ? QStringList{} : QStringList{"vocta.ini"});
}

void TestProfileFile::oversizedFileIsReadInPartAndNeverRewritten()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("vocta.ini");
    const QByteArray big = "[COM]\nNum=4\n" + QByteArray(3 * ProfileFile::MaxFileSize, ';') + "\n";
    put(path, big);

    ProfileFile file(path);
    QCOMPARE(file.read("COM", "Num", "1"), QByteArray("4"));
    expectSaveWarning();
    QVERIFY(!file.write("COM", "Num", "5"));
    QCOMPARE(contents(path).size(), big.size());

    // Nor is a file made larger than what is read.
    const QByteArray full = "[COM]\n" + QByteArray(ProfileFile::MaxFileSize - 7, ';') + "\n";
    put(path, full);
    QCOMPARE(file.read("COM", "Num", "1"), QByteArray("1"));
    expectSaveWarning();
    QVERIFY(!file.write("COM", "Num", "5"));
    QCOMPARE(contents(path), full);
}

void TestProfileFile::binaryNoise()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("vocta.ini");
    QByteArray noise(1000 * 1000, Qt::Uninitialized);
    QRandomGenerator random(20240601);
    for (char &c : noise)
        c = char(random.bounded(256));
    put(path, noise);

    ProfileFile file(path);
    QVERIFY(file.write("COM", "Num", "2"));
    QCOMPARE(file.read("COM", "Num", "1"), QByteArray("2"));
    QVERIFY(contents(path).startsWith(noise));
}

void TestProfileFile::hugeLine()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("vocta.ini");
    put(path, "[COM]\nNum=" + QByteArray(900 * 1024, '7') + "\n[A]\nk=1");
    ProfileFile file(path);
    QCOMPARE(file.read("COM", "Num", "1"), QByteArray(900 * 1024, '7'));
    QCOMPARE(file.read("A", "k", "0"), QByteArray("1"));
    QVERIFY(file.write("COM", "Num", "3"));
    QCOMPARE(contents(path), QByteArray("[COM]\nNum=3\n[A]\nk=1"));
}

void TestProfileFile::latin1AtTheStringBoundary()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("vocta.ini");
    ProfileFile file(path);
    QString every;
    for (int c = 1; c < 256; ++c)
        if (c != '\n' && c != '\r' && c != ' ' && c != '\t' && c != '\v' && c != '\f')
            every += QChar(c);
    every = "<" + every + ">"; // inner blanks of no concern, no quotes at the ends
    QVERIFY(file.writeLatin1(QStringLiteral("A"), QStringLiteral("k"), every));
    QCOMPARE(file.readLatin1(QStringLiteral("a"), QStringLiteral("K"), QString()), every);
    QCOMPARE(contents(path), "[A]" + NewLine + "k=" + every.toLatin1() + NewLine);
}

void TestProfileFile::utf16FileIsNeverRewritten_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QByteArray little("\xFF\xFE");
    QByteArray big("\xFE\xFF");
    for (const QChar c : QStringLiteral("[COM]\r\nNum=3\r\n")) {
        little += char(c.unicode()) + QByteArray(1, '\0');
        big += QByteArray(1, '\0') + char(c.unicode());
    }
    QTest::newRow("little-endian") << little;
    QTest::newRow("big-endian") << big;
}

void TestProfileFile::utf16FileIsNeverRewritten()
{
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    const QString path = dir.filePath("vocta.ini");
    put(path, bytes);
    const QByteArray before = contents(path);

    ProfileFile file(path);
    QVERIFY(file.isUtf16());
    QCOMPARE(file.read("COM", "Num", "1"), QByteArray("1"));
    expectSaveWarning();
    QVERIFY(!file.write("COM", "Num", "2"));
    QCOMPARE(contents(path), before);
    QVERIFY(!ProfileFile(dir.filePath("other.ini")).isUtf16());
}

void TestProfileFile::failedWriteKeepsTheOldFile_data()
{
    QTest::addColumn<bool>("tmpfs");
    QTest::newRow("file size limit") << false;
    QTest::newRow("full tmpfs") << true;
}

// A save that runs out of room: on a tmpfs filled to the last page (where it can be mounted),
// or in a child process whose file size limit is below the file's size (SIGXFSZ ignored, so the
// write fails with EFBIG). The old file stays whole and one line on standard error says why.
void TestProfileFile::failedWriteKeepsTheOldFile()
{
    QFETCH(bool, tmpfs);
    QTemporaryDir dir;
    QString folder = dir.path();
    const QByteArray old = "[COM]\nNum=1\nRts=0\n";
    QByteArray value(300, 'v');

    auto unmount = qScopeGuard([&] {
        if (tmpfs)
            ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
    });
    if (tmpfs) {
        folder = dir.filePath("small");
        QVERIFY(QDir().mkpath(folder));
        if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                    "size=64k,mode=0700")
            != 0)
            QSKIP(qPrintable("no tmpfs can be mounted here: " + qt_error_string(errno)));
        put(folder + "/vocta.ini", old);
        // Fill the file system: the filler's last write fails when it is full.
        const int fd
            = ::open(QFile::encodeName(folder + "/filler").constData(), O_WRONLY | O_CREAT, 0600);
        QVERIFY(fd >= 0);
        const QByteArray block(4096, 'f');
        while (::write(fd, block.constData(), size_t(block.size())) > 0) { }
        QCOMPARE(errno, ENOSPC);
        ::close(fd);
    } else {
        put(folder + "/vocta.ini", old);
    }
    const QString path = folder + "/vocta.ini";

    // What the child says on standard error comes through a pipe (the size limit does not
    // apply to pipes), formatted as the program prints it.
    int log[2];
    QVERIFY(::pipe(log) == 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        ::dup2(log[1], STDERR_FILENO);
        useLogFormat();
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context,
                                  const QString &message) {
            const QByteArray line = qFormatLogMessage(type, context, message).toLocal8Bit() + '\n';
            [[maybe_unused]] const auto written
                = ::write(STDERR_FILENO, line.constData(), size_t(line.size()));
        });
        if (!tmpfs) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{rlim_t(old.size()), RLIM_INFINITY};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ProfileFile file(path);
        const bool saved = file.update([&](ProfileText &text) {
            text.setValue("COM", "Num", "2");
            text.setValue("MEMORY_1", "FileName", value);
        });
        ::_exit(saved ? 0 : 1);
    }
    ::close(log[1]);
    QFile pipe;
    QVERIFY(pipe.open(log[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
    const QByteArray said = pipe.readAll(); // until the child has ended
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 1); // the save failed
    QCOMPARE(contents(path), old);
    QCOMPARE(said.count('\n'), 1);
    QVERIFY2(said.startsWith("voicevocta: Cannot save the settings to " + QFile::encodeName(path)),
             said.constData());
    QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    left.removeOne("filler");
    QCOMPARE(left, QStringList{"vocta.ini"});
}

void TestProfileFile::leftoversOfInterruptedSaves()
{
    QTemporaryDir dir;
    const QDir folder(dir.path());
    const QString path = dir.filePath("vocta.ini");
    put(path, "[COM]\nNum=1\n");
    const QString mark = "vocta.ini.voicevocta-save-";
    const QStringList leftovers{mark + "QtfDxa", mark + "lyhyqy", mark + "a1B2c3"};
    // Names of the operator's own, or of other programs.
    QStringList kept{"vocta.ini",
                     "vocta.ini.backup",
                     "vocta.ini.Qwerty",
                     "vocta.ini.lyhyqy",
                     mark + "QtfDx",
                     mark + "QtfDxab",
                     mark + "Qt-Dxa",
                     "Vocta.ini.voicevocta-save-QtfDxa",
                     "other.ini.voicevocta-save-QtfDxa",
                     "target"};
    for (const QString &name : leftovers + kept)
        put(folder.filePath(name), "[COM]\nNum=2\n");
    // Only regular files go.
    QVERIFY(folder.mkdir(mark + "FoLder"));
    QVERIFY(QFile::link("target", folder.filePath(mark + "SyMlnk")));
    QVERIFY(::mkfifo(QFile::encodeName(folder.filePath(mark + "FiFoab")).constData(), 0600) == 0);
    kept << mark + "FoLder" << mark + "SyMlnk" << mark + "FiFoab";

    QStringList removed = ProfileFile(path).removeLeftovers();
    removed.sort();
    QStringList expected = leftovers;
    expected.sort();
    QCOMPARE(removed, expected);
    kept.sort();
    QStringList left
        = folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    left.sort();
    QCOMPARE(left, kept);
    QCOMPARE(contents(folder.filePath("target")), QByteArray("[COM]\nNum=2\n"));
}

QTEST_APPLESS_MAIN(TestProfileFile)
#include "tst_profilefile.moc"
