// SPDX-License-Identifier: GPL-3.0-or-later
// The libpulse functions that the sound server's connection, outputs, input and microphone mute
// call, standing in for the library's own: libpulse (and what it brings with it) is opened by the
// first of them, pa_threaded_mainloop_new, on the connection's own thread, so the window never
// waits for it. Where it cannot be opened no mainloop is made and the connection says that the
// sound server's client library cannot start; the rest are called only with a mainloop or a stream
// that was made.

#include "playback/audio/LazyLibrary.h"

#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

namespace {
LazyLibrary &pulse()
{
    static LazyLibrary library(VV_PULSE_LIBRARY);
    return library;
}
} // namespace

#define VV_PULSE(...) VV_LAZY_CALL(pulse(), __VA_ARGS__)

extern "C" {

VV_PULSE(pa_usec_t, pa_bytes_to_usec, (uint64_t length, const pa_sample_spec *spec), (length, spec),
         pa_usec_t())
VV_PULSE(pa_channel_map *, pa_channel_map_init_auto,
         (pa_channel_map * m, unsigned channels, pa_channel_map_def_t def), (m, channels, def),
         nullptr)
VV_PULSE(pa_channel_map *, pa_channel_map_init_extend,
         (pa_channel_map * m, unsigned channels, pa_channel_map_def_t def), (m, channels, def),
         nullptr)
VV_PULSE(int, pa_context_connect,
         (pa_context * c, const char *server, pa_context_flags_t flags, const pa_spawn_api *api),
         (c, server, flags, api), -1)
VV_PULSE(void, pa_context_disconnect, (pa_context * c), (c), void())
VV_PULSE(int, pa_context_errno, (const pa_context *c), (c), -1)
VV_PULSE(const char *, pa_context_get_server, (const pa_context *c), (c), nullptr)
VV_PULSE(pa_operation *, pa_context_get_server_info,
         (pa_context * c, pa_server_info_cb_t cb, void *userdata), (c, cb, userdata), nullptr)
VV_PULSE(pa_operation *, pa_context_get_sink_info_by_index,
         (pa_context * c, uint32_t idx, pa_sink_info_cb_t cb, void *userdata),
         (c, idx, cb, userdata), nullptr)
VV_PULSE(pa_operation *, pa_context_get_sink_info_list,
         (pa_context * c, pa_sink_info_cb_t cb, void *userdata), (c, cb, userdata), nullptr)
VV_PULSE(pa_operation *, pa_context_get_source_info_by_name,
         (pa_context * c, const char *name, pa_source_info_cb_t cb, void *userdata),
         (c, name, cb, userdata), nullptr)
VV_PULSE(pa_operation *, pa_context_get_source_info_list,
         (pa_context * c, pa_source_info_cb_t cb, void *userdata), (c, cb, userdata), nullptr)
VV_PULSE(pa_context_state_t, pa_context_get_state, (const pa_context *c), (c), PA_CONTEXT_FAILED)
VV_PULSE(pa_context *, pa_context_new_with_proplist,
         (pa_mainloop_api * mainloop, const char *name, const pa_proplist *proplist),
         (mainloop, name, proplist), nullptr)
VV_PULSE(pa_time_event *, pa_context_rttime_new,
         (const pa_context *c, pa_usec_t usec, pa_time_event_cb_t cb, void *userdata),
         (c, usec, cb, userdata), nullptr)
VV_PULSE(pa_operation *, pa_context_set_sink_input_volume,
         (pa_context * c, uint32_t idx, const pa_cvolume *volume, pa_context_success_cb_t cb,
          void *userdata),
         (c, idx, volume, cb, userdata), nullptr)
VV_PULSE(pa_operation *, pa_context_set_source_mute_by_name,
         (pa_context * c, const char *name, int mute, pa_context_success_cb_t cb, void *userdata),
         (c, name, mute, cb, userdata), nullptr)
VV_PULSE(void, pa_context_set_state_callback,
         (pa_context * c, pa_context_notify_cb_t cb, void *userdata), (c, cb, userdata), void())
VV_PULSE(void, pa_context_set_subscribe_callback,
         (pa_context * c, pa_context_subscribe_cb_t cb, void *userdata), (c, cb, userdata), void())
VV_PULSE(pa_operation *, pa_context_subscribe,
         (pa_context * c, pa_subscription_mask_t m, pa_context_success_cb_t cb, void *userdata),
         (c, m, cb, userdata), nullptr)
VV_PULSE(void, pa_context_unref, (pa_context * c), (c), void())
VV_PULSE(pa_cvolume *, pa_cvolume_set, (pa_cvolume * a, unsigned channels, pa_volume_t v),
         (a, channels, v), nullptr)
VV_PULSE(size_t, pa_frame_size, (const pa_sample_spec *spec), (spec), size_t())
VV_PULSE(void, pa_operation_cancel, (pa_operation * o), (o), void())
VV_PULSE(pa_operation_state_t, pa_operation_get_state, (const pa_operation *o), (o),
         PA_OPERATION_CANCELLED)
VV_PULSE(void, pa_operation_unref, (pa_operation * o), (o), void())
VV_PULSE(void, pa_proplist_free, (pa_proplist * p), (p), void())
VV_PULSE(pa_proplist *, pa_proplist_new, (void), (), nullptr)
VV_PULSE(int, pa_proplist_sets, (pa_proplist * p, const char *key, const char *value),
         (p, key, value), -1)
VV_PULSE(pa_usec_t, pa_rtclock_now, (void), (), pa_usec_t())
VV_PULSE(int, pa_sample_spec_valid, (const pa_sample_spec *spec), (spec), 0)
VV_PULSE(int, pa_stream_begin_write, (pa_stream * p, void **data, size_t *nbytes),
         (p, data, nbytes), -1)
VV_PULSE(int, pa_stream_cancel_write, (pa_stream * p), (p), -1)
VV_PULSE(int, pa_stream_connect_playback,
         (pa_stream * s, const char *dev, const pa_buffer_attr *attr, pa_stream_flags_t flags,
          const pa_cvolume *volume, pa_stream *sync_stream),
         (s, dev, attr, flags, volume, sync_stream), -1)
VV_PULSE(int, pa_stream_connect_record,
         (pa_stream * s, const char *dev, const pa_buffer_attr *attr, pa_stream_flags_t flags),
         (s, dev, attr, flags), -1)
VV_PULSE(pa_operation *, pa_stream_cork,
         (pa_stream * s, int b, pa_stream_success_cb_t cb, void *userdata), (s, b, cb, userdata),
         nullptr)
VV_PULSE(int, pa_stream_disconnect, (pa_stream * s), (s), -1)
VV_PULSE(pa_operation *, pa_stream_drain,
         (pa_stream * s, pa_stream_success_cb_t cb, void *userdata), (s, cb, userdata), nullptr)
VV_PULSE(int, pa_stream_drop, (pa_stream * p), (p), -1)
VV_PULSE(pa_operation *, pa_stream_flush,
         (pa_stream * s, pa_stream_success_cb_t cb, void *userdata), (s, cb, userdata), nullptr)
VV_PULSE(const pa_buffer_attr *, pa_stream_get_buffer_attr, (pa_stream * s), (s), nullptr)
VV_PULSE(pa_context *, pa_stream_get_context, (const pa_stream *p), (p), nullptr)
VV_PULSE(uint32_t, pa_stream_get_device_index, (const pa_stream *s), (s), PA_INVALID_INDEX)
VV_PULSE(const char *, pa_stream_get_device_name, (const pa_stream *s), (s), nullptr)
VV_PULSE(uint32_t, pa_stream_get_index, (const pa_stream *s), (s), PA_INVALID_INDEX)
VV_PULSE(const pa_sample_spec *, pa_stream_get_sample_spec, (pa_stream * s), (s), nullptr)
VV_PULSE(pa_stream_state_t, pa_stream_get_state, (const pa_stream *p), (p), PA_STREAM_FAILED)
VV_PULSE(const pa_timing_info *, pa_stream_get_timing_info, (pa_stream * s), (s), nullptr)
VV_PULSE(int, pa_stream_is_suspended, (const pa_stream *s), (s), -1)
VV_PULSE(pa_stream *, pa_stream_new_with_proplist,
         (pa_context * c, const char *name, const pa_sample_spec *ss, const pa_channel_map *map,
          pa_proplist *p),
         (c, name, ss, map, p), nullptr)
VV_PULSE(int, pa_stream_peek, (pa_stream * p, const void **data, size_t *nbytes), (p, data, nbytes),
         -1)
VV_PULSE(void, pa_stream_set_overflow_callback,
         (pa_stream * p, pa_stream_notify_cb_t cb, void *userdata), (p, cb, userdata), void())
VV_PULSE(void, pa_stream_set_read_callback,
         (pa_stream * p, pa_stream_request_cb_t cb, void *userdata), (p, cb, userdata), void())
VV_PULSE(void, pa_stream_set_state_callback,
         (pa_stream * s, pa_stream_notify_cb_t cb, void *userdata), (s, cb, userdata), void())
VV_PULSE(void, pa_stream_set_suspended_callback,
         (pa_stream * p, pa_stream_notify_cb_t cb, void *userdata), (p, cb, userdata), void())
VV_PULSE(void, pa_stream_set_write_callback,
         (pa_stream * p, pa_stream_request_cb_t cb, void *userdata), (p, cb, userdata), void())
VV_PULSE(void, pa_stream_unref, (pa_stream * s), (s), void())
VV_PULSE(pa_operation *, pa_stream_update_timing_info,
         (pa_stream * p, pa_stream_success_cb_t cb, void *userdata), (p, cb, userdata), nullptr)
VV_PULSE(size_t, pa_stream_writable_size, (const pa_stream *p), (p), size_t())
VV_PULSE(int, pa_stream_write,
         (pa_stream * p, const void *data, size_t nbytes, pa_free_cb_t free_cb, int64_t offset,
          pa_seek_mode_t seek),
         (p, data, nbytes, free_cb, offset, seek), -1)
VV_PULSE(const char *, pa_strerror, (int error), (error), pulse().problem().c_str())
VV_PULSE(pa_volume_t, pa_sw_volume_from_linear, (double v), (v), pa_volume_t())
VV_PULSE(void, pa_threaded_mainloop_free, (pa_threaded_mainloop * m), (m), void())
VV_PULSE(pa_mainloop_api *, pa_threaded_mainloop_get_api, (pa_threaded_mainloop * m), (m), nullptr)
VV_PULSE(void, pa_threaded_mainloop_lock, (pa_threaded_mainloop * m), (m), void())
VV_PULSE(pa_threaded_mainloop *, pa_threaded_mainloop_new, (void), (), nullptr)
VV_PULSE(void, pa_threaded_mainloop_set_name, (pa_threaded_mainloop * m, const char *name),
         (m, name), void())
VV_PULSE(int, pa_threaded_mainloop_start, (pa_threaded_mainloop * m), (m), -1)
VV_PULSE(void, pa_threaded_mainloop_stop, (pa_threaded_mainloop * m), (m), void())
VV_PULSE(void, pa_threaded_mainloop_unlock, (pa_threaded_mainloop * m), (m), void())
VV_PULSE(pa_usec_t, pa_timeval_age, (const struct timeval *tv), (tv), pa_usec_t())
VV_PULSE(size_t, pa_usec_to_bytes, (pa_usec_t t, const pa_sample_spec *spec), (t, spec), size_t())

} // extern "C"
