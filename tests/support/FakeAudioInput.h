// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/AudioInput.h"

#include <QStringList>

// The recording input of the tests: it records every start and stop in `log` ("Start <name>",
// "Stop") and delivers what the test wants, when it wants it.
class FakeAudioInput : public AudioInput
{
    Q_OBJECT
public:
    using AudioInput::AudioInput;

    void start(const QString &name) override
    {
        log << QStringLiteral("Start ") + name;
        m_running = true;
    }
    void stop() override
    {
        log << QStringLiteral("Stop");
        m_running = false;
    }
    bool isRunning() const override { return m_running; }

    // The input reports that it records at this rate.
    void begin(int sampleRate) { emit started(sampleRate); }
    // The next block, as the input delivers it while it runs.
    void deliver(const QVector<float> &block)
    {
        if (m_running)
            emit samples(block);
    }
    // The input fails, or goes away.
    void fail(const QString &reason)
    {
        m_running = false;
        emit failed(reason);
    }

    QStringList log;

private:
    bool m_running = false;
};
