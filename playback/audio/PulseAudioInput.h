// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/AudioInput.h"

class PulseConnection;
struct pa_stream;

// Records from one of the sound server's inputs (sources; a sink's monitor among them) through a
// record stream on the shared connection: mono 32-bit float at the source's own rate, in blocks of
// about BlockMs. The input is never replaced by another: when a named one is absent, or the one
// that records (the default one too) goes away, recording fails.
class PulseAudioInput : public AudioInput
{
    Q_OBJECT
public:
    // The connection must outlive the object.
    explicit PulseAudioInput(PulseConnection &connection, QObject *parent = nullptr);
    ~PulseAudioInput() override;

    void start(const QString &name) override;
    void stop() override;
    bool isRunning() const override { return m_running; }

    static constexpr int BlockMs = 20;

private:
    void connectionChanged();
    void openStream();
    void closeStream();
    void fail(quint64 run, const QString &reason);

    // Mainloop thread.
    static void stateCallback(pa_stream *stream, void *self);
    static void readCallback(pa_stream *stream, size_t bytes, void *self);

    PulseConnection &m_connection;
    QString m_name;
    bool m_running = false;
    bool m_waiting = false; // for the sound server's answer
    quint64 m_run = 0; // counts the starts: what an older one posts is dropped
    pa_stream *m_stream = nullptr; // with the mainloop locked
    quint64 m_streamRun = 0;
    QString m_streamSource; // the source it records from, once known; with the mainloop locked
};
