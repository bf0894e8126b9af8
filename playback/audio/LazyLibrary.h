// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <mutex>
#include <string>

// A system library that the program opens the first time one of its functions is called, rather
// than at start: SDL2 (the output where no sound server answers) and FluidSynth (MIDI files),
// which a station that plays sound files through its sound server never maps, nor what they bring
// with them; libpulse and libsndfile, which the window's start does not wait for (the sound
// server's connection opens libpulse on a thread of its own once the window shows; the player's
// worker opens libsndfile while the window is built). The *Calls.cpp files stand in for their
// functions.
class LazyLibrary
{
public:
    // `soname`: the library's file name as the dynamic loader finds it ("libSDL2-2.0.so.0").
    explicit LazyLibrary(const char *soname) : m_soname(soname) { }

    // The address of `name` in the library, opened now if it is not yet; null when the library
    // cannot be opened or lacks it. Any thread.
    void *symbol(const char *name);
    // Why the library cannot be opened, or an empty text.
    const std::string &problem();

private:
    void open();

    const char *m_soname;
    std::once_flag m_opened;
    void *m_handle = nullptr;
    std::string m_problem;
};

// The function `name` of `library`, as the type of its declaration in the library's header.
template<typename Function>
Function *lazyFunction(LazyLibrary &library, const char *name)
{
    return reinterpret_cast<Function *>(library.symbol(name));
}

// Defines the library function `name` (`type name params`, as its header declares it) to call the
// library's own with `args`, looked up once; `otherwise` while the library cannot be opened.
#define VV_LAZY_CALL(library, type, name, params, args, otherwise) \
    type name params \
    { \
        static auto *const call = lazyFunction<decltype(name)>(library, #name); \
        return call ? call args : otherwise; \
    }
