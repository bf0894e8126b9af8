// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/StationFixture.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

// The installed program folder: it runs wherever it is copied, finds its pictures and sounds
// beside itself, and ends cleanly when the system asks it to.
class TestProgramFolder : public QObject
{
    Q_OBJECT

private slots:
    void installGivesTheBuildFoldersLayout();
    void copiedFolderRunsAndSavesBesideItself();
    void terminationAtTheStartEndsInOrder();

private:
    QString install(const QString &prefix);
};

QString TestProgramFolder::install(const QString &prefix)
{
    QProcess cmake;
    cmake.start(QStringLiteral(VV_CMAKE_COMMAND),
                {"--install", QStringLiteral(VV_BUILD_DIR), "--prefix", prefix});
    if (!cmake.waitForFinished(60000) || cmake.exitCode() != 0)
        return QString::fromLocal8Bit(cmake.readAllStandardError() + cmake.readAllStandardOutput());
    return {};
}

void TestProgramFolder::installGivesTheBuildFoldersLayout()
{
    QTemporaryDir dir;
    const QString error = install(dir.path());
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(QFileInfo(dir.filePath("voicevocta")).isExecutable());
    QVERIFY(QFileInfo(dir.filePath("voicevocta-guard")).isExecutable());
    for (const char *file :
         {"Images/ontheair.bmp", "Images/receive.bmp", "Wav/Default.wav", "Wav/1.wav", "Wav/2.wav",
          "Wav/3.wav", "Wav/4.wav", "Wav/5.wav", "Wav/6.wav", "Wav/tune.mid"}) {
        QVERIFY2(QFile::exists(dir.filePath(file)), file);
        QVERIFY2(QFile::exists(QStringLiteral(VV_BUILD_DIR "/") + file), file);
    }
    // Only the program folder and the helper programs beside it: what makes the package a
    // desktop program stays out of it.
    QCOMPARE(QDir(dir.path())
                 .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name),
             (QStringList{"Images", "Wav", "voicevocta", "voicevocta-guard", "voicevocta-send"}));
}

void TestProgramFolder::copiedFolderRunsAndSavesBesideItself()
{
    QTemporaryDir first;
    const QString error = install(first.path());
    QVERIFY2(error.isEmpty(), qPrintable(error));

    // Copy the installed folder elsewhere, as an operator moving the program would.
    QTemporaryDir second;
    const QString moved = second.filePath("Station Copy");
    QDirIterator it(first.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString from = it.next();
        const QString to = moved + from.mid(first.path().size());
        QDir().mkpath(QFileInfo(to).path());
        QVERIFY(QFile::copy(from, to));
    }
    QVERIFY(QFile::setPermissions(moved + "/voicevocta",
                                  QFile::permissions(first.filePath("voicevocta"))));

    // Started from another working directory, with arguments it must ignore.
    QTemporaryDir elsewhere;
    QProcess program;
    program.setWorkingDirectory(elsewhere.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("SDL_AUDIODRIVER", "dummy");
    program.setProcessEnvironment(env);
    program.start(moved + "/voicevocta", {"--help", "-x", "vocta.ini"});
    QVERIFY(program.waitForStarted(10000));
    QTest::qWait(1500);
    QCOMPARE(program.state(), QProcess::Running);

    ::kill(pid_t(program.processId()), SIGTERM);
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    const QByteArray said = program.readAllStandardError();
    QVERIFY2(!said.contains("cannot load"), said.constData());

    // The settings were saved once, beside the moved program, with its own sound folder.
    QFile ini(moved + "/vocta.ini");
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll();
    QVERIFY2(text.contains(QString("FileName=" + moved + "/Wav/1.wav").toUtf8()), text.constData());
    QVERIFY(!QFile::exists(elsewhere.filePath("vocta.ini")));
}

// SIGTERM before anything of the program has run (sent to it while it was still blocked): the
// program starts up all the same and ends in order, its settings saved.
void TestProgramFolder::terminationAtTheStartEndsInOrder()
{
    QTemporaryDir folder;
    StationFixture::populateProgramFolder(folder.path());
    const QString built = QStringLiteral(VV_PROGRAM_DIR "/voicevocta");
    QVERIFY(QFile::copy(built, folder.filePath("voicevocta")));
    QVERIFY(QFile::setPermissions(folder.filePath("voicevocta"), QFile::permissions(built)));

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("SDL_AUDIODRIVER", "dummy");
    program.setProcessEnvironment(env);
    program.setChildProcessModifier([] {
        sigset_t term;
        sigemptyset(&term);
        sigaddset(&term, SIGTERM);
        ::sigprocmask(SIG_BLOCK, &term, nullptr);
        ::raise(SIGTERM); // pending across exec
    });
    program.start(folder.filePath("voicevocta"), {});
    QVERIFY(program.waitForStarted(10000));
    const bool ended = program.waitForFinished(60000);
    if (!ended) {
        program.kill();
        program.waitForFinished(10000);
    }
    QVERIFY2(ended, "the program did not end on its SIGTERM");
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(QFile::exists(folder.filePath("vocta.ini")));
}

QTEST_GUILESS_MAIN(TestProgramFolder)
#include "tst_programfolder.moc"
