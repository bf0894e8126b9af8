// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/WavWriter.h"

#include <QFile>

#include <sndfile.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Whether the file behind fd holds what was written: some failures of a full disk show in no
// return value of the library.
bool readsBack(int fd, qsizetype count, int sampleRate, QString *error)
{
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        *error = systemError(errno);
        return false;
    }
    SF_INFO info{};
    SNDFILE *file = sf_open_fd(fd, SFM_READ, &info, SF_FALSE);
    const bool whole
        = file && info.frames == count && info.samplerate == sampleRate && info.channels == 1;
    if (file)
        sf_close(file);
    if (!whole)
        *error = QStringLiteral("the file was not written whole");
    return whole;
}

// Writes through an open descriptor; false with error set on any failure.
bool writeTo(int fd, const float *samples, qsizetype count, int sampleRate, QString *error)
{
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    if (!sf_format_check(&info)) {
        *error = QStringLiteral("%1 frames per second cannot be written").arg(sampleRate);
        return false;
    }
    SNDFILE *file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (!file) {
        *error = QString::fromUtf8(sf_strerror(nullptr));
        return false;
    }
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);

    constexpr qsizetype Chunk = 65536;
    bool whole = true;
    for (qsizetype done = 0; done < count && whole;) {
        const qsizetype part = std::min(Chunk, count - done);
        whole = sf_write_float(file, samples + done, sf_count_t(part)) == sf_count_t(part);
        done += part;
    }
    if (!whole)
        *error = QString::fromUtf8(sf_strerror(file));
    // Closing writes the final header; a full disk may show only here.
    const int closed = sf_close(file);
    if (whole && closed != 0) {
        *error = QString::fromUtf8(sf_error_number(closed));
        whole = false;
    }
    if (whole && ::fsync(fd) != 0) {
        *error = systemError(errno);
        whole = false;
    }
    return whole && readsBack(fd, count, sampleRate, error);
}

} // namespace

bool WavWriter::write(const QString &path, const float *samples, qsizetype count, int sampleRate,
                      QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    // Always a new file: whatever is at path goes first, so that a link put there (by anyone
    // who can write the folder) is never written through.
    constexpr int Flags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::open(name.constData(), Flags, 0644);
    if (fd < 0 && errno == EEXIST && ::unlink(name.constData()) == 0)
        fd = ::open(name.constData(), Flags, 0644);
    if (fd < 0) {
        *error = systemError(errno);
        return false;
    }
    bool written = writeTo(fd, samples, count, sampleRate, error);
    if (::close(fd) != 0 && written) {
        *error = systemError(errno);
        written = false;
    }
    if (!written)
        ::unlink(name.constData());
    return written;
}
