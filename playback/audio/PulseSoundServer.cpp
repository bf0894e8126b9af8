// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/PulseSoundServer.h"

#include "playback/audio/PulseConnection.h"

PulseSoundServer::PulseSoundServer(PulseConnection &connection, QObject *parent)
    : SoundServer(parent), m_connection(connection)
{
    connect(&connection, &PulseConnection::devicesChanged, this, &SoundServer::changed);
    m_connected = isConnected();
    connect(&connection, &PulseConnection::stateChanged, this, [this] {
        // Attempts that come to nothing change nothing for the lists.
        if (isConnected() == m_connected)
            return;
        m_connected = isConnected();
        emit changed();
    });
}

bool PulseSoundServer::isConnected() const
{
    return m_connection.state() == PulseConnection::Ready;
}

QList<SoundEndpoint> PulseSoundServer::outputs() const
{
    return m_connection.sinks();
}

QList<SoundEndpoint> PulseSoundServer::inputs() const
{
    return m_connection.sources();
}

QString PulseSoundServer::defaultOutput() const
{
    return m_connection.defaultSink();
}

QString PulseSoundServer::defaultInput() const
{
    return m_connection.defaultSource();
}
