// SPDX-License-Identifier: GPL-3.0-or-later
// The FluidSynth functions that MidiSynth and MidiSource call, standing in for the library's own:
// FluidSynth (and glib, libinstpatch, JACK and the rest behind it) is opened when the first MIDI
// file is played. Where it cannot be opened, no synthesizer can be made and MIDI files cannot be
// played; the others are called only with a synthesizer that was made.

#include "playback/audio/LazyLibrary.h"

#include <fluidsynth.h>

namespace {
LazyLibrary &fluidSynth()
{
    static LazyLibrary library(VV_FLUIDSYNTH_LIBRARY);
    return library;
}
} // namespace

// Each looks its function up once; null while the library cannot be opened.
#define VV_FLUID(name) static auto *const call = lazyFunction<decltype(name)>(fluidSynth(), #name)

extern "C" {

fluid_settings_t *new_fluid_settings(void)
{
    VV_FLUID(new_fluid_settings);
    return call ? call() : nullptr;
}

void delete_fluid_settings(fluid_settings_t *settings)
{
    VV_FLUID(delete_fluid_settings);
    if (call)
        call(settings);
}

int fluid_settings_setint(fluid_settings_t *settings, const char *name, int val)
{
    VV_FLUID(fluid_settings_setint);
    return call ? call(settings, name, val) : FLUID_FAILED;
}

int fluid_settings_setnum(fluid_settings_t *settings, const char *name, double val)
{
    VV_FLUID(fluid_settings_setnum);
    return call ? call(settings, name, val) : FLUID_FAILED;
}

fluid_synth_t *new_fluid_synth(fluid_settings_t *settings)
{
    VV_FLUID(new_fluid_synth);
    return call ? call(settings) : nullptr;
}

void delete_fluid_synth(fluid_synth_t *synth)
{
    VV_FLUID(delete_fluid_synth);
    if (call)
        call(synth);
}

int fluid_synth_sfload(fluid_synth_t *synth, const char *filename, int reset_presets)
{
    VV_FLUID(fluid_synth_sfload);
    return call ? call(synth, filename, reset_presets) : FLUID_FAILED;
}

int fluid_synth_write_float(fluid_synth_t *synth, int len, void *lout, int loff, int lincr,
                            void *rout, int roff, int rincr)
{
    VV_FLUID(fluid_synth_write_float);
    return call ? call(synth, len, lout, loff, lincr, rout, roff, rincr) : FLUID_FAILED;
}

int fluid_synth_get_active_voice_count(fluid_synth_t *synth)
{
    VV_FLUID(fluid_synth_get_active_voice_count);
    return call ? call(synth) : 0;
}

int fluid_synth_system_reset(fluid_synth_t *synth)
{
    VV_FLUID(fluid_synth_system_reset);
    return call ? call(synth) : FLUID_FAILED;
}

int fluid_synth_all_notes_off(fluid_synth_t *synth, int chan)
{
    VV_FLUID(fluid_synth_all_notes_off);
    return call ? call(synth, chan) : FLUID_FAILED;
}

int fluid_synth_noteon(fluid_synth_t *synth, int chan, int key, int vel)
{
    VV_FLUID(fluid_synth_noteon);
    return call ? call(synth, chan, key, vel) : FLUID_FAILED;
}

int fluid_synth_noteoff(fluid_synth_t *synth, int chan, int key)
{
    VV_FLUID(fluid_synth_noteoff);
    return call ? call(synth, chan, key) : FLUID_FAILED;
}

int fluid_synth_key_pressure(fluid_synth_t *synth, int chan, int key, int val)
{
    VV_FLUID(fluid_synth_key_pressure);
    return call ? call(synth, chan, key, val) : FLUID_FAILED;
}

int fluid_synth_cc(fluid_synth_t *synth, int chan, int ctrl, int val)
{
    VV_FLUID(fluid_synth_cc);
    return call ? call(synth, chan, ctrl, val) : FLUID_FAILED;
}

int fluid_synth_program_change(fluid_synth_t *synth, int chan, int program)
{
    VV_FLUID(fluid_synth_program_change);
    return call ? call(synth, chan, program) : FLUID_FAILED;
}

int fluid_synth_channel_pressure(fluid_synth_t *synth, int chan, int val)
{
    VV_FLUID(fluid_synth_channel_pressure);
    return call ? call(synth, chan, val) : FLUID_FAILED;
}

int fluid_synth_pitch_bend(fluid_synth_t *synth, int chan, int val)
{
    VV_FLUID(fluid_synth_pitch_bend);
    return call ? call(synth, chan, val) : FLUID_FAILED;
}

int fluid_synth_sysex(fluid_synth_t *synth, const char *data, int len, char *response,
                      int *response_len, int *handled, int dryrun)
{
    VV_FLUID(fluid_synth_sysex);
    return call ? call(synth, data, len, response, response_len, handled, dryrun) : FLUID_FAILED;
}

} // extern "C"
