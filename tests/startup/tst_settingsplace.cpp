// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsPlace.h"
#include "tests/support/StationFixture.h"
#include "tests/support/StderrCapture.h"
#include "tests/support/TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <functional>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

// Where the settings go: beside a program folder that can be written, else into the user's own
// folders, beginning from the program folder's settings. The read-only program folder is real:
// the program runs as a separate process, as a user who cannot write it (the administrator can
// write any folder, so the tests run it as "nobody" when they run as root).
class TestSettingsPlace : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void writableFolderKeepsEverythingBesideTheProgram();
    void userFolders_data();
    void userFolders();
    void uncreatableFolderKeepsTheSettingsForTheNextSave();
    void layouts_data();
    void layouts();
    void brokenSiteDefaultGivesTheDefaults_data();
    void brokenSiteDefaultGivesTheDefaults();

    void readOnlyFolderSavesInTheConfigFolder();
    void firstStartBeginsFromTheSiteDefault();
    void configFolderCannotBeMade_data();
    void configFolderCannotBeMade();
    void programFolderTurnsReadOnlyWhileRunning();
    void installedProgramWritesOnlyTheUsersFolders_data();
    void installedProgramWritesOnlyTheUsersFolders();

private:
    struct Run
    {
        int exitCode = -1;
        QByteArray said; // standard error
    };
    // A program folder (the program, Images/, Wav/), and a home folder and a runtime folder for
    // the child's user.
    struct Station
    {
        QTemporaryDir root;
        QString program;
        QString home;
        QString runtime;
        bool asTester = false; // run as the test's own user, be it root
    };

    // The program in `programDir` with Images/ and Wav/ in `filesDir` (none when empty), both
    // relative to the station's root.
    void makeStation(Station &station, const QString &programDir = QStringLiteral("Station"),
                     const QString &filesDir = QStringLiteral("Station"));
    // Runs the program in `dir` until it has started, then `meanwhile`, then asks it to end.
    Run run(const Station &station, const QStringList &extraEnvironment = {},
            const std::function<void()> &meanwhile = {});
    // The folder and everything in it belongs to the child's user.
    void giveToChild(const QString &path);
    static void setMode(const QString &path, mode_t mode);

    uid_t m_childUid = ::geteuid();
    gid_t m_childGid = ::getegid();
    bool m_switchUser = false;
    QString m_skipReason;
};

namespace {

QProcessEnvironment plainEnvironment(const QString &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name :
         {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_DIRS"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("HOME"), home);
    return env;
}

int countLines(const QByteArray &text, const QByteArray &what)
{
    int n = 0;
    for (const QByteArray &line : text.split('\n'))
        n += line.contains(what);
    return n;
}

const QByteArray SiteDefault = "; set up by the club's administrator\n"
                               "[COM]\nNum=3\nRts=1\n\n"
                               "[MEMORY_2]\nFileName=/srv/club/cq.wav\nDelay=1500\n\n"
                               "[Logger]\nStation=N0CALL\n";

} // namespace

void TestSettingsPlace::initTestCase()
{
    if (::geteuid() != 0)
        return;
    // The administrator writes every folder: the program runs as "nobody" instead.
    const passwd *nobody = ::getpwnam("nobody");
    if (!nobody) {
        m_skipReason = QStringLiteral("running as root and there is no user \"nobody\" to run "
                                      "the program as");
        return;
    }
    m_childUid = nobody->pw_uid;
    m_childGid = nobody->pw_gid;
    m_switchUser = true;
    QProcess probe;
    probe.start(QStringLiteral("setpriv"),
                {QStringLiteral("--reuid=%1").arg(m_childUid),
                 QStringLiteral("--regid=%1").arg(m_childGid), QStringLiteral("--clear-groups"),
                 QStringLiteral("true")});
    if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit
        || probe.exitCode() != 0)
        m_skipReason = QStringLiteral("running as root and setpriv cannot switch to \"nobody\" "
                                      "here (%1)")
                           .arg(QString::fromLocal8Bit(probe.readAllStandardError()).trimmed());
}

void TestSettingsPlace::setMode(const QString &path, mode_t mode)
{
    QVERIFY2(::chmod(QFile::encodeName(path).constData(), mode) == 0, qPrintable(path));
}

void TestSettingsPlace::giveToChild(const QString &path)
{
    if (!m_switchUser)
        return;
    QVERIFY(::chown(QFile::encodeName(path).constData(), m_childUid, m_childGid) == 0);
    QDir dir(path);
    for (const QFileInfo &entry :
         dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        if (entry.isDir())
            giveToChild(entry.filePath());
        else
            QVERIFY(::chown(QFile::encodeName(entry.filePath()).constData(), m_childUid, m_childGid)
                    == 0);
    }
}

void TestSettingsPlace::makeStation(Station &station, const QString &programDir,
                                    const QString &filesDir)
{
    QVERIFY(station.root.isValid());
    // The child's user must reach the folders.
    setMode(station.root.path(), 0755);
    station.program = station.root.filePath(programDir);
    station.home = station.root.filePath(QStringLiteral("home"));
    QVERIFY(QDir().mkpath(station.program));
    station.runtime = station.root.filePath(QStringLiteral("run"));
    QVERIFY(QDir().mkpath(station.home));
    QVERIFY(QDir().mkpath(station.runtime));
    giveToChild(station.home);
    giveToChild(station.runtime);
    setMode(station.runtime, 0700);
    if (!filesDir.isEmpty())
        StationFixture::populateProgramFolder(station.root.filePath(filesDir));
    const QString exe = station.program + QStringLiteral("/voicevocta");
    QVERIFY(QFile::copy(QStringLiteral(VV_PROGRAM_DIR "/voicevocta"), exe));
    setMode(exe, 0755);
}

TestSettingsPlace::Run TestSettingsPlace::run(const Station &station,
                                              const QStringList &extraEnvironment,
                                              const std::function<void()> &meanwhile)
{
    QProcessEnvironment env = plainEnvironment(station.home);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), station.runtime);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
    for (const QString &assignment : extraEnvironment)
        env.insert(assignment.section(QLatin1Char('='), 0, 0),
                   assignment.section(QLatin1Char('='), 1));

    QProcess program;
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(station.home);
    const QString exe = station.program + QStringLiteral("/voicevocta");
    if (m_switchUser && !station.asTester)
        program.start(QStringLiteral("setpriv"),
                      {QStringLiteral("--reuid=%1").arg(m_childUid),
                       QStringLiteral("--regid=%1").arg(m_childGid),
                       QStringLiteral("--clear-groups"), QStringLiteral("--"), exe});
    else
        program.start(exe);
    Run result;
    if (!program.waitForStarted(10000))
        return result;

    // Started once it has named its settings file (slow under a sanitizer on a busy machine).
    QByteArray said;
    QDeadlineTimer deadline(60000);
    while (!said.contains("Settings file:") && !deadline.hasExpired()
           && program.state() == QProcess::Running) {
        program.waitForReadyRead(200);
        said += program.readAllStandardError();
    }
    if (meanwhile)
        meanwhile();
    ::kill(pid_t(program.processId()), SIGTERM);
    if (!program.waitForFinished(60000)) {
        program.kill();
        program.waitForFinished(10000);
        return result;
    }
    result.said = said + program.readAllStandardError();
    result.exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    return result;
}

void TestSettingsPlace::writableFolderKeepsEverythingBesideTheProgram()
{
    QTemporaryDir dir;
    const SettingsPlace place = SettingsPlace::choose(dir.path());
    QVERIFY(place.portable);
    QCOMPARE(place.iniFile, dir.path() + QStringLiteral("/vocta.ini"));
    QCOMPARE(place.recordDir, dir.path() + QStringLiteral("/Wav/"));
    QVERIFY(place.siteDefault.isEmpty());
    // Trying the folder left nothing behind.
    QVERIFY(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));

    // The station started there keeps its recordings beside the program too.
    StationFixture f;
    QCOMPARE(f.state().Places.IniFile, f.programDir() + QStringLiteral("/vocta.ini"));
    QCOMPARE(f.state().Places.RecordDir, f.state().Places.WavDir);

    // A folder that is not there (or is a file) cannot be written.
    QVERIFY(!SettingsPlace::folderWritable(dir.filePath(QStringLiteral("gone"))));
    TestFiles::put(dir.filePath(QStringLiteral("file")), "x");
    QVERIFY(!SettingsPlace::folderWritable(dir.filePath(QStringLiteral("file"))));
}

void TestSettingsPlace::userFolders_data()
{
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("iniFile");
    QTest::addColumn<QString>("recordDir");
    QTest::newRow("defaults") << QStringList{"HOME=/home/op"}
                              << "/home/op/.config/voicevocta/vocta.ini"
                              << "/home/op/.local/share/voicevocta/Wav/";
    QTest::newRow("XDG folders") << QStringList{"HOME=/home/op", "XDG_CONFIG_HOME=/cfg/",
                                                "XDG_DATA_HOME=/data"}
                                 << "/cfg/voicevocta/vocta.ini"
                                 << "/data/voicevocta/Wav/";
    // Relative or empty values are not valid base folders: the defaults hold.
    QTest::newRow("relative XDG folders")
        << QStringList{"HOME=/home/op", "XDG_CONFIG_HOME=cfg", "XDG_DATA_HOME=./data"}
        << "/home/op/.config/voicevocta/vocta.ini"
        << "/home/op/.local/share/voicevocta/Wav/";
    QTest::newRow("empty XDG folders")
        << QStringList{"HOME=/home/op", "XDG_CONFIG_HOME=", "XDG_DATA_HOME="}
        << "/home/op/.config/voicevocta/vocta.ini"
        << "/home/op/.local/share/voicevocta/Wav/";
    const passwd *me = ::getpwuid(::geteuid());
    const QString ownHome = me ? QDir::cleanPath(QFile::decodeName(me->pw_dir)) : QString();
    QTest::newRow("no HOME") << QStringList{} << ownHome + "/.config/voicevocta/vocta.ini"
                             << ownHome + "/.local/share/voicevocta/Wav/";
}

void TestSettingsPlace::userFolders()
{
    QFETCH(QStringList, environment);
    QFETCH(QString, iniFile);
    QFETCH(QString, recordDir);
    QProcessEnvironment env;
    for (const QString &assignment : environment)
        env.insert(assignment.section(QLatin1Char('='), 0, 0),
                   assignment.section(QLatin1Char('='), 1));

    const SettingsPlace place
        = SettingsPlace::choose(QStringLiteral("/opt/voicevocta"), false, env);
    QVERIFY(!place.portable);
    QCOMPARE(place.iniFile, iniFile);
    QCOMPARE(place.recordDir, recordDir);
    QCOMPARE(place.siteDefault, QStringLiteral("/opt/voicevocta/vocta.ini"));
}

void TestSettingsPlace::uncreatableFolderKeepsTheSettingsForTheNextSave()
{
    StationFixture f;
    // The settings belong in a folder that cannot be made: a file stands in its way.
    const QString blocker = f.programDir() + QStringLiteral("/config");
    TestFiles::put(blocker, "not a folder");
    SettingsPlace place = SettingsPlace::choose(f.programDir(), false,
                                                plainEnvironment(QStringLiteral("/home/op")));
    place.iniFile = blocker + QStringLiteral("/voicevocta/vocta.ini");
    f.state().Places.IniFile = place.iniFile;
    f.station->settings().setPlace(place);

    f.state().Ptt.ComNum = 4;
    {
        StderrCapture capture;
        f.station->settings().WriteMem();
        const QByteArray said = capture.text();
        QCOMPARE(said.count('\n'), 1);
        QVERIFY2(said.contains("Cannot save the settings to " + QFile::encodeName(place.iniFile)
                               + ": cannot create the folder " + QFile::encodeName(blocker)),
                 said.constData());
    }
    QVERIFY(f.station->settings().lastSaveFailed());

    // The window goes on; once the way is clear, the next save holds everything.
    f.clickMemory(1);
    f.device.finish();
    QVERIFY(QFile::remove(blocker));
    f.window().menuItem(QStringLiteral("Exit"))->trigger();
    QVERIFY(!f.station->settings().lastSaveFailed());
    const QByteArray saved = TestFiles::contents(place.iniFile);
    QVERIFY2(saved.startsWith("[COM]\nNum=4\n"), saved.constData());
    QCOMPARE(QFileInfo(blocker + QStringLiteral("/voicevocta")).permissions()
                 & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther),
             QFileDevice::Permissions());
}

void TestSettingsPlace::layouts_data()
{
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QString>("appDir");
    QTest::addColumn<QString>("dataDir"); // empty: a program folder, beside the program
    QTest::addColumn<QString>("missing");
    const QStringList shared{"usr/bin", "usr/share/voicevocta/Images", "usr/share/voicevocta/Wav"};
    const QString share = QStringLiteral("usr/share/voicevocta");
    const QString none;
    QTest::newRow("installed") << shared << "usr/bin" << share << none;
    QTest::newRow("half-copied install") << QStringList{"usr/bin"} << "usr/bin" << share << share;
    QTest::newRow("shared sounds missing")
        << shared.mid(0, 2) << "usr/bin" << share << "usr/share/voicevocta/Wav";
    QTest::newRow("program folder in bin")
        << shared + QStringList{"usr/bin/Images", "usr/bin/Wav"} << "usr/bin" << none << none;
    QTest::newRow("program folder without Wav")
        << QStringList{"Station/Images"} << "Station" << none << "Station/Wav";
}

void TestSettingsPlace::layouts()
{
    QFETCH(QStringList, folders);
    QFETCH(QString, appDir);
    QFETCH(QString, dataDir);
    QFETCH(QString, missing);
    QTemporaryDir root;
    for (const QString &folder : folders)
        QVERIFY(QDir(root.path()).mkpath(folder));

    const SettingsPlace place = SettingsPlace::choose(root.filePath(appDir),
                                                      plainEnvironment(QStringLiteral("/home/op")));
    QCOMPARE(place.missing,
             missing.isEmpty() ? QStringList() : QStringList{root.filePath(missing)});
    QCOMPARE(place.installed, !dataDir.isEmpty());
    if (dataDir.isEmpty()) {
        QCOMPARE(place.dataDir, root.filePath(appDir));
        QCOMPARE(place.iniFile, root.filePath(appDir) + QStringLiteral("/vocta.ini"));
        return;
    }
    // Installed: never beside the program, and the administrator's site default.
    QCOMPARE(place.dataDir, root.filePath(dataDir));
    QCOMPARE(place.iniFile, QStringLiteral("/home/op/.config/voicevocta/vocta.ini"));
    QCOMPARE(place.recordDir, QStringLiteral("/home/op/.local/share/voicevocta/Wav/"));
    QCOMPARE(place.siteDefault, QStringLiteral("/etc/voicevocta/vocta.ini"));
}

void TestSettingsPlace::brokenSiteDefaultGivesTheDefaults_data()
{
    QTest::addColumn<QByteArray>("site"); // "/": a folder in its place
    QTest::addColumn<bool>("readable");
    QTest::newRow("UTF-16") << QByteArray("\xFF\xFE[\0C\0O\0M\0]\0\n\0", 14) << true;
    QTest::newRow("binary") << QByteArray("\x7F"
                                          "ELF\2\1\1\0\0\0[COM]\nNum=3\n",
                                          20)
                            << true;
    QTest::newRow("text without sections") << QByteArray("Num=3\nnot a settings file\n") << true;
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("a folder") << QByteArray("/") << true;
    QTest::newRow("unreadable") << SiteDefault << false;
}

void TestSettingsPlace::brokenSiteDefaultGivesTheDefaults()
{
    QFETCH(QByteArray, site);
    QFETCH(bool, readable);
    if (!readable && ::geteuid() == 0)
        QSKIP("the administrator reads every file");
    StationFixture f;
    QTemporaryDir dir;
    const QString sitePath = dir.filePath(QStringLiteral("vocta.ini"));
    if (site == "/")
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("vocta.ini")));
    else
        TestFiles::put(sitePath, site);
    if (!readable)
        setMode(sitePath, 0);
    const SettingsPlace place = SettingsPlace::installedLayout(
        f.programDir(), f.programDir(), plainEnvironment(dir.filePath(QStringLiteral("home"))),
        sitePath);
    f.state().Places.IniFile = place.iniFile;
    f.station->settings().setPlace(place);

    StderrCapture capture;
    f.station->settings().ReadMem();
    f.station->settings().WriteMem();
    const QByteArray said = capture.text();
    QCOMPARE(said.count('\n'), 1);
    QVERIFY2(said.contains("Cannot start from the site's settings " + QFile::encodeName(sitePath)),
             said.constData());
    QVERIFY(!f.station->settings().startedFromSiteDefault());
    // The user's file holds the defaults alone; the site default is as it was.
    const QByteArray saved = TestFiles::contents(place.iniFile);
    QVERIFY2(saved.startsWith("[COM]\nNum=1\nRts=0\n"), saved.constData());
    if (!readable)
        setMode(sitePath, 0644);
    QCOMPARE(TestFiles::contents(sitePath), site == "/" ? "<unreadable>" : site);
}

void TestSettingsPlace::readOnlyFolderSavesInTheConfigFolder()
{
    if (!m_skipReason.isEmpty())
        QSKIP(qPrintable(m_skipReason));
    Station station;
    makeStation(station);
    setMode(station.program, 0555);
    const QString config = station.home + QStringLiteral("/.config/voicevocta/vocta.ini");

    const Run result = run(station);
    setMode(station.program, 0755);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(countLines(result.said, "voicevocta: Settings file: " + QFile::encodeName(config)), 1);
    QVERIFY2(!result.said.contains("Cannot save"), result.said.constData());

    // The defaults, with the shipped sounds of the program folder.
    const QByteArray saved = TestFiles::contents(config);
    QVERIFY2(saved.contains("[MEMORY_1]\nFileName=" + QFile::encodeName(station.program)
                            + "/Wav/1.wav\nRepeat=0\nDelay=4500\n"),
             saved.constData());
    // Nothing was left in the program folder beside the program and its hamlib module.
    QCOMPARE(QDir(station.program).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"voicevocta", "voicevocta-hamlib.so"}));
}

void TestSettingsPlace::firstStartBeginsFromTheSiteDefault()
{
    if (!m_skipReason.isEmpty())
        QSKIP(qPrintable(m_skipReason));
    Station station;
    makeStation(station);
    const QString site = station.program + QStringLiteral("/vocta.ini");
    TestFiles::put(site, SiteDefault);
    setMode(site, 0644);
    setMode(station.program, 0555);
    const QString configHome = station.home + QStringLiteral("/cfg");
    const QString config = configHome + QStringLiteral("/voicevocta/vocta.ini");
    const QStringList env{"XDG_CONFIG_HOME=" + configHome};

    Run result = run(station, env);
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.said.contains("it starts from " + QFile::encodeName(site)),
             result.said.constData());
    QByteArray saved = TestFiles::contents(config);
    // The site's settings, its comment and the keys of other programs; the rest defaults.
    QVERIFY2(saved.startsWith("; set up by the club's administrator\n[COM]\nNum=3\nRts=1\n"),
             saved.constData());
    QVERIFY(saved.contains("[MEMORY_2]\nFileName=/srv/club/cq.wav\nDelay=1500\nRepeat=0\n"));
    QVERIFY(saved.contains("[Logger]\nStation=N0CALL\n"));
    QVERIFY(saved.contains("[MEMORY_1]\nFileName=" + QFile::encodeName(station.program)
                           + "/Wav/1.wav\n"));
    QCOMPARE(TestFiles::contents(site), SiteDefault);

    // From now on the user's own file holds: the site default is not read again.
    saved.replace("Num=3", "Num=5");
    TestFiles::put(config, saved);
    result = run(station, env);
    setMode(station.program, 0755);
    QCOMPARE(result.exitCode, 0);
    QVERIFY(!result.said.contains("it starts from"));
    QVERIFY(TestFiles::contents(config).contains("[COM]\nNum=5\n"));
    QCOMPARE(TestFiles::contents(site), SiteDefault);
}

void TestSettingsPlace::configFolderCannotBeMade_data()
{
    QTest::addColumn<bool>("readOnlyConfig");
    QTest::newRow("read-only ~/.config") << true;
    QTest::newRow("a file in the way") << false;
}

void TestSettingsPlace::configFolderCannotBeMade()
{
    if (!m_skipReason.isEmpty())
        QSKIP(qPrintable(m_skipReason));
    QFETCH(bool, readOnlyConfig);
    Station station;
    makeStation(station);
    setMode(station.program, 0555);
    QStringList env;
    QString config;
    if (readOnlyConfig) {
        const QString dotConfig = station.home + QStringLiteral("/.config");
        QVERIFY(QDir().mkpath(dotConfig));
        giveToChild(dotConfig);
        setMode(dotConfig, 0555);
        config = dotConfig + QStringLiteral("/voicevocta/vocta.ini");
    } else {
        const QString file = station.home + QStringLiteral("/file");
        TestFiles::put(file, "x");
        env << "XDG_CONFIG_HOME=" + file;
        config = file + QStringLiteral("/voicevocta/vocta.ini");
    }

    const Run result = run(station, env);
    setMode(station.program, 0755);
    if (readOnlyConfig)
        setMode(station.home + QStringLiteral("/.config"), 0755);
    // One clear line, and the program ends as it should.
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(countLines(result.said, "Cannot save the settings to " + QFile::encodeName(config)
                                         + ": cannot create the folder"),
             1);
    QCOMPARE(countLines(result.said, "voicevocta: "), 2); // with the settings file's name
    QVERIFY(!QFile::exists(config));
    QVERIFY(!QFile::exists(station.program + QStringLiteral("/vocta.ini")));
}

void TestSettingsPlace::programFolderTurnsReadOnlyWhileRunning()
{
    if (!m_skipReason.isEmpty())
        QSKIP(qPrintable(m_skipReason));
    Station station;
    makeStation(station);
    const QString ini = station.program + QStringLiteral("/vocta.ini");
    const QByteArray before = "[COM]\nNum=2\n";
    TestFiles::put(ini, before);
    giveToChild(station.program);

    const Run result = run(station, {}, [&] { setMode(station.program, 0555); });
    setMode(station.program, 0755);
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(countLines(result.said, "Settings file: " + QFile::encodeName(ini)), 1);
    QCOMPARE(countLines(result.said, "Cannot save the settings to " + QFile::encodeName(ini)), 1);
    // What was saved before is whole; the settings did not go anywhere else.
    QCOMPARE(TestFiles::contents(ini), before);
    QVERIFY(!QFile::exists(station.home + QStringLiteral("/.config")));
}

void TestSettingsPlace::installedProgramWritesOnlyTheUsersFolders_data()
{
    QTest::addColumn<bool>("whole");
    QTest::newRow("installed") << true;
    QTest::newRow("half-copied") << false;
}

void TestSettingsPlace::installedProgramWritesOnlyTheUsersFolders()
{
    QFETCH(bool, whole);
    if (QFileInfo::exists(QLatin1String(SettingsPlace::InstalledSiteDefault)))
        QSKIP("this machine has a site default in /etc/voicevocta");
    Station station;
    station.asTester = true; // the administrator too
    makeStation(station, QStringLiteral("usr/bin"),
                whole ? QStringLiteral("usr/share/voicevocta") : QString());
    const QString usr = station.root.filePath(QStringLiteral("usr"));
    const auto listing = [&] {
        QStringList entries;
        QDirIterator it(usr, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo entry(it.next());
            entries << entry.filePath() + QLatin1Char(' ')
                           + entry.lastModified().toString(Qt::ISODateWithMs);
        }
        entries.sort();
        return entries;
    };
    const QStringList before = listing();

    const Run result = run(station);
    QCOMPARE(result.exitCode, 0);
    const QString config = station.home + QStringLiteral("/.config/voicevocta/vocta.ini");
    QCOMPARE(countLines(result.said, "voicevocta: Settings file: " + QFile::encodeName(config)), 1);
    QVERIFY(!result.said.contains("not writable"));
    const QByteArray share = QFile::encodeName(usr) + "/share/voicevocta";
    QCOMPARE(countLines(result.said, share + " is missing"), whole ? 0 : 1);
    QVERIFY2(TestFiles::contents(config).contains("[MEMORY_1]\nFileName=" + share + "/Wav/1.wav\n"),
             result.said.constData());
    QCOMPARE(listing(), before);
}

QTEST_MAIN(TestSettingsPlace)
#include "tst_settingsplace.moc"
