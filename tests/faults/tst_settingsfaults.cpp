// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/faults/FaultWatch.h"
#include "tests/support/StationFixture.h"
#include "tests/support/StderrCapture.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <sys/stat.h>

using namespace FaultWatch;

// The settings file cannot be used: it was replaced by a folder or a named pipe, made read-only,
// or filled with binary noise. The station starts and runs on what it could read, every save that
// cannot be made leaves what is on disk as it was (and says so), the transmitter keys and releases
// as always, and nothing the operator did is lost once the file can be written again.
class TestSettingsFaults : public QObject
{
    Q_OBJECT

private slots:
    void unusableFile_data();
    void unusableFile();
    void folderGoesAwayWhileRunning();
    void noiseBelowTheSizeLimit();
    void longNameSurvivesRestarts();
    void secondCopyLeavesTheFileAlone();
};

namespace {

const QString Folder = QStringLiteral("replaced by a folder");
const QString ReadOnly = QStringLiteral("read-only");
const QString Noise = QStringLiteral("1 MiB of binary noise");
const QString Pipe = QStringLiteral("replaced by a named pipe");

// What an earlier run saved: port 2 with RTS, memory 1 repeating after 1.5 s.
const QByteArray OldSettings = "[COM]\nNum=2\nRts=1\nRtsPos=1\nDtr=0\nDtrPos=1\n"
                               "[MEMORY_1]\nFileName=/sounds/cq.wav\nRepeat=1\nDelay=1500\n";

QByteArray noise(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(7); // the same noise every run
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The station gives up a save of its settings file, saying why.
void expectRefusedSave()
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Cannot save the settings to .+: .+"));
}

// A message on memory `index` keys the transmitter and its end releases it.
void playMessage(StationFixture &f, int index)
{
    f.clickMemory(index);
    QVERIFY(keyed(f));
    QCOMPARE(f.now().playing(), 1);
    f.device.finish();
    QCOMPARE(f.now().playing(), 0);
    QVERIFY(!keyed(f));
}

} // namespace

void TestSettingsFaults::unusableFile_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("replaced by a folder") << Folder;
    QTest::newRow("read-only") << ReadOnly;
    QTest::newRow("1 MiB of binary noise") << Noise;
    QTest::newRow("replaced by a named pipe") << Pipe;
}

void TestSettingsFaults::unusableFile()
{
    QFETCH(QString, fault);

    StationFixture f(false);
    const QString ini = f.programDir() + QStringLiteral("/vocta.ini");
    if (fault == Folder) {
        QVERIFY(QDir().mkpath(ini));
        QVERIFY(writeFile(ini + QStringLiteral("/keep.txt"), OldSettings));
    } else if (fault == ReadOnly) {
        QVERIFY(writeFile(ini, OldSettings));
        QVERIFY(QFile::setPermissions(ini, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    } else if (fault == Noise) {
        QVERIFY(writeFile(ini, noise(1024 * 1024)));
    } else {
        // Nothing ever writes to it: opening it for reading would wait forever.
        QVERIFY(::mkfifo(QFile::encodeName(ini).constData(), 0600) == 0);
    }
    const QByteArray onDisk
        = fault == Folder ? fileBytes(ini + QStringLiteral("/keep.txt")) : fileBytes(ini);

    UiWatch watch;
    f.station->Form_Load();
    // A read-only file reads as always; the others give the defaults.
    QCOMPARE(f.state().Ptt.ComNum, qint16(fault == ReadOnly ? 2 : 1));
    QCOMPARE(f.state().Memories.MemFile[0], fault == ReadOnly ? QStringLiteral("/sounds/cq.wav")
                                                     : f.state().Places.WavDir + QStringLiteral("1.wav"));

    // The operator chooses a file: the save is refused and the disk stays as it was.
    expectRefusedSave();
    chooseFile(f, 2, f.state().Places.WavDir + QStringLiteral("6.wav"));
    QCOMPARE(f.state().Memories.MemFile[2], f.state().Places.WavDir + QStringLiteral("6.wav"));
    QVERIFY(f.station->settings().lastSaveFailed());

    // The transmitter keys and releases as always; the new file plays.
    keyThroughRts(f);
    playMessage(f, 1);
    f.clickMemory(2);
    QCOMPARE(f.device.log.filter(QStringLiteral("Open ")).last(),
             QStringLiteral("Open ") + f.state().Places.WavDir + QStringLiteral("6.wav"));
    f.clickMemory(2);
    QVERIFY(!keyed(f));
    QVERIFY2(watch.longestGap() < ResponsiveMs, qPrintable(QString::number(watch.longestGap())));
    QVERIFY(eventLoopAnswers());

    // The end of the program cannot save either, and the transmitter ends released.
    expectRefusedSave();
    f.window().menuItem(QStringLiteral("Exit"))->trigger();
    QVERIFY(!keyed(f));
    if (fault == Folder) {
        QVERIFY(QFileInfo(ini).isDir());
        QCOMPARE(fileBytes(ini + QStringLiteral("/keep.txt")), onDisk);
    } else if (fault == Pipe) {
        struct stat status;
        QVERIFY(::lstat(QFile::encodeName(ini).constData(), &status) == 0);
        QVERIFY(S_ISFIFO(status.st_mode));
    } else {
        QCOMPARE(fileBytes(ini), onDisk);
    }
}

void TestSettingsFaults::folderGoesAwayWhileRunning()
{
    StationFixture f(false);
    const QString ini = f.programDir() + QStringLiteral("/vocta.ini");
    QVERIFY(writeFile(ini, OldSettings));
    f.station->Form_Load();
    QCOMPARE(f.state().Memories.MemFile[0], QStringLiteral("/sounds/cq.wav"));

    // Something puts a folder in the file's place while the program runs. The operator is told
    // in the window the first time a save fails, not at every save.
    QVERIFY(QFile::remove(ini));
    QVERIFY(QDir().mkpath(ini));
    expectRefusedSave();
    chooseFile(f, 3, f.state().Places.WavDir + QStringLiteral("5.wav"));
    QVERIFY(f.station->settings().lastSaveFailed());
    QVERIFY(QFileInfo(ini).isDir());
    expectRefusedSave();
    chooseFile(f, 2, f.state().Places.WavDir + QStringLiteral("2.wav"));
    QCOMPARE(f.dialogs.notices,
             QStringList{"problem: The settings cannot be saved to " + ini
                         + ": the path is a folder.\n\nThey are kept while the program runs, and "
                           "the next save tries again."});
    keyThroughRts(f);
    playMessage(f, 3);

    // Once the folder is gone, the next save holds everything: what was read at start and what
    // the operator did meanwhile.
    QVERIFY(QDir(ini).removeRecursively());
    f.window().menuItem(QStringLiteral("Exit"))->trigger();
    QVERIFY(!f.station->settings().lastSaveFailed());
    QCOMPARE(f.dialogs.notices.size(), 2);
    QCOMPARE(f.dialogs.notices.last(), "news: The settings are saved again to " + ini + '.');
    const QByteArray saved = fileBytes(ini);
    QVERIFY(saved.contains("[MEMORY_1]\nFileName=/sounds/cq.wav\nRepeat=1\nDelay=1500\n"));
    QVERIFY(
        saved.contains("[MEMORY_4]\nFileName=" + QFile::encodeName(f.state().Places.WavDir) + "5.wav\n"));
    QVERIFY(saved.contains("[COM]\nNum=1\nRts=1\n")); // port 1, chosen in the COM dialog
}

void TestSettingsFaults::noiseBelowTheSizeLimit()
{
    // Noise that leaves room for the settings: they are added after it, and it stays as it was.
    StationFixture f(false);
    const QString ini = f.programDir() + QStringLiteral("/vocta.ini");
    const QByteArray bytes = noise(1000 * 1000);
    QVERIFY(writeFile(ini, bytes));
    f.station->Form_Load();
    const QString chosen = f.state().Places.WavDir + QStringLiteral("4.wav");
    chooseFile(f, 0, chosen);
    QVERIFY(!f.station->settings().lastSaveFailed());
    QVERIFY(fileBytes(ini).startsWith(bytes));

    // The next run reads the choice back.
    StationFixture next(false);
    QVERIFY(QFile::copy(ini, next.programDir() + QStringLiteral("/vocta.ini")));
    next.station->Form_Load();
    QCOMPARE(next.state().Memories.MemFile[0], chosen);
}

void TestSettingsFaults::longNameSurvivesRestarts()
{
    // A path of over 400 bytes from the file dialog, most of its letters two or three bytes long.
    QString name = QStringLiteral("/home/op/");
    while (name.toUtf8().size() < 400)
        name += QString::fromUtf8("\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE2\x82\xAC ");
    name += QStringLiteral(".wav");

    QByteArray saved;
    {
        StationFixture f;
        chooseFile(f, 4, name);
        QVERIFY(!f.station->settings().lastSaveFailed());
        saved = fileBytes(f.programDir() + QStringLiteral("/vocta.ini"));
        QVERIFY(saved.contains("\nFileName=" + name.toUtf8() + "\n"));
    }
    // Ten starts and ends of the program: the name stays the one chosen, to the byte.
    for (int round = 0; round < 10; ++round) {
        StationFixture f(false);
        const QString ini = f.programDir() + QStringLiteral("/vocta.ini");
        QVERIFY(writeFile(ini, saved));
        f.station->Form_Load();
        QCOMPARE(f.state().Memories.MemFile[4], name);
        f.window().menuItem(QStringLiteral("Exit"))->trigger();
        QCOMPARE(fileBytes(ini), saved);
    }
}

// Two copies of the program on one settings file: the second one says so, once, and saves
// nothing, so that neither overwrites what the other saved. Once the first has ended, the file is
// free for the next copy.
void TestSettingsFaults::secondCopyLeavesTheFileAlone()
{
    StationFixture first;
    const QString ini = first.state().Places.IniFile;
    chooseFile(first, 0, first.state().Places.WavDir + QStringLiteral("6.wav"));
    const QByteArray saved = fileBytes(ini);

    StationFixture second(false);
    second.station
        = std::make_unique<VoiceVocta>(second.device, second.lines, second.dialogs, second.server,
                                       second.input, second.preview, first.programDir());
    StderrCapture capture;
    second.station->Form_Load();
    QCOMPARE(second.state().Memories.MemFile[0], first.state().Memories.MemFile[0]); // it read the file
    chooseFile(second, 1, second.state().Places.WavDir + QStringLiteral("5.wav"));
    second.window().Check3d1(2)->setChecked(true);
    // It keys nothing: the COM dialog's OK opens no port, Lock reaches no line, and the keyer
    // says why.
    second.station->comSet().Command1_Click();
    QVERIFY(!second.lines.isOpen());
    QCOMPARE(second.dialogs.messages.size(), 1);
    QVERIFY(second.dialogs.messages.first().startsWith("Not keying: another copy"));
    second.leftClick(second.window().Command3d2());
    QVERIFY(second.lines.wire.isEmpty());
    QVERIFY(!second.station->keyers().isReady());
    second.window().menuItem(QStringLiteral("Exit"))->trigger();
    const QByteArray said = capture.text();
    QCOMPARE(fileBytes(ini), saved);
    QCOMPARE(second.dialogs.notices.size(), 1);
    QVERIFY2(second.dialogs.notices.first().startsWith("problem: The settings file " + ini
                                                       + " is in use by another copy"),
             qPrintable(second.dialogs.notices.first()));
    QCOMPARE(said.count("in use by another copy"), 1);
    QVERIFY(!said.contains("Cannot save"));

    // The first copy's own saves go on as before.
    first.window().Check3d1(3)->setChecked(true);
    first.window().menuItem(QStringLiteral("Exit"))->trigger();
    QVERIFY(fileBytes(ini).contains(
        "[MEMORY_4]\nFileName=" + QFile::encodeName(first.state().Places.WavDir) + "4.wav\nRepeat=1\n"));
    first.station.reset();

    StationFixture third(false);
    third.station
        = std::make_unique<VoiceVocta>(third.device, third.lines, third.dialogs, third.server,
                                       third.input, third.preview, first.programDir());
    third.station->Form_Load();
    chooseFile(third, 1, third.state().Places.WavDir + QStringLiteral("5.wav"));
    QVERIFY(third.dialogs.notices.isEmpty());
    QVERIFY(fileBytes(ini).contains(
        "[MEMORY_2]\nFileName=" + QFile::encodeName(third.state().Places.WavDir) + "5.wav\n"));
}

QTEST_MAIN(TestSettingsFaults)
#include "tst_settingsfaults.moc"
