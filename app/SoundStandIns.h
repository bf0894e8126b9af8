#pragma once

#include "playback/AudioInput.h"
#include "playback/SoundServer.h"

// Stand-ins for the sound server's client until the program talks to the server itself: a server
// that offers no devices (the "Sound" dialog offers the defaults and the stored choices), and an
// input that cannot record (the recorder says so).
class NoSoundServer : public SoundServer
{
    Q_OBJECT
public:
    using SoundServer::SoundServer;

    bool isConnected() const override { return false; }
    QList<SoundEndpoint> outputs() const override { return {}; }
    QList<SoundEndpoint> inputs() const override { return {}; }
    QString defaultOutput() const override { return {}; }
    QString defaultInput() const override { return {}; }
};

class NoAudioInput : public AudioInput
{
    Q_OBJECT
public:
    using AudioInput::AudioInput;

    void start(const QString &name) override;
    void stop() override { m_pending = false; }
    bool isRunning() const override { return false; }

private:
    bool m_pending = false;
};
