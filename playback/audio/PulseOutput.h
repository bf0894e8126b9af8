// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/audio/PulseMonitorStream.h"
#include "playback/audio/SoundOutput.h"

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
// asks for the rest about every two seconds. The server holds at least PulseStreams::AheadMs of the
// message ahead of what is heard, as paplay has it, so that a program scheduled late on a busy
// machine never leaves a hole; it costs no delay, as the server starts a stream at once and a stop
// drops what is queued. The level is the stream's own volume in the server (not the sink's), so it
// applies at once to what is queued. After the last frame the stream is drained; the end is
// reported when the server has played the stream out and the latency that the sink reports (what
// the sound card, or the server a tunnel sink forwards to, still holds; for the latter with a
// margin, as it is an estimate) has passed: when the last sample is heard, never before. Stopping
// corks and flushes, so it is silent at once.
//
// A monitor output, when one is chosen, gets a second stream (PulseMonitorStream) that plays the
// same frames at its own level.
//
// Driven from the engine's worker thread; the server's callbacks run on the connection's mainloop
// thread, where the frames are taken from the feed.
class PulseOutput final : public SoundOutput
{
public:
    PulseOutput(PulseConnection &connection, Feed &feed);
    ~PulseOutput() override;
    PulseOutput(const PulseOutput &) = delete;
    PulseOutput &operator=(const PulseOutput &) = delete;

    Result open(const Format &format) override;
    // Uncorks the empty stream, so that the server wakes its sink; ready once the server has taken
    // the uncork and the sink is not suspended. Left unstarted, it is corked again after AwakeMs.
    void wake(Ready ready) override;
    void start() override;
    qint64 pause() override;
    void framesReady() override;
    void close() override;
    bool isOpen() const override;
    void setLevels(float level, float monitorLevel) override;

    // What a sink that forwards over the network (a tunnel) reports is an estimate of the far end:
    // the release waits this much more, and half as long again as it reports.
    static constexpr int NetworkMarginMs = 30;
    // How long a woken stream waits for its play before it is corked again.
    static constexpr int AwakeMs = 15000;

private:
    // Waking: the empty stream is being uncorked for a play; Awake: it runs, empty, and waits.
    enum class Phase { Idle, Waking, Awake, Starting, Playing, Draining, Tail };

    // With the mainloop locked.
    Result createStream();
    // Makes the stream anew when the server went away since it was made (it may be back).
    Result renewStream();
    void cancelPending();
    void askWhetherNetworkSink();
    void begin();
    void uncorkEmpty();
    void checkAwake();
    void endWake(bool ok, const QString &error);
    void rest();
    void armRest();
    void fill(size_t bytes);
    void drain();
    void drained(bool success);
    void timingKnown(bool success);
    void heard();
    void fail(const QString &error);
    // Asks the server how much of what the corked stream was given went unheard; then, without the
    // lock, waitForUnheard() waits for the answer (in frames).
    void askUnheard();
    qint64 waitForUnheard();
    QString streamError() const;

    static void stateCallback(pa_stream *stream, void *self);
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
    PulseMonitorStream m_monitor;

    // What a pause found unheard in the stream, in bytes (-1: not known yet).
    std::mutex m_unheardMutex;
    std::condition_variable m_unheardKnown;
    qint64 m_unheard = -1;
};
