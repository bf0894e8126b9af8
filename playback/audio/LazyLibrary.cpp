// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/LazyLibrary.h"

#include <dlfcn.h>

void LazyLibrary::open()
{
    // Its symbols stay its own: they never stand in for the program's.
    m_handle = ::dlopen(m_soname, RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char *error = ::dlerror();
        m_problem = error ? error : m_soname;
    }
}

void *LazyLibrary::symbol(const char *name)
{
    std::call_once(m_opened, [this] { open(); });
    return m_handle ? ::dlsym(m_handle, name) : nullptr;
}

const std::string &LazyLibrary::problem()
{
    std::call_once(m_opened, [this] { open(); });
    return m_problem;
}
