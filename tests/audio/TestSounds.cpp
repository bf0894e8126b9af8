#include "TestSounds.h"

#include <QFile>

#include <sndfile.h>

#include <cmath>

namespace TestSounds {

bool writeWav(const QString &path, int sampleRate, int channels, int frames, int format)
{
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | format;
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    std::vector<float> samples(size_t(frames) * channels);
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double phase = 2 * M_PI * 440.0 * i / sampleRate + c;
            samples[size_t(i) * channels + c] = float(0.3 + 0.25 * std::sin(phase));
        }
    }
    const bool written = sf_writef_float(file, samples.data(), frames) == frames;
    return sf_close(file) == 0 && written;
}

std::vector<float> decode(const QString &path)
{
    SF_INFO info{};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return {};
    std::vector<float> samples(size_t(info.frames) * info.channels);
    const sf_count_t got = sf_readf_float(file, samples.data(), info.frames);
    samples.resize(size_t(got) * info.channels);
    sf_close(file);
    return samples;
}

std::vector<float> readFloats(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    std::vector<float> samples(size_t(bytes.size()) / sizeof(float));
    memcpy(samples.data(), bytes.constData(), samples.size() * sizeof(float));
    return samples;
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray midiNumber(quint32 value)
{
    QByteArray bytes(1, char(value & 0x7F));
    while (value >>= 7)
        bytes.prepend(char(0x80 | (value & 0x7F)));
    return bytes;
}

QByteArray midiTempo(quint32 delta, quint32 microsPerQuarter)
{
    return midiNumber(delta) + QByteArray("\xFF\x51\x03", 3) + char(microsPerQuarter >> 16)
           + char(microsPerQuarter >> 8) + char(microsPerQuarter);
}

QByteArray midiEvent(quint32 delta, quint8 status, quint8 data1, quint8 data2)
{
    return midiNumber(delta) + char(status) + char(data1) + char(data2);
}

QByteArray midiProgram(quint32 delta, quint8 channel, quint8 program)
{
    return midiNumber(delta) + char(0xC0 | channel) + char(program);
}

QByteArray midiEndOfTrack(quint32 delta)
{
    return midiNumber(delta) + QByteArray("\xFF\x2F\x00", 3);
}

namespace {

QByteArray midiHeader(quint16 format, quint16 tracks, quint16 division)
{
    QByteArray bytes("MThd\0\0\0\x06", 8);
    for (quint16 value : {format, tracks, division})
        bytes += QByteArray(1, char(value >> 8)) + char(value);
    return bytes;
}

QByteArray midiTrack(const QByteArray &events)
{
    const quint32 length = quint32(events.size());
    return QByteArray("MTrk") + char(length >> 24) + char(length >> 16) + char(length >> 8)
           + char(length) + events;
}

} // namespace

QByteArray midiFile(quint16 division, const QByteArray &events)
{
    return midiHeader(0, 1, division) + midiTrack(events);
}

QByteArray midiFile(quint16 division, const QList<QByteArray> &tracks)
{
    QByteArray bytes = midiHeader(1, quint16(tracks.size()), division);
    for (const QByteArray &track : tracks)
        bytes += midiTrack(track);
    return bytes;
}

} // namespace TestSounds
