// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/PrivateSoundServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

const QString PrivateSoundServer::Rig = QStringLiteral("rig");
const QString PrivateSoundServer::Speakers = QStringLiteral("speakers");

namespace {

// WirePlumber without the machine's devices (its sound cards may be a desktop's own) and without
// the desktop portal, which needs a session bus.
constexpr char WirePlumberSettings[] = "alsa_monitor.enabled = false\n"
                                       "v4l2_monitor.enabled = false\n"
                                       "libcamera_monitor.enabled = false\n"
                                       "default_access.properties[\"enable-flatpak-portal\"] "
                                       "= false\n";
constexpr char BluetoothSettings[] = "bluez_monitor.enabled = false\n";

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
           && file.write(bytes) == bytes.size();
}

} // namespace

PrivateSoundServer::PrivateSoundServer(Kind kind, bool pointed) : m_kind(kind), m_pointed(pointed)
{
    for (auto &process : m_processes) {
        process = std::make_unique<QProcess>();
        process->setStandardOutputFile(QProcess::nullDevice());
        // It dies with the test, even when the test crashes.
        process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    }
}

PrivateSoundServer::~PrivateSoundServer()
{
    terminate();
    restoreEnvironment();
}

QString PrivateSoundServer::name() const
{
    return m_kind == PipeWire ? QStringLiteral("PipeWire") : QStringLiteral("PulseAudio");
}

QString PrivateSoundServer::address() const
{
    return QStringLiteral("unix:") + m_dir.filePath(QStringLiteral("pulse/native"));
}

qint64 PrivateSoundServer::pid() const
{
    return m_processes[m_kind == PipeWire ? 2 : 0]->processId();
}

QProcessEnvironment PrivateSoundServer::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), m_dir.filePath(QStringLiteral("state")));
    environment.insert(QStringLiteral("HOME"), m_dir.path());
    environment.insert(QStringLiteral("PULSE_COOKIE"), m_dir.filePath(QStringLiteral("cookie")));
    environment.insert(QStringLiteral("PULSE_SERVER"), address());
    return environment;
}

bool PrivateSoundServer::startProcess(QProcess &process, const QString &program,
                                      const QStringList &arguments, QString *error)
{
    QProcessEnvironment serverEnvironment = environment();
    serverEnvironment.remove(QStringLiteral("PULSE_SERVER"));
    serverEnvironment.remove(QStringLiteral("PIPEWIRE_REMOTE"));
    // Never the desktop's session bus, and no bus started for it either.
    serverEnvironment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                             QStringLiteral("unix:path=/nonexistent-voicevocta-bus"));
    serverEnvironment.remove(QStringLiteral("DISPLAY"));
    process.setProcessEnvironment(serverEnvironment);
    // Its complaints (it runs as root here) go to a file, for the reason of a failure.
    process.setStandardErrorFile(m_dir.filePath(QFileInfo(program).fileName() + ".log"));
    process.start(program, arguments);
    if (!process.waitForStarted(5000)) {
        *error = QStringLiteral("%1 does not start: %2").arg(program, process.errorString());
        return false;
    }
    return true;
}

QString PrivateSoundServer::logOf(const QProcess &process) const
{
    QFile log(m_dir.filePath(QFileInfo(process.program()).fileName() + ".log"));
    log.open(QIODevice::ReadOnly);
    return QString::fromLocal8Bit(log.readAll().trimmed().right(2000));
}

bool PrivateSoundServer::start(QString *error)
{
    if (!m_dir.isValid()) {
        *error = QStringLiteral("no temporary folder");
        return false;
    }
    terminate();
    bool started = false;
    if (m_kind == PulseAudio) {
        started = startProcess(*m_processes[0], QStringLiteral("pulseaudio"),
                               {
                                   QStringLiteral("-n"),
                                   QStringLiteral("--daemonize=no"),
                                   QStringLiteral("--exit-idle-time=-1"),
                                   QStringLiteral("--disallow-exit"),
                                   QStringLiteral("--load=module-native-protocol-unix "
                                                  "auth-anonymous=1"),
                                   // Without rewinds, a stream that starts is never
                                   // remixed into what the monitor has passed on already: the
                                   // monitor hears every sample.
                                   QStringLiteral("--load=module-null-sink sink_name=rig "
                                                  "norewinds=1"),
                                   QStringLiteral("--load=module-null-sink sink_name=speakers "
                                                  "norewinds=1"),
                               },
                               error);
    } else {
        const QString config = m_dir.filePath(QStringLiteral("config/wireplumber/"));
        if (!writeFile(config + "main.lua.d/51-voicevocta-tests.lua", WirePlumberSettings)
            || !writeFile(config + "bluetooth.lua.d/51-voicevocta-tests.lua", BluetoothSettings)) {
            *error = QStringLiteral("cannot write WirePlumber's settings");
            return false;
        }
        // A socket left by a server that was killed is not one that answers.
        QFile::remove(m_dir.filePath(QStringLiteral("pipewire-0")));
        QFile::remove(m_dir.filePath(QStringLiteral("pipewire-0.lock")));
        started = startProcess(*m_processes[0], QStringLiteral("pipewire"), {}, error);
        // The session manager and the PulseAudio server wait for pipewire's socket.
        const QDeadlineTimer socket(15000);
        while (started && !QFile::exists(m_dir.filePath(QStringLiteral("pipewire-0")))
               && !socket.hasExpired() && m_processes[0]->state() == QProcess::Running)
            QThread::msleep(10);
        started = started && startProcess(*m_processes[1], QStringLiteral("wireplumber"), {}, error)
                  && startProcess(*m_processes[2], QStringLiteral("pipewire-pulse"), {}, error);
    }
    if (!started) {
        terminate();
        return false;
    }
    // It answers once its socket is there and pactl gets through.
    const QDeadlineTimer deadline(20000);
    const QString socket = m_dir.filePath(QStringLiteral("pulse/native"));
    while (!deadline.hasExpired()) {
        for (const auto &process : m_processes) {
            if (!process->program().isEmpty() && process->state() != QProcess::Running) {
                *error = QStringLiteral("%1 ended at once: %2")
                             .arg(process->program(), logOf(*process));
                terminate();
                return false;
            }
        }
        if (QFile::exists(socket) && !pactl({QStringLiteral("info")}).isNull()) {
            if (!addSinks(error)) {
                terminate();
                return false;
            }
            if (m_pointed)
                pointProcessAtServer();
            return true;
        }
        QThread::msleep(20);
    }
    *error = QStringLiteral("%1 does not answer").arg(name());
    terminate();
    return false;
}

bool PrivateSoundServer::addSinks(QString *error)
{
    if (m_kind == PulseAudio)
        return true; // loaded at its start
    for (const QString &sink : {Rig, Speakers}) {
        if (pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                   QStringLiteral("sink_name=") + sink})
                .isNull()) {
            *error = QStringLiteral("pipewire-pulse cannot make the sink %1").arg(sink);
            return false;
        }
    }
    // WirePlumber has taken charge once it names a default sink: streams get linked from then on.
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        const QByteArray sink = pactl({QStringLiteral("get-default-sink")}).trimmed();
        if (sink == Rig.toUtf8() || sink == Speakers.toUtf8())
            return true;
        QThread::msleep(20);
    }
    *error = QStringLiteral("WirePlumber does not take charge: %1").arg(logOf(*m_processes[1]));
    return false;
}

void PrivateSoundServer::kill()
{
    for (const auto &process : m_processes) {
        if (process->state() == QProcess::NotRunning)
            continue;
        ::kill(pid_t(process->processId()), SIGKILL);
        process->waitForFinished(5000);
    }
}

void PrivateSoundServer::terminate()
{
    // The clients of the server first, the server last.
    for (auto it = m_processes.rbegin(); it != m_processes.rend(); ++it) {
        QProcess &process = **it;
        if (process.state() == QProcess::NotRunning)
            continue;
        ::kill(pid_t(process.processId()), SIGTERM);
        if (!process.waitForFinished(5000)) {
            ::kill(pid_t(process.processId()), SIGKILL);
            process.waitForFinished(5000);
        }
    }
}

bool PrivateSoundServer::isRunning() const
{
    const int count = m_kind == PipeWire ? 3 : 1;
    for (int i = 0; i < count; ++i) {
        if (m_processes[size_t(i)]->state() != QProcess::Running)
            return false;
    }
    return true;
}

QByteArray PrivateSoundServer::pactl(const QStringList &arguments) const
{
    QProcess pactl;
    pactl.setProcessEnvironment(environment());
    pactl.start(QStringLiteral("pactl"), arguments);
    if (!pactl.waitForFinished(10000) || pactl.exitStatus() != QProcess::NormalExit
        || pactl.exitCode() != 0)
        return QByteArray();
    const QByteArray output = pactl.readAllStandardOutput();
    return output.isNull() ? QByteArray("") : output;
}

void PrivateSoundServer::pointProcessAtServer()
{
    if (!m_saved.empty())
        return;
    const QProcessEnvironment environment = this->environment();
    for (const char *name : {"PULSE_SERVER", "XDG_RUNTIME_DIR", "PULSE_COOKIE"}) {
        m_saved.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        qputenv(name, environment.value(QLatin1String(name)).toLocal8Bit());
    }
}

void PrivateSoundServer::restoreEnvironment()
{
    for (const Saved &saved : m_saved) {
        if (saved.set)
            qputenv(saved.name, saved.value);
        else
            qunsetenv(saved.name);
    }
    m_saved.clear();
}
