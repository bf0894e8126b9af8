// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/FileNames.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

// File names as bytes: whatever a name's bytes are, they come back as they were.
class TestFileNames : public QObject
{
    Q_OBJECT

private slots:
    void decoding_data();
    void decoding();
    void everyShortNameRoundTrips();
    void randomNamesRoundTrip();
    void textEncodesAsUtf8();
    void opensByTheNamesBytes();
    void refusesWhatIsNoRegularFile();
};

namespace {

// What bytes that are not UTF-8 read as: one lone low surrogate each.
QString escapes(const QByteArray &bytes)
{
    QString text;
    for (const char byte : bytes)
        text += QChar(char16_t(0xDC00 + uchar(byte)));
    return text;
}

} // namespace

void TestFileNames::decoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");

    QTest::newRow("ASCII") << QByteArray("/home/op/cq.wav") << "/home/op/cq.wav";
    QTest::newRow("UTF-8") << QByteArray("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xBB")
                           << QString::fromUtf8("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xBB");
    QTest::newRow("byte-order mark of UTF-8")
        << QByteArray("\xEF\xBB\xBF") + "a" << QString(QChar(char16_t(0xFEFF))) + "a";
    QTest::newRow("Latin-1 byte") << QByteArray("caf\xE9.wav") << "caf" + escapes("\xE9") + ".wav";
    QTest::newRow("byte-order marks of UTF-16")
        << QByteArray("\xFF\xFE.wav") << escapes("\xFF\xFE") + ".wav";
    QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << escapes("\xC0\xAF");
    QTest::newRow("surrogate in UTF-8") << QByteArray("\xED\xA0\x80") << escapes("\xED\xA0\x80");
    QTest::newRow("beyond U+10FFFF")
        << QByteArray("\xF4\x90\x80\x80") << escapes("\xF4\x90\x80\x80");
    QTest::newRow("sequence cut short") << QByteArray("a\xE2\x82") << "a" + escapes("\xE2\x82");
    QTest::newRow("broken before a valid one")
        << QByteArray("\xE2\xE2\x82\xAC") << escapes("\xE2") + QString::fromUtf8("\xE2\x82\xAC");
}

void TestFileNames::decoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    QCOMPARE(FileNames::decode(bytes), name);
    QCOMPARE(FileNames::encode(name), bytes);
}

void TestFileNames::everyShortNameRoundTrips()
{
    QByteArray bytes(2, '\0');
    for (int first = 0; first < 256; ++first) {
        bytes[0] = char(first);
        QCOMPARE(FileNames::encode(FileNames::decode(bytes.first(1))), bytes.first(1));
        for (int second = 0; second < 256; ++second) {
            bytes[1] = char(second);
            if (FileNames::encode(FileNames::decode(bytes)) != bytes)
                QFAIL(qPrintable("lost: " + bytes.toHex()));
        }
    }
}

void TestFileNames::randomNamesRoundTrip()
{
    // Mostly bytes that start and continue UTF-8 sequences, so that valid and broken ones mix.
    const QByteArray pieces("\x80\xBF\xC2\xDF\xE0\xED\xEF\xF0\xF4\xF5\xFF/a.", 15);
    QRandomGenerator random(73);
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes;
        const int size = random.bounded(1, 12);
        for (int i = 0; i < size; ++i)
            bytes += random.bounded(3) ? pieces[random.bounded(pieces.size())]
                                       : char(random.bounded(1, 256));
        const QString name = FileNames::decode(bytes);
        if (FileNames::encode(name) != bytes || FileNames::decode(FileNames::encode(name)) != name)
            QFAIL(qPrintable("lost: " + bytes.toHex()));
    }
}

void TestFileNames::textEncodesAsUtf8()
{
    const QString text = QString::fromUtf8("/m\xC3\xBAsica/\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD "
                                           "\xE2\x82\xAC \xF0\x9F\x93\xBB.wav");
    QCOMPARE(FileNames::encode(text), text.toUtf8());
    QCOMPARE(FileNames::decode(text.toUtf8()), text);
    // Surrogates that decoding never gives cannot be bytes of a name.
    QCOMPARE(FileNames::encode(QString(QChar(char16_t(0xD800)))), QByteArray("\xEF\xBF\xBD"));
    QCOMPARE(FileNames::encode(QString(QChar(char16_t(0xDC41)))), QByteArray("\xEF\xBF\xBD"));
}

void TestFileNames::opensByTheNamesBytes()
{
    QTemporaryDir dir;
    for (const QByteArray &leaf : {QByteArray("caf\xE9.wav"), QByteArray("\xFF\xFE.wav")}) {
        const QByteArray path = QFile::encodeName(dir.path()) + '/' + leaf;
        QFile out;
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        QVERIFY(fd >= 0);
        QVERIFY(out.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
        out.write("RIFF" + leaf);
        out.close();

        QFile in;
        const Result opened = FileNames::openForReading(in, FileNames::decode(path));
        QVERIFY2(opened, qPrintable(opened.error));
        QCOMPARE(in.readAll(), "RIFF" + leaf);
        QCOMPARE(std::remove(path.constData()), 0); // QTemporaryDir cannot remove it
    }
}

void TestFileNames::refusesWhatIsNoRegularFile()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("folder.wav"));
    QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("pipe.wav")).constData(), 0600) == 0);
    const QList<std::pair<QString, QString>> cases{
        {dir.filePath("missing.wav"), "no such file"},
        {dir.filePath("missing/1.wav"), "no such file"},
        {QString(), "no such file"},
        {dir.filePath("folder.wav"), "not a regular file"},
        {dir.filePath("pipe.wav"), "not a regular file"}, // opening it would wait forever
    };
    for (const auto &[name, reason] : cases) {
        QFile file;
        const Result opened = FileNames::openForReading(file, name);
        QVERIFY(!opened);
        QCOMPARE(opened.error, reason);
        QVERIFY(!file.isOpen());
    }
}

QTEST_APPLESS_MAIN(TestFileNames)
#include "tst_filenames.moc"
