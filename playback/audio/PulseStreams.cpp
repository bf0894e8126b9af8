// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/PulseStreams.h"

#include "playback/audio/PulseConnection.h"

#include <pulse/pulseaudio.h>

#include <algorithm>

namespace PulseStreams {

namespace {

pa_cvolume volumeFor(float level, int channels)
{
    pa_cvolume volume;
    pa_cvolume_set(&volume, unsigned(channels),
                   pa_sw_volume_from_linear(double(std::clamp(level, 0.0f, 1.0f))));
    return volume;
}

// A new stream in the format on the context, not connected yet.
ResultOf<pa_stream *> newStream(pa_context *context, const SoundOutput::Format &format)
{
    const pa_sample_spec spec = sampleFormat(format);
    pa_channel_map map;
    if (!pa_sample_spec_valid(&spec)
        || (!pa_channel_map_init_auto(&map, spec.channels, PA_CHANNEL_MAP_WAVEEX)
            && !pa_channel_map_init_extend(&map, spec.channels, PA_CHANNEL_MAP_WAVEEX)))
        return ResultOf<pa_stream *>::failure(
            QStringLiteral("the sound server cannot play %1 channels at %2 Hz")
                .arg(format.channels)
                .arg(format.sampleRate));
    pa_proplist *properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, PulseConnection::ClientName);
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, PulseConnection::ClientName);
    pa_stream *stream = pa_stream_new_with_proplist(context, PulseConnection::ClientName, &spec,
                                                    &map, properties);
    pa_proplist_free(properties);
    if (!stream)
        return ResultOf<pa_stream *>::failure(
            QString::fromUtf8(pa_strerror(pa_context_errno(context))));
    return {stream};
}

} // namespace

void unref(pa_operation *operation)
{
    if (operation)
        pa_operation_unref(operation);
}

void cancel(pa_operation *&operation)
{
    if (!operation)
        return;
    pa_operation_cancel(operation);
    pa_operation_unref(operation);
    operation = nullptr;
}

void freeTimer(const PulseConnection &connection, pa_time_event *&timer)
{
    if (!timer)
        return;
    pa_threaded_mainloop_get_api(connection.mainloop())->time_free(timer);
    timer = nullptr;
}

pa_sample_spec sampleFormat(const SoundOutput::Format &format)
{
    return {PA_SAMPLE_FLOAT32NE, uint32_t(format.sampleRate), uint8_t(format.channels)};
}

uint32_t bytesFor(int milliseconds, const pa_sample_spec &spec)
{
    return uint32_t(pa_usec_to_bytes(pa_usec_t(milliseconds) * PA_USEC_PER_MSEC, &spec));
}

ResultOf<pa_stream *> connect(const PulseConnection &connection, const SoundOutput::Format &format,
                              const QString &sink, float level, int extraBytes)
{
    pa_context *context = connection.context();
    if (!context)
        return ResultOf<pa_stream *>::failure(QStringLiteral("no sound server answers"));
    const ResultOf<pa_stream *> made = newStream(context, format);
    if (!made)
        return made;
    pa_stream *stream = made.value;

    // The server asks for more once only AheadMs is left queued, for what it played since it last
    // asked (QueueMs - AheadMs, about two seconds). Without early requests or an adjusted latency
    // it asks the sink for what the queue holds beyond twice that: SinkLatencyMs, so that a stop
    // and the end are not held up by what the sink holds. A prebuffer of one frame, so that the
    // first frames play at once and a drain completes (with none it never does).
    const pa_sample_spec spec = sampleFormat(format);
    pa_buffer_attr attributes;
    attributes.tlength = bytesFor(QueueMs, spec);
    attributes.maxlength
        = extraBytes < 0 ? uint32_t(-1) : attributes.tlength + uint32_t(extraBytes);
    attributes.prebuf = uint32_t(pa_frame_size(&spec));
    attributes.minreq = bytesFor(QueueMs - AheadMs, spec);
    attributes.fragsize = uint32_t(-1);
    // Never muted by a volume the server remembers: the level is the program's.
    int flags = PA_STREAM_START_CORKED | PA_STREAM_START_UNMUTED;
    if (!sink.isEmpty())
        flags |= PA_STREAM_DONT_MOVE; // a chosen output is never replaced by another
    const pa_cvolume volume = volumeFor(level, format.channels);
    const QByteArray name = sink.toUtf8();
    if (pa_stream_connect_playback(stream, name.isEmpty() ? nullptr : name.constData(), &attributes,
                                   pa_stream_flags_t(flags), &volume, nullptr)
        < 0) {
        const QString error = QString::fromUtf8(pa_strerror(pa_context_errno(context)));
        pa_stream_unref(stream);
        return ResultOf<pa_stream *>::failure(error);
    }
    return {stream};
}

bool usable(const PulseConnection &connection, pa_stream *stream)
{
    if (!stream || pa_stream_get_context(stream) != connection.context())
        return false;
    const pa_stream_state_t state = pa_stream_get_state(stream);
    return state == PA_STREAM_CREATING || state == PA_STREAM_READY;
}

void applyLevel(const PulseConnection &connection, pa_stream *stream, float level, int channels)
{
    if (!usable(connection, stream) || pa_stream_get_state(stream) != PA_STREAM_READY)
        return; // a stream that is being made gets it when it connects
    const pa_cvolume volume = volumeFor(level, channels);
    unref(pa_context_set_sink_input_volume(pa_stream_get_context(stream),
                                           pa_stream_get_index(stream), &volume, nullptr, nullptr));
}

std::uint64_t stillHeld(pa_stream *stream)
{
    // What the sink held when the server answered (for a sink that forwards to another server,
    // what that one still holds too), and anything the stream still queued, less the time
    // since the answer. The sink's latency is taken whole: nothing of it has been heard yet.
    const pa_timing_info *timing = pa_stream_get_timing_info(stream);
    if (!timing)
        return 0;
    pa_usec_t held = timing->sink_usec;
    if (!timing->write_index_corrupt && !timing->read_index_corrupt
        && timing->write_index > timing->read_index)
        held += pa_bytes_to_usec(uint64_t(timing->write_index - timing->read_index),
                                 pa_stream_get_sample_spec(stream));
    const pa_usec_t age = pa_timeval_age(&timing->timestamp);
    return held > age ? held - age : 0;
}

} // namespace PulseStreams
