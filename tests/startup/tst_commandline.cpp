// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/StationFixture.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

// The program as a process: whatever its command line holds, even the toolkit's own options, it
// starts, looks and saves as it does without one; only --help and --version, each alone, are
// answered. The toolkit's environment variables still act.
class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void toolkitOptionsChangeNothing();
    void titleOptionLeavesTheTitle();
    void helpAndVersionAlone();

private:
    struct Run
    {
        bool started = false;
        QProcess::ExitStatus status = QProcess::CrashExit;
        int exitCode = -1;
        QByteArray said; // standard error
        QImage window; // the window as last drawn
        QByteArray settings; // vocta.ini after the end, its folder named "<folder>"
    };
    // Runs a fresh copy of the program with `arguments` on the minimal platform, which saves every
    // picture it draws into the working directory; ends it with SIGTERM once it has drawn.
    Run run(const QStringList &arguments);
};

namespace {
// The toolkit options a command line could carry; none of them may act.
const QStringList toolkitOptions{
    "-platform",   "nosuch",      "-qwindowtitle",    "Not The Title",    "-reverse",  "-style",
    "nosuchstyle", "-stylesheet", "/nonexistent.qss", "-qwindowgeometry", "100x50+0+0"};

// A program folder of its own: the executable with its pictures and sounds.
bool makeProgramFolder(const QString &dir)
{
    StationFixture::populateProgramFolder(dir);
    const QString program = QStringLiteral(VV_PROGRAM_DIR "/voicevocta");
    return QFile::copy(program, dir + "/voicevocta")
           && QFile::setPermissions(dir + "/voicevocta", QFile::permissions(program));
}

QStringList pictures(const QString &dir)
{
    return QDir(dir).entryList({"output*.png"}, QDir::Files, QDir::Name);
}

QImage lastPicture(const QString &dir)
{
    const QStringList all = pictures(dir);
    return all.isEmpty() ? QImage() : QImage(dir + '/' + all.last());
}

// Ends a running process with SIGTERM, as a desktop logging out would; false when it was not
// running or did not end.
bool terminate(QProcess &process)
{
    const qint64 pid = process.processId();
    if (process.state() != QProcess::Running || pid <= 0)
        return false;
    ::kill(pid_t(pid), SIGTERM);
    return process.waitForFinished(15000);
}
} // namespace

TestCommandLine::Run TestCommandLine::run(const QStringList &arguments)
{
    Run result;
    QTemporaryDir folder;
    QTemporaryDir workingDir;
    if (!makeProgramFolder(folder.path()))
        return result;

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "minimal");
    env.insert("QT_DEBUG_BACKINGSTORE", "1");
    env.insert("SDL_AUDIODRIVER", "dummy");
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(workingDir.path());
    program.start(folder.filePath("voicevocta"), arguments);
    if (!program.waitForStarted(10000))
        return result;
    result.started = true;

    // Running, and the window drawn; then a little longer, so that the last picture is final.
    (void)QTest::qWaitFor(
        [&] {
            return program.state() != QProcess::Running || !pictures(workingDir.path()).isEmpty();
        },
        20000);
    QTest::qWait(1000);
    if (!terminate(program))
        program.kill();
    program.waitForFinished(5000);
    result.status = program.exitStatus();
    result.exitCode = program.exitCode();
    result.said = program.readAllStandardError();
    result.window = lastPicture(workingDir.path());
    result.settings = TestFiles::contents(folder.filePath("vocta.ini"))
                          .replace(QFile::encodeName(folder.path()), "<folder>");
    return result;
}

void TestCommandLine::toolkitOptionsChangeNothing()
{
    const Run plain = run({});
    QVERIFY(plain.started);
    QCOMPARE(plain.status, QProcess::NormalExit);
    QVERIFY2(!plain.window.isNull(), plain.said.constData());

    const Run given = run(toolkitOptions + QStringList{"--version"});
    QVERIFY(given.started);
    // It ran on the platform its environment names and ended on SIGTERM as usual ...
    QVERIFY2(given.status == QProcess::NormalExit, given.said.constData());
    QCOMPARE(given.exitCode, 0);
    // ... drew the same window, neither mirrored nor restyled nor resized ...
    QVERIFY2(!given.window.isNull(), given.said.constData());
    QCOMPARE(given.window.size(), plain.window.size());
    QVERIFY(given.window == plain.window);
    // ... and saved its settings, as without the options.
    QVERIFY2(given.settings.startsWith("[COM]"), given.settings.constData());
    QCOMPARE(given.settings, plain.settings);
}

void TestCommandLine::titleOptionLeavesTheTitle()
{
    // A window's title is seen only by a window system.
    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    const QString xwininfo = QStandardPaths::findExecutable("xwininfo");
    if (xvfb.isEmpty() || xwininfo.isEmpty())
        QSKIP("Xvfb and xwininfo are needed to read a window's title");

    QProcess server;
    server.start(xvfb, {"-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"});
    QVERIFY(server.waitForStarted(10000));
    (void)QTest::qWaitFor([&] { return server.canReadLine(); }, 15000);
    const QByteArray number = server.readLine().trimmed();
    if (number.isEmpty()) {
        server.kill();
        server.waitForFinished();
        QSKIP("Xvfb did not start");
    }
    const QString display = ':' + QString::fromLatin1(number);

    QTemporaryDir folder;
    QVERIFY(makeProgramFolder(folder.path()));
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DISPLAY", display);
    env.insert("SDL_AUDIODRIVER", "dummy");
    program.setProcessEnvironment(env);
    // Every toolkit option but the platform, which the environment names here.
    program.start(folder.filePath("voicevocta"), toolkitOptions.mid(2));
    QVERIFY(program.waitForStarted(10000));

    // The windows the server knows, with their titles.
    const auto listWindows = [&] {
        QProcess list;
        list.start(xwininfo, {"-display", display, "-root", "-tree"});
        list.waitForFinished(5000);
        return list.readAllStandardOutput();
    };
    (void)QTest::qWaitFor(
        [&] {
            const QByteArray windows = listWindows();
            return program.state() != QProcess::Running || windows.contains("\"Voice Vocta\"")
                   || windows.contains("Not The Title");
        },
        20000);
    // The title may change when the window is first shown: look again once it has settled.
    QTest::qWait(1500);
    const QByteArray windows = listWindows();
    const bool ended = terminate(program);
    server.terminate();
    server.waitForFinished(5000);

    QVERIFY2(windows.contains("\"Voice Vocta\""),
             (windows + program.readAllStandardError()).constData());
    QVERIFY(!windows.contains("Not The Title"));
    QVERIFY(ended);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QVERIFY(QFile::exists(folder.filePath("vocta.ini")));
}

// Answered on standard output, with no window and no settings file.
void TestCommandLine::helpAndVersionAlone()
{
    QTemporaryDir folder;
    QVERIFY(makeProgramFolder(folder.path()));
    for (const char *argument : {"--help", "-h", "--version"}) {
        QProcess program;
        program.start(folder.filePath("voicevocta"), {argument});
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        const QByteArray out = program.readAllStandardOutput();
        QVERIFY2(argument[2] == 'v' ? out == "voicevocta " VV_VERSION "\n"
                                    : out.startsWith("Usage: voicevocta [--help | --version]\n"),
                 out.constData());
        QCOMPARE(program.readAllStandardError(), QByteArray());
    }
    QVERIFY(!QFile::exists(folder.filePath("vocta.ini")));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
