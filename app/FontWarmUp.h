// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <thread>

// Reads the desktop's font configuration on a thread of its own while the toolkit starts. The
// window's first measured text needs it, and reading it (every configuration file, then the font
// caches) takes several milliseconds that need not hold the window back: on a second core they
// pass beside the toolkit's own start. The toolkit then finds the configuration in place.
class FontWarmUp
{
public:
    FontWarmUp();
    ~FontWarmUp();
    FontWarmUp(const FontWarmUp &) = delete;
    FontWarmUp &operator=(const FontWarmUp &) = delete;

    // Returns once the configuration has been read (at once when it has been).
    void wait();

private:
    std::thread m_thread;
};
