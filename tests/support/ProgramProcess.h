// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/StationFixture.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>

// The program itself, started headless in a program folder of its own (its pictures and sounds
// beside it) with `env`, its standard error kept, and ended by its PID. `prepare` may change the
// folder before the start (another sound for a memory, a settings file).
class ProgramProcess
{
public:
    explicit ProgramProcess(const QProcessEnvironment &env,
                            const std::function<bool(const QString &folder)> &prepare = {})
    {
        const QString program = QStringLiteral(VV_PROGRAM_DIR "/voicevocta");
        const QString copy = m_folder.filePath(QStringLiteral("voicevocta"));
        if (m_folder.isValid()) {
            StationFixture::populateProgramFolder(m_folder.path());
            m_ok = QFile::copy(program, copy)
                   && QFile::setPermissions(copy, QFile::permissions(program))
                   && (!prepare || prepare(m_folder.path()));
        }
        QProcessEnvironment e = env;
        e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        e.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
        m_process.setProcessEnvironment(e);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        if (m_ok) {
            m_process.start(copy, {});
            m_ok = m_process.waitForStarted(10000);
        }
    }
    ~ProgramProcess() { end(); }

    bool started() const { return m_ok; }
    bool running() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }
    QString folder() const { return m_folder.path(); }
    QString said()
    {
        m_said += QString::fromLocal8Bit(m_process.readAllStandardError());
        return m_said;
    }
    // Ends it as a desktop logging out would; true when it ended in order.
    bool end()
    {
        if (!running())
            return false;
        ::kill(pid_t(m_process.processId()), SIGTERM);
        if (QTest::qWaitFor([this] { return !running(); }, 15000))
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
