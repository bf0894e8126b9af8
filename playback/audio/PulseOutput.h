// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/audio/SoundOutput.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <condition_variable>
#include <cstdint>
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
// asks for the rest about every two seconds. The server holds at least AheadMs of the message
// ahead of what is heard, as paplay has it, so that a program scheduled late on a busy
// machine never leaves a hole; it costs no delay, as the server starts a stream at once and a stop
// drops what is queued. The level is the stream's own volume in the server (not the sink's), so it
// applies at once to what is queued. After the last frame the stream is drained; the end is
// reported when the server has played the stream out and the latency that the sink reports (what
// the sound card, or the server a tunnel sink forwards to, still holds; for the latter with a
// margin, as it is an estimate) has passed: when the last sample is heard, never before. Stopping
// corks and flushes, so it is silent at once.
//
// A monitor output, when one is chosen, gets a second stream that plays the same frames at its
// own level, started with the first (or, when the server is still making it, as soon as it can,
// from the start of the message). It never holds the transmitter's stream: a monitor that is
// missing, goes away or falls behind by MonitorSlackMs drops out of the play with one line on
// standard error, and one that is the transmitter's own sink stays silent.
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
    // Uncorks the empty stream, so that the server wakes its sink; ready once the server has
    // taken the uncork and the sink is not suspended. Left unstarted, it is corked again after
    // AwakeMs.
    void wake(Ready ready) override;
    void start() override;
    qint64 pause() override;
    void framesReady() override;
    void close() override;
    bool isOpen() const override;
    void setLevels(float level, float monitorLevel) override;

    // How much of a message the server keeps queued ahead of what is heard while it plays: at
    // least AheadMs, up to QueueMs; the sink's own latency, SinkLatencyMs, comes on top.
    static constexpr int AheadMs = 2000;
    static constexpr int SinkLatencyMs = 20;
    static constexpr int QueueMs = SinkLatencyMs + 2 * (AheadMs - SinkLatencyMs);
    // How far the monitor may fall behind the message before it drops out.
    static constexpr int MonitorSlackMs = 1000;
    // What a sink that forwards over the network (a tunnel) reports is an estimate of the far
    // end: the release waits this much more, and half as long again as it reports.
    static constexpr int NetworkMarginMs = 30;
    // How long a woken stream waits for its play before it is corked again.
    static constexpr int AwakeMs = 15000;

private:
    // Waking: the empty stream is being uncorked for a play; Awake: it runs, empty, and waits.
    enum class Phase { Idle, Waking, Awake, Starting, Playing, Draining, Tail };

    // With the mainloop locked.
    bool usable(pa_stream *stream) const;
    pa_stream *connectStream(const QString &sink, float level, int extraBytes, QString *error);
    bool createStream(QString *error);
    void createMonitor();
    void dropMonitor(const QString &why);
    bool startMonitor();
    void joinMonitor();
    void drainMonitor();
    void cancelMonitorEnd();
    // What of a drained stream the sink has still to play, as the server last told, in µs.
    static std::uint64_t stillHeld(pa_stream *stream);
    void cancelPending();
    void askWhetherNetworkSink();
    void begin();
    void uncorkEmpty();
    void checkAwake();
    void endWake(bool ok, const QString &error);
    void rest();
    void armRest();
    void fill(size_t bytes);
    void mirror(const void *data, size_t bytes);
    void drain();
    void drained(bool success);
    void timingKnown(bool success);
    void heard();
    void fail(const QString &error);
    void applyLevel(pa_stream *stream, float level);
    QString streamError() const;
    QString monitorError() const;

    static void stateCallback(pa_stream *stream, void *self);
    static void monitorStateCallback(pa_stream *stream, void *self);
    static void writeCallback(pa_stream *stream, size_t bytes, void *self);
    static void suspendedCallback(pa_stream *stream, void *self);

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
    pa_operation *m_sinkQuery = nullptr; // whether the sink forwards over the network
    Ready m_ready; // said once the woken stream runs
    pa_operation *m_wakeOperation = nullptr; // the uncork of the empty stream
    bool m_uncorked = false; // the server took that uncork
    pa_time_event *m_restTimer = nullptr; // corks a woken stream that was never started
    bool m_networkSink = false;
    float m_level = 1.0f;
    float m_monitorLevel = 1.0f;

    // The monitor's stream, on the sink m_monitorSink.
    pa_stream *m_monitor = nullptr;
    QString m_monitorSink;
    bool m_monitorPlays = false; // it takes part in the play that runs
    // Still being made when the play began: it joins with what was sent meanwhile.
    bool m_monitorJoining = false;
    QByteArray m_monitorBacklog;
    pa_operation *m_monitorDrain = nullptr; // its drain, then its timing query
    pa_time_event *m_monitorTimer = nullptr; // corks it once the sink has played it out
    QString m_monitorSaid; // what was last said about the monitor on standard error

    // What a pause found unheard in the stream, in bytes (-1: not known yet).
    std::mutex m_unheardMutex;
    std::condition_variable m_unheardKnown;
    qint64 m_unheard = -1;
};
