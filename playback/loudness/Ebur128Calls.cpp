// SPDX-License-Identifier: GPL-3.0-or-later
// The libebur128 functions that the loudness meter calls, standing in for the library's own: the
// library is opened by the first of them, on the thread that measures (never the window's), and
// only where messages are measured at all. Where it cannot be opened, nothing is measured and
// every message plays as recorded.

#include "playback/audio/LazyLibrary.h"

#include <ebur128.h>

namespace {
LazyLibrary &loudnessLibrary()
{
    static LazyLibrary library(VV_EBUR128_LIBRARY);
    return library;
}
} // namespace

#define VV_EBUR128(...) VV_LAZY_CALL(loudnessLibrary(), __VA_ARGS__)

extern "C" {

VV_EBUR128(ebur128_state *, ebur128_init, (unsigned int channels, unsigned long rate, int mode),
           (channels, rate, mode), nullptr)
VV_EBUR128(void, ebur128_destroy, (ebur128_state * *state), (state), void())
VV_EBUR128(int, ebur128_add_frames_float, (ebur128_state * state, const float *src, size_t frames),
           (state, src, frames), EBUR128_ERROR_NOMEM)
VV_EBUR128(int, ebur128_loudness_global, (ebur128_state * state, double *out), (state, out),
           EBUR128_ERROR_INVALID_MODE)
VV_EBUR128(int, ebur128_loudness_window, (ebur128_state * state, unsigned long window, double *out),
           (state, window, out), EBUR128_ERROR_INVALID_MODE)
VV_EBUR128(int, ebur128_true_peak, (ebur128_state * state, unsigned int channel, double *out),
           (state, channel, out), EBUR128_ERROR_INVALID_MODE)

} // extern "C"

// Whether the library can be opened; why not, else.
const std::string &loudnessLibraryProblem()
{
    return loudnessLibrary().problem();
}
