// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/audio/SoundOutput.h"
#include "station/Result.h"

#include <QString>

#include <pulse/pulseaudio.h>

#include <cstdint>

class PulseConnection;

// What the sound server's playback streams (the transmitter's and the monitor's) share: how one is
// made and leveled, and the small chores around libpulse's operations and timers. Everything here
// runs with the connection's mainloop locked.
namespace PulseStreams {

// How much of a message the server keeps queued ahead of what is heard while it plays: at least
// AheadMs, up to QueueMs; the sink's own latency, SinkLatencyMs, comes on top.
constexpr int AheadMs = 2000;
constexpr int SinkLatencyMs = 20;
constexpr int QueueMs = SinkLatencyMs + 2 * (AheadMs - SinkLatencyMs);

void unref(pa_operation *operation);
// Cancels and lets go of the operation, if any; `operation` is null after.
void cancel(pa_operation *&operation);
// Lets go of the timer, if any; `timer` is null after.
void freeTimer(const PulseConnection &connection, pa_time_event *&timer);
// A timer on the stream's mainloop that, `delay` µs from now, lets go of itself, sets owner's
// member Timer null and calls owner's member Fire; null where none can be made.
template<auto Timer, auto Fire, typename Owner>
pa_time_event *startTimer(pa_stream *stream, std::uint64_t delay, Owner *owner)
{
    return pa_context_rttime_new(
        pa_stream_get_context(stream), pa_rtclock_now() + delay,
        [](pa_mainloop_api *api, pa_time_event *event, const struct timeval *, void *self) {
            auto *owner = static_cast<Owner *>(self);
            api->time_free(event);
            owner->*Timer = nullptr;
            (owner->*Fire)();
        },
        owner);
}

pa_sample_spec sampleFormat(const SoundOutput::Format &format);
std::uint32_t bytesFor(int milliseconds, const pa_sample_spec &spec);

// A corked playback stream in the format, connected to the sink (empty: the default one, which the
// server may move it from) at the level; its queue holds QueueMs and extraBytes more (negative:
// what the server chooses). A failure, with the reason, when it cannot be made.
ResultOf<pa_stream *> connect(const PulseConnection &connection, const SoundOutput::Format &format,
                              const QString &sink, float level, int extraBytes);
// Whether the stream is of the connection's current context and being made or ready.
bool usable(const PulseConnection &connection, pa_stream *stream);
// Sets the stream's own volume in the server, once the server has made it.
void applyLevel(const PulseConnection &connection, pa_stream *stream, float level, int channels);
// What of a drained stream the sink has still to play, as the server last told, in µs.
std::uint64_t stillHeld(pa_stream *stream);

} // namespace PulseStreams
