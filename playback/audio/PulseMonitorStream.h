// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/audio/SoundOutput.h"

#include <QByteArray>
#include <QString>

#include <cstddef>

class PulseConnection;
struct pa_operation;
struct pa_stream;
struct pa_time_event;

// The monitor's stream: the sound server's second playback stream, which plays the frames sent to
// the transmitter again on the operator's chosen output, at its own level. It starts with the
// transmitter's stream (or, when the server is still making it, as soon as it can, from the start
// of the message, with what was sent meanwhile). It never holds the transmitter's stream: a
// monitor that is missing, goes away or falls behind by SlackMs drops out of the play with one
// line on standard error, and one that is the transmitter's own sink stays silent.
//
// Driven by the sound server's output (PulseOutput), always with the connection's mainloop locked;
// the server's callbacks run on the mainloop thread.
class PulseMonitorStream final
{
public:
    explicit PulseMonitorStream(PulseConnection &connection);
    // The owner drops the stream first, with the mainloop locked.
    ~PulseMonitorStream() = default;
    PulseMonitorStream(const PulseMonitorStream &) = delete;
    PulseMonitorStream &operator=(const PulseMonitorStream &) = delete;

    // The output and format to play (format.monitor; empty: none): another output drops the stream
    // and lets its troubles be said anew. Then as renew().
    void open(const SoundOutput::Format &format);
    // Makes the stream anew where it is gone or unusable, unless no output is chosen.
    void renew();
    // Lets the stream go; `why`, unless empty or said last, goes to standard error once.
    void drop(const QString &why);

    // The message starts on `transmitter`: from an empty stream, or joining once it is made.
    void begin(pa_stream *transmitter);
    // Uncorks it with the transmitter's stream.
    void uncork();
    // A copy of the frames written to the transmitter's stream.
    void mirror(const void *data, std::size_t bytes);
    // The message's last frame is written: the monitor plays its copy out (one still joining, once
    // it has joined), then corks.
    void drain();
    // The message stopped or failed: silent at once; `flush` drops what it holds queued.
    void stop(bool flush);
    // Cancels the end that drain() waits for.
    void cancelEnd();
    void setLevel(float level);

    // How far the monitor may fall behind the message before it drops out.
    static constexpr int SlackMs = 1000;

private:
    bool start();
    void join();
    void drained();
    void timingKnown(bool success);
    void corkAfterEnd();
    QString error() const;
    void say(const QString &why);

    static void stateCallback(pa_stream *stream, void *self);
    static void overflowCallback(pa_stream *stream, void *self);

    PulseConnection &m_connection;
    pa_stream *m_stream = nullptr;
    SoundOutput::Format m_format; // the transmitter's; the monitor plays on format.monitor
    QString m_sink; // the output it plays on
    float m_level = 1.0f;
    pa_stream *m_transmitter = nullptr; // the stream of the message it joins
    bool m_plays = false; // it takes part in the play that runs
    // Still being made when the play began: it joins with what was sent meanwhile.
    bool m_joining = false;
    bool m_drainWhenJoined = false; // the message's last frame was written meanwhile
    QByteArray m_backlog;
    pa_operation *m_drain = nullptr; // its drain, then its timing query
    pa_time_event *m_timer = nullptr; // corks it once the sink has played it out
    QString m_said; // what was last said about the monitor on standard error
};
