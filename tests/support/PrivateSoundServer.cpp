// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/PrivateSoundServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

const QString PrivateSoundServer::Rig = QStringLiteral("rig");
const QString PrivateSoundServer::Speakers = QStringLiteral("speakers");

PrivateSoundServer::PrivateSoundServer()
{
    m_process.setProgram(QStringLiteral("pulseaudio"));
    m_process.setArguments({
        QStringLiteral("-n"),
        QStringLiteral("--daemonize=no"),
        QStringLiteral("--exit-idle-time=-1"),
        QStringLiteral("--disallow-exit"),
        QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1"),
        QStringLiteral("--load=module-null-sink sink_name=rig"),
        QStringLiteral("--load=module-null-sink sink_name=speakers"),
    });
    m_process.setStandardOutputFile(QProcess::nullDevice());
    // The server's complaints (it runs as root here) go to a file, for the reason of a failure.
    m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("server.log")));
    // It dies with the test, even when the test crashes.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

PrivateSoundServer::~PrivateSoundServer()
{
    terminate();
    restoreEnvironment();
}

QProcessEnvironment PrivateSoundServer::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("HOME"), m_dir.path());
    environment.insert(QStringLiteral("PULSE_COOKIE"), m_dir.filePath(QStringLiteral("cookie")));
    environment.insert(QStringLiteral("PULSE_SERVER"),
                       QStringLiteral("unix:") + m_dir.filePath(QStringLiteral("pulse/native")));
    return environment;
}

bool PrivateSoundServer::start(QString *error)
{
    if (!m_dir.isValid()) {
        *error = QStringLiteral("no temporary folder");
        return false;
    }
    terminate();
    QProcessEnvironment serverEnvironment = environment();
    serverEnvironment.remove(QStringLiteral("PULSE_SERVER"));
    m_process.setProcessEnvironment(serverEnvironment);
    m_process.start();
    if (!m_process.waitForStarted(5000)) {
        *error = QStringLiteral("pulseaudio does not start: %1").arg(m_process.errorString());
        return false;
    }
    // It answers once its socket is there and pactl gets through.
    const QDeadlineTimer deadline(15000);
    const QString socket = m_dir.filePath(QStringLiteral("pulse/native"));
    while (!deadline.hasExpired()) {
        if (m_process.state() != QProcess::Running) {
            QFile log(m_dir.filePath(QStringLiteral("server.log")));
            log.open(QIODevice::ReadOnly);
            *error = QStringLiteral("pulseaudio ended at once: %1")
                         .arg(QString::fromLocal8Bit(log.readAll().trimmed()));
            return false;
        }
        if (QFile::exists(socket) && !pactl({QStringLiteral("info")}).isNull()) {
            pointProcessAtServer();
            return true;
        }
        QThread::msleep(20);
    }
    *error = QStringLiteral("pulseaudio does not answer");
    terminate();
    return false;
}

void PrivateSoundServer::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(m_process.processId()), SIGKILL);
    m_process.waitForFinished(5000);
}

void PrivateSoundServer::terminate()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(m_process.processId()), SIGTERM);
    if (!m_process.waitForFinished(5000))
        kill();
}

bool PrivateSoundServer::isRunning() const
{
    return m_process.state() == QProcess::Running;
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
