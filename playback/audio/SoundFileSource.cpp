// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/SoundFileSource.h"
#include "station/FileNames.h"

#include <QFile>

#include <sndfile.h>

#include <array>

namespace {

// Longest sound accepted, in seconds; a header claiming more is not believed.
constexpr qint64 MaxSeconds = 24 * 3600;
constexpr int MinRate = 1000;
constexpr int MaxRate = 384000;

quint32 readWord(const char *bytes, bool bigEndian)
{
    const auto *b = reinterpret_cast<const uchar *>(bytes);
    if (bigEndian)
        return quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | b[3];
    return quint32(b[3]) << 24 | quint32(b[2]) << 16 | quint32(b[1]) << 8 | b[0];
}

// For RIFF/WAVE and AIFF files: a failure when the sound data chunk claims more bytes than the file
// holds after it (a truncated file, or a corrupt length). libsndfile would quietly shorten such a
// file; a message cut short must not go on the air as if it were whole.
Result soundDataFits(QFile &file)
{
    const qint64 size = file.size();
    char head[12];
    if (file.read(head, 12) != 12)
        return {}; // too short to tell; libsndfile will refuse it
    const QByteArray form(head, 4);
    const QByteArray kind(head + 8, 4);
    bool bigEndian = false;
    QByteArray dataId;
    if ((form == "RIFF" || form == "RIFX") && kind == "WAVE") {
        bigEndian = form == "RIFX";
        dataId = "data";
    } else if (form == "FORM" && (kind == "AIFF" || kind == "AIFC")) {
        bigEndian = true;
        dataId = "SSND";
    } else {
        return {};
    }
    qint64 pos = 12;
    for (int chunks = 0; chunks < 4096 && pos + 8 <= size; ++chunks) {
        char chunk[8];
        if (!file.seek(pos) || file.read(chunk, 8) != 8)
            return {};
        const qint64 length = readWord(chunk + 4, bigEndian);
        if (QByteArray(chunk, 4) == dataId) {
            if (length > size - (pos + 8)) {
                return Result::failure(
                    QStringLiteral("the sound data is cut short (%1 of %2 bytes)")
                        .arg(size - (pos + 8))
                        .arg(length));
            }
            return {};
        }
        pos += 8 + length + (length & 1);
    }
    return {};
}

} // namespace

SoundFileSource::~SoundFileSource()
{
    if (m_file)
        sf_close(m_file);
}

void SoundFileSource::loadLibrary()
{
    // Any call opens it; this one does nothing else.
    sf_error_number(SF_ERR_NO_ERROR);
}

ResultOf<std::unique_ptr<SoundFileSource>> SoundFileSource::open(const QString &path)
{
    const auto fail = [](const QString &why) {
        return ResultOf<std::unique_ptr<SoundFileSource>>::failure(why);
    };
    {
        QFile file;
        if (const Result opened = FileNames::openForReading(file, path); !opened)
            return fail(opened.error);
        if (file.size() == 0)
            return fail(QStringLiteral("the file is empty"));
        if (const Result step = soundDataFits(file); !step)
            return fail(step.error);
    }

    SF_INFO sfInfo{};
    SNDFILE *handle = sf_open(FileNames::encode(path).constData(), SFM_READ, &sfInfo);
    if (!handle)
        return fail(QString::fromLocal8Bit(sf_strerror(nullptr)));
    std::unique_ptr<SoundFileSource> source(new SoundFileSource);
    source->m_file = handle;
    source->m_sampleRate = sfInfo.samplerate;
    source->m_channels = sfInfo.channels;
    source->m_frames = sfInfo.frames;

    if (sfInfo.channels < 1 || sfInfo.channels > MaxChannels)
        return fail(QStringLiteral("%1 channels are not supported").arg(sfInfo.channels));
    if (sfInfo.samplerate < MinRate || sfInfo.samplerate > MaxRate)
        return fail(
            QStringLiteral("a sample rate of %1 Hz is not supported").arg(sfInfo.samplerate));
    if (sfInfo.frames <= 0)
        return fail(QStringLiteral("the file holds no sound"));
    if (sfInfo.frames > MaxSeconds * sfInfo.samplerate)
        return fail(QStringLiteral("the file claims an impossible length"));

    // Decode the first frames now, so that a file that cannot be decoded is refused at once.
    std::array<float, 256 * MaxChannels> probe;
    const sf_count_t wanted = std::min<sf_count_t>(256, sfInfo.frames);
    const sf_count_t got = sf_readf_float(handle, probe.data(), wanted);
    if (got <= 0 || sf_error(handle) != SF_ERR_NO_ERROR) {
        const QString reason = QString::fromLocal8Bit(sf_strerror(handle));
        return fail(reason.isEmpty() || sf_error(handle) == SF_ERR_NO_ERROR
                        ? QStringLiteral("the sound data cannot be decoded")
                        : reason);
    }
    if (!source->seek(0))
        return fail(source->m_error);
    return {std::move(source)};
}

qint64 SoundFileSource::read(float *buffer, qint64 frames)
{
    const sf_count_t got = sf_readf_float(m_file, buffer, frames);
    if (got < frames && sf_error(m_file) != SF_ERR_NO_ERROR) {
        m_error = QString::fromLocal8Bit(sf_strerror(m_file));
        return -1;
    }
    m_position += got;
    return got;
}

bool SoundFileSource::seek(qint64 frame)
{
    frame = std::clamp<qint64>(frame, 0, m_frames);
    if (sf_seek(m_file, frame, SEEK_SET) < 0) {
        m_error = QString::fromLocal8Bit(sf_strerror(m_file));
        return false;
    }
    m_position = frame;
    return true;
}
