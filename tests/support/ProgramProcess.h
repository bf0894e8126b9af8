// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/StationFixture.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>

// The program itself, started headless with `env` in a program folder of its own (its pictures
// and sounds beside it; `prepare` may change the folder first), its standard error kept, and
// ended by its PID.
class ProgramProcess
{
public:
    explicit ProgramProcess(const QProcessEnvironment &env,
                            const std::function<bool(const QString &folder)> &prepare = {})
    {
        const QString program = QStringLiteral(VV_PROGRAM_DIR "/voicevocta");
        const QString copy = m_folder.filePath(QStringLiteral("voicevocta"));
        StationFixture::populateProgramFolder(m_folder.path());
        QProcessEnvironment e = env;
        e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        e.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
        m_process.setProcessEnvironment(e);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        if (m_folder.isValid() && QFile::copy(program, copy)
            && QFile::setPermissions(copy, QFile::permissions(program))
            && (!prepare || prepare(m_folder.path()))) {
            m_process.start(copy, {});
            m_process.waitForStarted(10000);
        }
    }
    ~ProgramProcess() { end(); }

    bool running() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }
    QString said() { return m_said += QString::fromLocal8Bit(m_process.readAllStandardError()); }
    // Ends it as a desktop logging out would; true when it ended in order.
    bool end()
    {
        if (!running())
            return false;
        ::kill(pid_t(m_process.processId()), SIGTERM);
        if (QTest::qWaitFor([this] { return !running(); }, 60000))
            return m_process.exitStatus() == QProcess::NormalExit;
        m_process.kill();
        m_process.waitForFinished(5000);
        return false;
    }

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    QString m_said;
};
