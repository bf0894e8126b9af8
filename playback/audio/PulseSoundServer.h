// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/SoundServer.h"

class PulseConnection;

// The sound server's outputs and inputs as the shared connection keeps them: current while the
// server answers, empty while none does, and changed() whenever they (or the connection) change.
class PulseSoundServer : public SoundServer
{
    Q_OBJECT
public:
    // The connection must outlive the object.
    explicit PulseSoundServer(PulseConnection &connection, QObject *parent = nullptr);

    bool isConnected() const override;
    QList<SoundEndpoint> outputs() const override;
    QList<SoundEndpoint> inputs() const override;
    QString defaultOutput() const override;
    QString defaultInput() const override;

private:
    PulseConnection &m_connection;
    bool m_connected = false;
};
