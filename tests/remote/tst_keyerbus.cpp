// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/PrivateBus.h"
#include "tests/support/StationFixture.h"
#include "tests/support/StderrCapture.h"

#include "remote/KeyerAdaptor.h"
#include "remote/KeyerService.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>
#include <sys/stat.h>

// The keyer interface on a private session bus, called by a client process (gdbus) as a logger
// or a script calls it: each method, each property, the signals; a second copy of the program
// that finds the name taken; the program without any session bus.
class TestKeyerBus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void propertiesAtRest();
    void playAndStop();
    void lateRequestsAreRefused();
    void refusedPlays_data();
    void refusedPlays();
    void repeatWait();
    void fileMessages();
    void lockAndStandby();
    void signalsFollowEveryChange();
    void secondServiceFindsTheNameTaken();
    void secondProgramRunsWithoutTheInterface();
    void programWithoutSessionBusIsSilent_data();
    void programWithoutSessionBusIsSilent();

private:
    // Runs gdbus with `arguments` and returns what it printed (its error, when it failed), while
    // the station in this process goes on answering.
    QString gdbus(const QStringList &arguments);
    QString call(const QString &method, const QStringList &arguments = {});
    QString property(const QString &name);

    PrivateBus m_bus;
    int m_connections = 0;
    QString m_connectionName;
    std::unique_ptr<StationFixture> m_fixture;
    std::unique_ptr<KeyerService> m_service;
};

namespace {
const QString Service = QStringLiteral("org.voicevocta.Keyer");
const QString Path = QStringLiteral("/Keyer");
const QString Interface = QStringLiteral("org.voicevocta.Keyer1");

bool waitFor(const std::function<bool()> &condition, int milliseconds = 20000)
{
    return QTest::qWaitFor(condition, milliseconds);
}

// A running gdbus monitor of the keyer's signals.
class Monitor
{
public:
    explicit Monitor(const QProcessEnvironment &env)
    {
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStringLiteral("gdbus"),
                        {"monitor", "--session", "--dest", Service, "--object-path", Path});
    }
    ~Monitor()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    // Until it is listening: it says who owns the name once it has subscribed.
    bool ready()
    {
        return waitFor([this] { return text().contains(QLatin1String("is owned by")); });
    }
    QString text()
    {
        m_text += QString::fromLocal8Bit(m_process.readAll());
        return m_text;
    }
    // The lines that say a signal, from the `from`-th on.
    QStringList signalLines()
    {
        QStringList lines;
        for (const QString &line : text().split(QLatin1Char('\n'))) {
            if (line.startsWith(Path + QLatin1Char(':')))
                lines << line.mid(Path.size() + 2);
        }
        return lines;
    }

private:
    QProcess m_process;
    QString m_text;
};

// A program folder of its own: the executable with its pictures and sounds.
bool makeProgramFolder(const QString &dir)
{
    StationFixture::populateProgramFolder(dir);
    const QString program = QStringLiteral(VV_PROGRAM_DIR "/voicevocta");
    return QFile::copy(program, dir + "/voicevocta")
           && QFile::setPermissions(dir + "/voicevocta", QFile::permissions(program));
}

// The program, started headless in a folder of its own with `env`; its standard error is kept.
class Program
{
public:
    Program(const QProcessEnvironment &env)
    {
        m_ok = m_folder.isValid() && makeProgramFolder(m_folder.path());
        QProcessEnvironment e = env;
        e.insert("QT_QPA_PLATFORM", "offscreen");
        e.insert("SDL_AUDIODRIVER", "dummy");
        m_process.setProcessEnvironment(e);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        if (m_ok) {
            m_process.start(m_folder.filePath("voicevocta"), {});
            m_ok = m_process.waitForStarted(10000);
        }
    }
    ~Program() { end(); }
    bool started() const { return m_ok; }
    bool running() const { return m_process.state() == QProcess::Running; }
    QString said()
    {
        m_said += QString::fromLocal8Bit(m_process.readAllStandardError());
        return m_said;
    }
    // Ends it as a desktop logging out would, by its PID.
    bool end()
    {
        if (!running())
            return false;
        ::kill(pid_t(m_process.processId()), SIGTERM);
        if (waitFor([this] { return !running(); }, 15000))
            return m_process.exitStatus() == QProcess::NormalExit;
        m_process.kill();
        m_process.waitForFinished(5000);
        return false;
    }

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    QString m_said;
    bool m_ok = false;
};
} // namespace

void TestKeyerBus::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("gdbus")).isEmpty())
        QSKIP("gdbus (libglib2.0-bin) is not installed: tools/build.sh installs it");
    if (!m_bus.start())
        QSKIP(qPrintable(m_bus.errorString() + " (tools/build.sh installs dbus)"));
}

void TestKeyerBus::cleanupTestCase()
{
    m_bus.stop();
}

void TestKeyerBus::init()
{
    m_fixture = std::make_unique<StationFixture>();
    m_connectionName = QStringLiteral("station%1").arg(++m_connections);
    const QDBusConnection connection
        = QDBusConnection::connectToBus(m_bus.address(), m_connectionName);
    QVERIFY(connection.isConnected());
    m_service = std::make_unique<KeyerService>(m_fixture->station->remote());
    QVERIFY(m_service->start(connection));
}

void TestKeyerBus::cleanup()
{
    m_service.reset();
    m_fixture.reset();
    QDBusConnection::disconnectFromBus(m_connectionName);
}

QString TestKeyerBus::gdbus(const QStringList &arguments)
{
    QProcess client;
    client.setProcessEnvironment(m_bus.environment());
    client.start(QStringLiteral("gdbus"), arguments);
    if (!waitFor([&client] { return client.state() == QProcess::NotRunning; }))
        return QStringLiteral("(gdbus did not end)");
    if (client.exitStatus() != QProcess::NormalExit || client.exitCode() != 0)
        return QStringLiteral("error: ") + QString::fromLocal8Bit(client.readAllStandardError());
    return QString::fromLocal8Bit(client.readAllStandardOutput()).trimmed();
}

QString TestKeyerBus::call(const QString &method, const QStringList &arguments)
{
    return gdbus(QStringList{"call", "--session", "--dest", Service, "--object-path", Path,
                             "--method", Interface + QLatin1Char('.') + method}
                 + arguments);
}

QString TestKeyerBus::property(const QString &name)
{
    return gdbus({"call", "--session", "--dest", Service, "--object-path", Path, "--method",
                  "org.freedesktop.DBus.Properties.Get", Interface, name});
}

void TestKeyerBus::propertiesAtRest()
{
    QCOMPARE(gdbus({"call", "--session", "--dest", Service, "--object-path", Path, "--method",
                    "org.freedesktop.DBus.Properties.GetAll", Interface}),
             QString("({'Focus': <1>, 'Inhibited': <''>, 'Keyer': <'ready'>, 'Kind': <'memory'>, "
                     "'LastEnd': <'none'>, 'Lock': <false>, 'Memory': <0>, 'OnAir': <false>, "
                     "'Radio': <1>, 'Radios': <1>, 'RepeatDue': <0>, 'Standby': <false>, 'State': "
                     "<'idle'>},)"));
    // What a client learns of the interface.
    const QString introspection
        = gdbus({"introspect", "--session", "--dest", Service, "--object-path", Path});
    for (const char *member : {"Play(in  i memory,",
                               "out b ",
                               "Stop(out b ",
                               "SetLock(in  b on)",
                               "SetStandby(in  b on)",
                               "Changed(s state,",
                               "i memory,",
                               "b onAir)",
                               "readonly s State",
                               "readonly i Memory",
                               "readonly b OnAir",
                               "readonly b Lock",
                               "readonly b Standby",
                               "readonly s Keyer",
                               "PlayFile(in  s path,",
                               "PlayText(in  s text,",
                               "out as missing,",
                               "out d seconds)",
                               "Prepare(in  s text,",
                               "readonly i RepeatDue",
                               "readonly s LastEnd",
                               "readonly s Kind"})
        QVERIFY2(introspection.contains(QLatin1String(member)),
                 qPrintable(QStringLiteral("%1 not in:\n%2").arg(member, introspection)));
}

void TestKeyerBus::playAndStop()
{
    StationFixture &f = *m_fixture;
    QCOMPARE(call("Stop"), QString("(false,)"));
    QVERIFY(f.window().Picture1()->isHidden());

    QCOMPARE(call("Play", {"3"}), QString("(true,)"));
    QCOMPARE(f.now().playing(), 1);
    QCOMPARE(f.now().memory, 2);
    QVERIFY(f.onAirPictureShown());
    QCOMPARE(property("State"), QString("(<'playing'>,)"));
    QCOMPARE(property("Memory"), QString("(<3>,)"));
    QCOMPARE(property("OnAir"), QString("(<true>,)"));

    QCOMPARE(call("Stop"), QString("(true,)"));
    QCOMPARE(f.now().playing(), 0);
    QCOMPARE(property("State"), QString("(<'idle'>,)"));
    QCOMPARE(property("Memory"), QString("(<3>,)"));
    QCOMPARE(property("OnAir"), QString("(<false>,)"));
    QCOMPARE(call("Stop"), QString("(false,)"));

    // Play on the busy memory stops it, as its click does.
    QCOMPARE(call("Play", {"5"}), QString("(true,)"));
    QCOMPARE(call("Play", {"5"}), QString("(true,)"));
    QCOMPARE(f.now().playing(), 0);
    QVERIFY(f.window().Picture1()->isHidden());
}

// A request that keys and says when it was sent is refused when it comes too late: its caller
// (voicevocta-send after its time-out) may have given up and said it failed. A release never is.
void TestKeyerBus::lateRequestsAreRefused()
{
    StationFixture &f = *m_fixture;
    const auto sent = [](qint64 agoMs) {
        return QString::number(QDateTime::currentMSecsSinceEpoch() - agoMs);
    };
    StderrCapture capture;
    const int refusals = f.now().refusals;
    QCOMPARE(call("PlaySentAt", {"1", sent(3000)}), QString("(false,)"));
    QCOMPARE(call("PlayFileSentAt", {f.state().Places.WavDir + "1.wav", sent(60000)}),
             QString("(false,)"));
    QVERIFY(call("PlayTextSentAt", {"cq", sent(-5000)}).startsWith("(false,"));
    QCOMPARE(call("SetLockSentAt", {"true", sent(2500)}), QString("(false,)"));
    QCOMPARE(f.now().playing(), 0);
    QVERIFY(!f.now().onAir && !f.now().lock);
    QCOMPARE(f.now().refusals, refusals + 4);
    QCOMPARE(capture.text().count("it was sent "), 4);

    QCOMPARE(call("SetLockSentAt", {"true", sent(0)}), QString("(true,)"));
    QVERIFY(f.now().lock);
    QCOMPARE(call("SetLockSentAt", {"false", sent(600000)}), QString("(true,)"));
    QVERIFY(!f.now().lock && !f.now().onAir);
    QCOMPARE(call("PlaySentAt", {"2", sent(100)}), QString("(true,)"));
    QCOMPARE(f.now().memory, 1);
    QCOMPARE(call("Stop"), QString("(true,)"));
}

void TestKeyerBus::refusedPlays_data()
{
    QTest::addColumn<QString>("memory");
    QTest::addColumn<bool>("busy"); // memory 2 plays first
    QTest::addColumn<bool>("recording"); // the recorder records
    QTest::newRow("another memory busy") << "4" << true << false;
    QTest::newRow("memory 0") << "0" << false << false;
    QTest::newRow("memory 7") << "7" << false << false;
    QTest::newRow("memory -1") << "--  -1" << false << false;
    QTest::newRow("the recorder records") << "3" << false << true;
}

// A refused Play answers false and shows the refusal face; nothing else changes.
void TestKeyerBus::refusedPlays()
{
    QFETCH(QString, memory);
    QFETCH(bool, busy);
    QFETCH(bool, recording);
    StationFixture &f = *m_fixture;
    if (busy)
        QCOMPARE(call("Play", {"2"}), QString("(true,)"));
    f.station->station().handle(StationEvents::Recording{recording});
    f.device.clearLog();
    QCOMPARE(call("Play", memory.split(' ', Qt::SkipEmptyParts)), QString("(false,)"));
    QVERIFY(!f.window().Picture1()->isHidden());
    QVERIFY(f.refusalFace() >= 1);
    QVERIFY(f.device.log.isEmpty());
    QCOMPARE(f.now().playing(), busy ? 1 : 0);
    QCOMPARE(property("Memory"), busy ? QString("(<2>,)") : QString("(<0>,)"));
}

void TestKeyerBus::repeatWait()
{
    StationFixture &f = *m_fixture;
    f.window().Check3d1(0)->setChecked(true);
    QCOMPARE(call("Play", {"1"}), QString("(true,)"));
    f.device.finish();
    QCOMPARE(property("State"), QString("(<'repeat-wait'>,)"));
    QCOMPARE(property("OnAir"), QString("(<false>,)"));
    QCOMPARE(property("LastEnd"), QString("(<'ended'>,)"));
    // The repeat comes after the memory's delay (4500 ms), not yet: the test clock stands.
    const int due = property("RepeatDue").mid(2).chopped(3).toInt();
    QVERIFY2(due > 0 && due <= 4500, qPrintable(QString::number(due)));
    QCOMPARE(call("Play", {"2"}), QString("(false,)"));
    QCOMPARE(call("Stop"), QString("(true,)"));
    QCOMPARE(property("State"), QString("(<'idle'>,)"));
    QCOMPARE(property("RepeatDue"), QString("(<0>,)"));
    QCOMPARE(property("LastEnd"), QString("(<'stopped'>,)"));
    QVERIFY(f.now().stage != Stage::RepeatWait);
}

// Any sound file as a message: never while another message is busy, never a file that is not a
// regular one (nothing opened, one line why); it shows on no memory, and Stop stops it.
void TestKeyerBus::fileMessages()
{
    StationFixture &f = *m_fixture;
    const QString wav = f.programDir() + "/Wav/1.wav";
    QCOMPARE(call("Play", {"2"}), QString("(true,)"));
    QCOMPARE(call("PlayFile", {wav}), QString("(false,)"));
    QVERIFY(f.refusalFace() >= 1);
    QCOMPARE(call("Stop"), QString("(true,)"));

    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    f.device.clearLog();
    StderrCapture errors;
    for (const QString &path : {dir.path(), fifo, QString("/dev/zero"), dir.filePath("none.wav")})
        QCOMPARE(call("PlayFile", {path}), QString("(false,)"));
    const QByteArray said = errors.text();
    QCOMPARE(said.count("voicevocta: Cannot play"), 4);
    QCOMPARE(said.count('\n'), 4);
    QVERIFY(f.device.log.isEmpty());
    QCOMPARE(f.now().playing(), 0);

    QCOMPARE(call("PlayFile", {wav}), QString("(true,)"));
    QCOMPARE(f.device.fileName(), wav);
    QCOMPARE(property("Memory"), QString("(<0>,)"));
    QCOMPARE(property("Kind"), QString("(<'file'>,)"));
    QVERIFY(f.onAirPictureShown());
    for (int i = 0; i < 6; ++i)
        QCOMPARE(f.face(f.memory(i)), f.face(f.memory(5))); // none red, none green
    QCOMPARE(call("Play", {"3"}), QString("(false,)")); // busy
    QCOMPARE(call("Stop"), QString("(true,)"));
    QCOMPARE(property("LastEnd"), QString("(<'stopped'>,)"));
    QVERIFY(!f.onAirPictureShown());
}

void TestKeyerBus::lockAndStandby()
{
    StationFixture &f = *m_fixture;
    QCOMPARE(call("SetLock", {"true"}), QString("()"));
    QVERIFY(f.now().lock);
    QCOMPARE(property("Lock"), QString("(<true>,)"));
    QCOMPARE(property("OnAir"), QString("(<true>,)"));
    // The same again changes nothing: it is not a second click.
    QCOMPARE(call("SetLock", {"true"}), QString("()"));
    QVERIFY(f.now().lock);

    QCOMPARE(call("SetStandby", {"true"}), QString("()"));
    QVERIFY(f.now().standby);
    QVERIFY(f.now().standby);
    QCOMPARE(property("Standby"), QString("(<true>,)"));
    QCOMPARE(property("OnAir"), QString("(<false>,)"));
    QCOMPARE(call("SetStandby", {"true"}), QString("()"));
    QVERIFY(f.now().standby);

    // Releasing standby under Lock keys again; releasing Lock lets go.
    QCOMPARE(call("SetStandby", {"false"}), QString("()"));
    QCOMPARE(property("OnAir"), QString("(<true>,)"));
    QCOMPARE(call("SetLock", {"false"}), QString("()"));
    QVERIFY(!f.now().lock);
    QCOMPARE(property("OnAir"), QString("(<false>,)"));
    QCOMPARE(call("SetLock", {"false"}), QString("()"));
    QVERIFY(!f.now().lock);
}

// Changed and PropertiesChanged come with every change, whatever made it: a call, the mouse,
// the end of the message.
void TestKeyerBus::signalsFollowEveryChange()
{
    StationFixture &f = *m_fixture;
    Monitor monitor(m_bus.environment());
    QVERIFY2(monitor.ready(), qPrintable(monitor.text()));

    QCOMPARE(call("Play", {"2"}), QString("(true,)"));
    f.device.finish();
    f.clickMemory(5);
    QCOMPARE(call("SetLock", {"true"}), QString("()"));
    // A refused Play changes nothing and says nothing.
    QCOMPARE(call("Play", {"9"}), QString("(false,)"));
    QCOMPARE(call("Stop"), QString("(true,)"));

    // The transmitter's keying comes after the start, and its release after the end, each as the
    // keyer has carried it out.
    const QStringList expected{
        "org.voicevocta.Keyer1.Changed ('playing', 2, false)",
        "org.freedesktop.DBus.Properties.PropertiesChanged ('org.voicevocta.Keyer1', "
        "{'Memory': <2>, 'State': <'playing'>}, @as [])",
        "org.voicevocta.Keyer1.Changed ('playing', 2, true)",
        "org.freedesktop.DBus.Properties.PropertiesChanged ('org.voicevocta.Keyer1', "
        "{'OnAir': <true>}, @as [])",
        "org.voicevocta.Keyer1.Changed ('idle', 2, true)",
        "org.freedesktop.DBus.Properties.PropertiesChanged ('org.voicevocta.Keyer1', "
        "{'LastEnd': <'ended'>, 'State': <'idle'>}, @as [])",
        "org.voicevocta.Keyer1.Changed ('idle', 2, false)",
        "org.freedesktop.DBus.Properties.PropertiesChanged ('org.voicevocta.Keyer1', "
        "{'OnAir': <false>}, @as [])",
        "org.voicevocta.Keyer1.Changed ('playing', 6, false)",
        "org.freedesktop.DBus.Properties.PropertiesChanged ('org.voicevocta.Keyer1', "
        "{'LastEnd': <'none'>, 'Memory': <6>, 'State': <'playing'>}, @as [])",
        "org.voicevocta.Keyer1.Changed ('playing', 6, true)",
        "org.freedesktop.DBus.Properties.PropertiesChanged ('org.voicevocta.Keyer1', "
        "{'OnAir': <true>}, @as [])",
        "org.voicevocta.Keyer1.Changed ('playing', 6, true)",
        "org.freedesktop.DBus.Properties.PropertiesChanged ('org.voicevocta.Keyer1', "
        "{'Lock': <true>}, @as [])",
        // Stopped under Lock: the transmitter stays keyed.
        "org.voicevocta.Keyer1.Changed ('idle', 6, true)",
        "org.freedesktop.DBus.Properties.PropertiesChanged ('org.voicevocta.Keyer1', "
        "{'LastEnd': <'stopped'>, 'State': <'idle'>}, @as [])",
    };
    QVERIFY2(waitFor([&] { return monitor.signalLines().size() >= expected.size(); }),
             qPrintable(monitor.text()));
    QTest::qWait(200);
    QCOMPARE(monitor.signalLines(), expected);
}

// Another copy on the same bus: it says so once and runs on; the first keeps the name.
void TestKeyerBus::secondServiceFindsTheNameTaken()
{
    StationFixture second;
    const QString name = m_connectionName + QLatin1String("-second");
    {
        const QDBusConnection connection = QDBusConnection::connectToBus(m_bus.address(), name);
        QVERIFY(connection.isConnected());
        KeyerService service(second.station->remote());
        StderrCapture capture;
        QVERIFY(!service.start(connection));
        QVERIFY(!service.isRunning());
        const QString said = QString::fromLocal8Bit(capture.text());
        QCOMPARE(said.count(QLatin1String("voicevocta: ")), 1);
        QVERIFY2(said.contains(QLatin1String("org.voicevocta.Keyer is held by another program")),
                 qPrintable(said));
        // Its slots still work in-process; the bus reaches the first station.
        QVERIFY(service.adaptor().Play(1));
        QCOMPARE(second.now().playing(), 1);
    }
    QDBusConnection::disconnectFromBus(name);
    QCOMPARE(call("Play", {"4"}), QString("(true,)"));
    QCOMPARE(m_fixture->now().memory, 3);
}

// The program itself, twice on the bus: the first answers calls; the second says once that the
// name is taken and goes on running.
void TestKeyerBus::secondProgramRunsWithoutTheInterface()
{
    m_service.reset(); // the program is to hold the name
    Program first(m_bus.environment());
    QVERIFY(first.started());
    QVERIFY2(waitFor([&] { return property("State") == "(<'idle'>,)" || !first.running(); }),
             qPrintable(first.said()));
    QVERIFY2(first.running(), qPrintable(first.said()));

    Program second(m_bus.environment());
    QVERIFY(second.started());
    QVERIFY2(waitFor([&] { return second.said().contains("held by another program"); }),
             qPrintable(second.said()));
    QTest::qWait(1000);
    QVERIFY(second.running());
    QCOMPARE(second.said().count("held by another program"), 1);

    // The first plays and stops on request, from the real sound device.
    QCOMPARE(call("Play", {"1"}), QString("(true,)"));
    QCOMPARE(property("Memory"), QString("(<1>,)"));
    QCOMPARE(call("Stop"), QString("(true,)"));
    QVERIFY(first.end());
    QVERIFY(second.end());
    QVERIFY2(!first.said().contains("held by another program"), qPrintable(first.said()));
}

void TestKeyerBus::programWithoutSessionBusIsSilent_data()
{
    QTest::addColumn<QString>("address"); // empty: none at all
    QTest::newRow("no address") << QString();
    QTest::newRow("a bus that is gone") << QStringLiteral("unix:path=/nonexistent/voicevocta-bus");
}

void TestKeyerBus::programWithoutSessionBusIsSilent()
{
    QFETCH(QString, address);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    env.remove("DISPLAY");
    if (!address.isEmpty())
        env.insert("DBUS_SESSION_BUS_ADDRESS", address);
    Program program(env);
    QVERIFY(program.started());
    QVERIFY2(
        waitFor([&] { return program.said().contains("Settings file:") || !program.running(); }),
        qPrintable(program.said()));
    QTest::qWait(1000);
    QVERIFY(program.running());
    QVERIFY(program.end());
    // The one line the program always says, and nothing about a bus (the toolkit's own remarks
    // on the headless platform aside).
    const QString said = program.said();
    QCOMPARE(said.count("voicevocta: "), 1);
    QVERIFY2(said.contains("voicevocta: Settings file:"), qPrintable(said));
    for (const char *word : {"dbus", "d-bus", "session bus"})
        QVERIFY2(!said.contains(QLatin1String(word), Qt::CaseInsensitive), qPrintable(said));
    QVERIFY2(!said.contains("org.voicevocta"), qPrintable(said));
}

QTEST_MAIN(TestKeyerBus)
#include "tst_keyerbus.moc"
