// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/SoundServer.h"

// The sound server of the tests: it offers what the test puts in place; setDevices() reports the
// change as the server reports a device plugged in or out.
class FakeSoundServer : public SoundServer
{
    Q_OBJECT
public:
    using SoundServer::SoundServer;

    bool isConnected() const override { return connected; }
    QList<SoundEndpoint> outputs() const override { return sinks; }
    QList<SoundEndpoint> inputs() const override { return sources; }
    QString defaultOutput() const override { return defaultSink; }
    QString defaultInput() const override { return defaultSource; }

    // Replaces the devices and reports the change.
    void setDevices(const QList<SoundEndpoint> &outputs, const QList<SoundEndpoint> &inputs)
    {
        sinks = outputs;
        sources = inputs;
        emit changed();
    }

    bool connected = true;
    QList<SoundEndpoint> sinks{{"speakers", "Built-in Audio Analog Stereo"},
                               {"rig", "USB Audio CODEC Analog Stereo"}};
    QList<SoundEndpoint> sources{{"mic", "Built-in Audio Analog Stereo"},
                                 {"speakers.monitor", "Monitor of Built-in Audio Analog Stereo"},
                                 {"rig.monitor", "Monitor of USB Audio CODEC Analog Stereo"}};
    QString defaultSink = "speakers";
    QString defaultSource = "mic";
};
