// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/Result.h"

#include <QString>
#include <QtGlobal>

#include <functional>

// Where the playback engine's frames go: the sound server's stream, or SDL's audio device where
// no server answers. The engine's worker thread drives it (open, start, pause, close); the output
// takes the frames from the engine's Feed on a thread of its own, at the sound card's pace.
class SoundOutput
{
public:
    struct Format
    {
        int sampleRate = 0;
        int channels = 0;
        QString sink; // the server's output by name; empty: the default output
        // The server's output that also plays what is sent, for the operator's ears; empty: none.
        QString monitor;

        bool operator==(const Format &) const = default;
    };

    // What an output asks of the engine, from its own thread.
    class Feed
    {
    public:
        // Copies up to frames frames of the play into out (interleaved, channels channels, as
        // decoded: the output applies the level) and returns how many it copied: fewer when the
        // decoder has not caught up. *end is set once the play has no frame left to give.
        virtual int take(float *out, int frames, int channels, bool *end) = 0;
        // The play's last frame has been heard (failed false), or the output cannot go on
        // (failed true; error says why).
        virtual void finished(bool failed, const QString &error) = 0;

    protected:
        ~Feed() = default;
    };

    // Said once an output woken by wake() is ready (ok), or why it cannot be; any thread.
    using Ready = std::function<void(bool ok, const QString &error)>;

    virtual ~SoundOutput() = default;

    // Makes ready to play this format, silent; a failure says why it cannot. Keeps what is open
    // when the format is the same.
    virtual Result open(const Format &format) = 0;
    // Makes the opened output ready to sound at once, silent and empty: the device awake (a sink
    // that idled into suspend resumed) and the stream running; then says so through ready. A
    // start() follows, or a pause() that lets it rest again. By default it is ready at once.
    virtual void wake(Ready ready) { ready(true, QString()); }
    // Plays what the feed gives, from an empty buffer, until the feed's end has been heard.
    virtual void start() = 0;
    // Silences at once, dropping what is queued; nothing is taken from the feed after it. Returns
    // how many of the frames taken will never be heard, so that the position can go back by them.
    virtual qint64 pause() = 0;
    // The feed has frames again after a take() that came short.
    virtual void framesReady() = 0;
    // Lets go of the device.
    virtual void close() = 0;
    // The levels (linear amplitude, 0..1) of what goes out and of the monitor; they take effect
    // at once, also on what is already queued. Any thread.
    virtual void setLevels(float level, float monitorLevel) = 0;
    // Whether the output holds a device open (and may have threads that run).
    virtual bool isOpen() const = 0;
};
