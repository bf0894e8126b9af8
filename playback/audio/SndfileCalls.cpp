// SPDX-License-Identifier: GPL-3.0-or-later
// The libsndfile functions that reading messages and writing recordings call, standing in for the
// library's own: libsndfile (and its FLAC, Vorbis, Opus and MPEG codecs) is opened by the first of
// them, which the player's worker calls while the window is built (SoundFileSource::loadLibrary),
// so that the window's start does not wait for it. Where it cannot be opened, no file opens and
// sf_strerror says why.

#include "playback/audio/LazyLibrary.h"

#include <sndfile.h>

namespace {
LazyLibrary &soundFiles()
{
    static LazyLibrary library(VV_SNDFILE_LIBRARY);
    return library;
}
} // namespace

#define VV_SNDFILE(...) VV_LAZY_CALL(soundFiles(), __VA_ARGS__)

extern "C" {

VV_SNDFILE(int, sf_close, (SNDFILE * sndfile), (sndfile), 0)
VV_SNDFILE(int, sf_command, (SNDFILE * sndfile, int command, void *data, int datasize),
           (sndfile, command, data, datasize), 0)
VV_SNDFILE(int, sf_error, (SNDFILE * sndfile), (sndfile), SF_ERR_SYSTEM)
VV_SNDFILE(const char *, sf_error_number, (int errnum), (errnum), soundFiles().problem().c_str())
VV_SNDFILE(int, sf_format_check, (const SF_INFO *info), (info), 0)
VV_SNDFILE(SNDFILE *, sf_open, (const char *path, int mode, SF_INFO *sfinfo), (path, mode, sfinfo),
           nullptr)
VV_SNDFILE(SNDFILE *, sf_open_fd, (int fd, int mode, SF_INFO *sfinfo, int close_desc),
           (fd, mode, sfinfo, close_desc), nullptr)
VV_SNDFILE(sf_count_t, sf_readf_float, (SNDFILE * sndfile, float *ptr, sf_count_t frames),
           (sndfile, ptr, frames), sf_count_t())
VV_SNDFILE(sf_count_t, sf_seek, (SNDFILE * sndfile, sf_count_t frames, int whence),
           (sndfile, frames, whence), -1)
VV_SNDFILE(const char *, sf_strerror, (SNDFILE * sndfile), (sndfile),
           soundFiles().problem().c_str())
VV_SNDFILE(sf_count_t, sf_write_float, (SNDFILE * sndfile, const float *ptr, sf_count_t items),
           (sndfile, ptr, items), sf_count_t())
VV_SNDFILE(sf_count_t, sf_writef_float, (SNDFILE * sndfile, const float *ptr, sf_count_t frames),
           (sndfile, ptr, frames), sf_count_t())

} // extern "C"
