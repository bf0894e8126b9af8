// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/Log.h"

#include <QByteArray>
#include <QTemporaryFile>
#include <QtGlobal>
#include <cstdio>
#include <unistd.h>

// Catches what the code under test writes to standard error while it lives, its log messages
// included (the test library would otherwise take those for itself).
class StderrCapture
{
public:
    StderrCapture()
    {
        m_file.open();
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        ::dup2(m_file.handle(), STDERR_FILENO);
        useLogFormat();
        m_previousHandler = qInstallMessageHandler(&StderrCapture::toStderr);
    }
    ~StderrCapture() { restore(); }

    // Everything written so far; stops the capture.
    QByteArray text()
    {
        restore();
        m_file.seek(0);
        return m_file.readAll();
    }

private:
    static void toStderr(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        const QByteArray line = qFormatLogMessage(type, context, message).toLocal8Bit() + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
    }

    void restore()
    {
        if (m_saved < 0)
            return;
        qInstallMessageHandler(m_previousHandler);
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }

    QTemporaryFile m_file;
    int m_saved = -1;
    QtMessageHandler m_previousHandler = nullptr;
};
