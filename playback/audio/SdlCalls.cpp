// SPDX-License-Identifier: GPL-3.0-or-later
// The SDL2 functions that SdlOutput calls, standing in for the library's own: SDL2 (and the
// ALSA, X11 and Wayland libraries behind it) is opened when the first of them is called, which
// happens only where no sound server answers. Where it cannot be opened, SDL_Init fails and
// SDL_GetError says why.

#include "playback/audio/LazyLibrary.h"

#include <SDL.h>

namespace {
LazyLibrary &sdl()
{
    static LazyLibrary library(VV_SDL_LIBRARY);
    return library;
}
} // namespace

// Each looks its function up once; null while the library cannot be opened.
#define VV_SDL(name) static auto *const call = lazyFunction<decltype(name)>(sdl(), #name)

extern "C" {

int SDL_Init(Uint32 flags)
{
    VV_SDL(SDL_Init);
    return call ? call(flags) : -1;
}

const char *SDL_GetError(void)
{
    VV_SDL(SDL_GetError);
    return call ? call() : sdl().problem().c_str();
}

SDL_bool SDL_SetHint(const char *name, const char *value)
{
    VV_SDL(SDL_SetHint);
    return call ? call(name, value) : SDL_FALSE;
}

void SDL_QuitSubSystem(Uint32 flags)
{
    VV_SDL(SDL_QuitSubSystem);
    if (call)
        call(flags);
}

void SDL_TLSCleanup(void)
{
    VV_SDL(SDL_TLSCleanup);
    if (call)
        call();
}

SDL_AudioDeviceID SDL_OpenAudioDevice(const char *device, int iscapture,
                                      const SDL_AudioSpec *desired, SDL_AudioSpec *obtained,
                                      int allowed_changes)
{
    VV_SDL(SDL_OpenAudioDevice);
    return call ? call(device, iscapture, desired, obtained, allowed_changes) : 0;
}

void SDL_CloseAudioDevice(SDL_AudioDeviceID dev)
{
    VV_SDL(SDL_CloseAudioDevice);
    if (call)
        call(dev);
}

SDL_AudioStatus SDL_GetAudioDeviceStatus(SDL_AudioDeviceID dev)
{
    VV_SDL(SDL_GetAudioDeviceStatus);
    return call ? call(dev) : SDL_AUDIO_STOPPED;
}

void SDL_PauseAudioDevice(SDL_AudioDeviceID dev, int pause_on)
{
    VV_SDL(SDL_PauseAudioDevice);
    if (call)
        call(dev, pause_on);
}

void SDL_LockAudioDevice(SDL_AudioDeviceID dev)
{
    VV_SDL(SDL_LockAudioDevice);
    if (call)
        call(dev);
}

void SDL_UnlockAudioDevice(SDL_AudioDeviceID dev)
{
    VV_SDL(SDL_UnlockAudioDevice);
    if (call)
        call(dev);
}

} // extern "C"
