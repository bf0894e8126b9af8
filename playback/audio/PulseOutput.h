// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/audio/SoundOutput.h"

#include <QtGlobal>

#include <condition_variable>
#include <mutex>

class PulseConnection;
struct pa_operation;
struct pa_stream;
struct pa_time_event;

// The sound output through the sound server: one playback stream ("Voice Vocta") on the shared
// connection, in the sound's own rate and channel count as 32-bit float, on the chosen sink (never
// moved to another one) or on the default sink. It is made when a file of a new format opens and
// kept, corked and empty, between plays, so nothing plays and nothing wakes between messages.
//
// A play flushes the stream, writes the first frames into it and uncorks it, at once; the server
// asks for the rest. The queue is long enough to ride out a busy machine; it costs no delay, as
// the server starts a stream at once and a stop drops what is queued. After the last frame the
// stream is drained; the end is reported when the server has played the stream out and the sink's
// own latency (what the sound card still holds) has passed: when the last sample is heard. Stopping
// corks and flushes, so it is silent at once.
//
// Driven from the engine's worker thread; the server's callbacks run on the connection's
// mainloop thread, where the frames are taken from the feed.
class PulseOutput final : public SoundOutput
{
public:
    PulseOutput(PulseConnection &connection, Feed &feed);
    ~PulseOutput() override;
    PulseOutput(const PulseOutput &) = delete;
    PulseOutput &operator=(const PulseOutput &) = delete;

    bool open(const Format &format, QString *error) override;
    void start() override;
    qint64 pause() override;
    void framesReady() override;
    void close() override;
    bool isOpen() const override;

    // How much sound the server keeps queued while a message plays.
    static constexpr int BufferMs = 200;

private:
    enum class Phase { Idle, Starting, Playing, Draining, Tail };

    // With the mainloop locked.
    bool usable() const;
    bool createStream(QString *error);
    void cancelPending();
    void begin();
    void fill(size_t bytes);
    void drain();
    void drained(bool success);
    void timingKnown(bool success);
    void heard();
    void fail(const QString &error);
    QString streamError() const;

    static void stateCallback(pa_stream *stream, void *self);
    static void writeCallback(pa_stream *stream, size_t bytes, void *self);

    PulseConnection &m_connection;
    Feed &m_feed;
    pa_stream *m_stream = nullptr;
    Format m_format;
    size_t m_frameBytes = 0;
    Phase m_phase = Phase::Idle;
    bool m_holdDrain = false; // while the first frames go into the corked stream
    bool m_endWritten = false; // the feed's last frame is in the stream
    pa_operation *m_operation = nullptr; // the drain or the timing query
    pa_time_event *m_timer = nullptr; // the sink's latency after the drain

    // What a pause found unheard in the stream, in bytes (-1: not known yet).
    std::mutex m_unheardMutex;
    std::condition_variable m_unheardKnown;
    qint64 m_unheard = -1;
};
