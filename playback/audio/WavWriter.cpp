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
Result readsBack(int fd, qsizetype count, int sampleRate)
{
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return Result::failure(systemError(errno));
    SF_INFO info{};
    SNDFILE *file = sf_open_fd(fd, SFM_READ, &info, SF_FALSE);
    const bool whole
        = file && info.frames == count && info.samplerate == sampleRate && info.channels == 1;
    if (file)
        sf_close(file);
    if (!whole)
        return Result::failure(QStringLiteral("the file was not written whole"));
    return {};
}

// Writes through an open descriptor; a failure says why.
Result writeTo(int fd, const float *samples, qsizetype count, int sampleRate)
{
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    if (!sf_format_check(&info))
        return Result::failure(
            QStringLiteral("%1 frames per second cannot be written").arg(sampleRate));
    SNDFILE *file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (!file)
        return Result::failure(QString::fromUtf8(sf_strerror(nullptr)));
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);

    constexpr qsizetype Chunk = 65536;
    bool whole = true;
    for (qsizetype done = 0; done < count && whole;) {
        const qsizetype part = std::min(Chunk, count - done);
        whole = sf_write_float(file, samples + done, sf_count_t(part)) == sf_count_t(part);
        done += part;
    }
    Result written;
    if (!whole)
        written = Result::failure(QString::fromUtf8(sf_strerror(file)));
    // Closing writes the final header; a full disk may show only here.
    const int closed = sf_close(file);
    if (written && closed != 0)
        written = Result::failure(QString::fromUtf8(sf_error_number(closed)));
    if (written && ::fsync(fd) != 0)
        written = Result::failure(systemError(errno));
    if (!written)
        return written;
    return readsBack(fd, count, sampleRate);
}

} // namespace

Result WavWriter::write(const QString &path, const float *samples, qsizetype count, int sampleRate)
{
    const QByteArray name = QFile::encodeName(path);
    // Always a new file: whatever is at path goes first, so that a link put there (by anyone
    // who can write the folder) is never written through.
    constexpr int Flags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::open(name.constData(), Flags, 0644);
    if (fd < 0 && errno == EEXIST && ::unlink(name.constData()) == 0)
        fd = ::open(name.constData(), Flags, 0644);
    if (fd < 0)
        return Result::failure(systemError(errno));
    Result written = writeTo(fd, samples, count, sampleRate);
    if (::close(fd) != 0 && written)
        written = Result::failure(systemError(errno));
    if (!written)
        ::unlink(name.constData());
    return written;
}
