// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/audio/TestSounds.h"

#include <QDir>
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

bool writeSweep(const QString &path, int sampleRate, int frames)
{
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    std::vector<float> samples(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / sampleRate;
        samples[size_t(i)] = float(0.3 + 0.25 * std::sin(2 * M_PI * (200.0 + 400.0 * t) * t));
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

bool writeCutFlac(const QString &path, int sampleRate, int frames)
{
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 1;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    std::vector<float> tone(size_t(frames), 0.0f);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = float(0.3 + 0.25 * std::sin(0.1 * double(i) + 0.3 * double(i % 7)));
    const bool written = sf_writef_float(file, tone.data(), frames) == frames;
    sf_close(file);
    QFile cut(path);
    return written && cut.resize(cut.size() / 2);
}

bool writeBadFiles(const QString &folder)
{
    const QDir dir(folder);
    QFile whole(dir.filePath("whole.wav"));
    if (!writeWav(whole.fileName(), 8000, 1, 8000, SF_FORMAT_PCM_16)
        || !whole.open(QIODevice::ReadOnly))
        return false;
    const QByteArray halfWav = whole.read(whole.size() / 2);
    const QByteArray hugeHeader(
        "RIFF\x24\0\0\x80WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1F\0\0\x80\x3E\0\0\x02\0\x10\0"
        "data\0\0\0\x80",
        44);
    QByteArray corrupt = midiFile(480, midiEvent(0, 0x90, 60, 100) + midiEvent(240, 0x80, 60, 0));
    corrupt[21] = char(0x7F); // the track claims far more bytes than the file holds
    return writeBytes(dir.filePath("empty.wav"), QByteArray())
           && writeBytes(dir.filePath("text.wav"),
                         QByteArray("This is not a sound file.\n").repeated(40))
           && writeBytes(dir.filePath("truncated.wav"), halfWav)
           && writeBytes(dir.filePath("huge.wav"), hugeHeader + QByteArray(1000, '\x10'))
           && writeBytes(dir.filePath("corrupt.mid"), corrupt)
           && writeBytes(dir.filePath("badrun.mid"), midiFile(480, QByteArray("\x00\x3C\x64", 3)))
           && writeBytes(dir.filePath("silent.mid"),
                         midiFile(480, midiTempo(0, 500000) + midiEndOfTrack(960)))
           && dir.mkpath("folder.wav");
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
