// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/MediaDevice.h"

#include <QTimer>

MediaDevice::MediaDevice(QObject *parent) : QObject(parent) { }

MediaDevice::~MediaDevice() = default;

void MediaDevice::setCommand(const QString &command)
{
    if (command == QLatin1String("Open"))
        open();
    else if (command == QLatin1String("Close"))
        close();
    else if (command == QLatin1String("Play"))
        play();
    else if (command == QLatin1String("Stop") || command == QLatin1String("Pause"))
        stop();
    else if (command == QLatin1String("Prev"))
        prev();
    else if (command == QLatin1String("Back"))
        back();
    else if (command == QLatin1String("Next"))
        next();
}

void MediaDevice::setUpdateInterval(int milliseconds)
{
    m_updateInterval = milliseconds;
    updateIntervalChanged(milliseconds);
}

void MediaDevice::updateIntervalChanged(int milliseconds)
{
    if (milliseconds <= 0) {
        // No timer runs while the device is idle.
        delete m_statusTimer;
        m_statusTimer = nullptr;
        return;
    }
    if (!m_statusTimer) {
        m_statusTimer = new QTimer(this);
        connect(m_statusTimer, &QTimer::timeout, this, &MediaDevice::StatusUpdate);
    }
    m_statusTimer->start(milliseconds);
}
