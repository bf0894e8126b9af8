// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/FakeMediaDevice.h"

void FakeMediaDevice::updateIntervalChanged(int milliseconds)
{
    // No timer: reports come only when the test delivers them.
    log << QStringLiteral("UpdateInterval %1").arg(milliseconds);
}

void FakeMediaDevice::setTimeFormat(int format)
{
    log << QStringLiteral("TimeFormat %1").arg(format);
    MediaDevice::setTimeFormat(format);
}

QStringList FakeMediaDevice::commands() const
{
    QStringList result;
    for (const QString &entry : log) {
        const QString word = entry.section(QLatin1Char(' '), 0, 0);
        if (word != QLatin1String("UpdateInterval") && word != QLatin1String("TimeFormat"))
            result << word;
    }
    return result;
}

void FakeMediaDevice::setMode(int mode)
{
    if (mode == m_mode)
        return;
    m_mode = mode;
    emit modeChanged(mode);
}

void FakeMediaDevice::finish(int NotifyCode)
{
    setMode(m_mode == NotReady ? NotReady : Stopped);
    emit Done(NotifyCode);
}

void FakeMediaDevice::open()
{
    log << QStringLiteral("Open ") + FileName();
    if (unopenable.contains(FileName())) {
        m_length = 0;
        setMode(NotReady);
        return;
    }
    m_length = nextLength;
    setMode(Stopped);
}

void FakeMediaDevice::close()
{
    log << QStringLiteral("Close");
    m_length = 0;
    setMode(NotReady);
}

void FakeMediaDevice::play()
{
    log << QStringLiteral("Play");
    if (refusePlay) {
        QMetaObject::invokeMethod(
            this, [this] { emit Done(Failure); }, Qt::QueuedConnection);
        return;
    }
    if (m_mode != NotReady && !playFails)
        setMode(Playing);
}

void FakeMediaDevice::stop()
{
    log << QStringLiteral("Stop");
    if (m_mode == Playing)
        setMode(Stopped);
}

void FakeMediaDevice::prev()
{
    log << QStringLiteral("Prev");
}

void FakeMediaDevice::back()
{
    log << QStringLiteral("Back");
}

void FakeMediaDevice::next()
{
    log << QStringLiteral("Next");
}
