// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/BenchSounds.h"

#include <QByteArray>
#include <QFile>

#include <cmath>
#include <map>

namespace {

void appendLittleEndian(QByteArray &bytes, quint32 value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes += char(value >> (8 * i));
}

QByteArray midiNumber(quint32 value)
{
    QByteArray bytes(1, char(value & 0x7F));
    while (value >>= 7)
        bytes.prepend(char(0x80 | (value & 0x7F)));
    return bytes;
}

// A mono 16-bit WAV file of frames samples, each given by sample(i).
template<typename Sample>
bool writePcm(const QString &path, int sampleRate, quint32 frames, Sample sample)
{
    QByteArray bytes("RIFF");
    appendLittleEndian(bytes, 36 + frames * 2, 4);
    bytes += "WAVEfmt ";
    appendLittleEndian(bytes, 16, 4);
    appendLittleEndian(bytes, 1, 2); // PCM
    appendLittleEndian(bytes, 1, 2);
    appendLittleEndian(bytes, quint32(sampleRate), 4);
    appendLittleEndian(bytes, quint32(sampleRate) * 2, 4);
    appendLittleEndian(bytes, 2, 2);
    appendLittleEndian(bytes, 16, 2);
    bytes += "data";
    appendLittleEndian(bytes, frames * 2, 4);
    for (quint32 i = 0; i < frames; ++i)
        appendLittleEndian(bytes, quint32(qint16(sample(i))), 2);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

namespace BenchSounds {

bool writeWav(const QString &path, int sampleRate, double seconds)
{
    return writePcm(path, sampleRate, quint32(sampleRate * seconds), [sampleRate](quint32 i) {
        const double t = double(i) / sampleRate;
        const double tone = std::cos(2 * M_PI * (500 + 200 * std::sin(2 * M_PI * 3 * t)) * t);
        return 12000 * tone;
    });
}

bool writeSweep(const QString &path, int sampleRate, double seconds)
{
    return writePcm(path, sampleRate, quint32(sampleRate * seconds), [sampleRate](quint32 i) {
        const double t = double(i) / sampleRate;
        return 32768 * (0.3 + 0.25 * std::sin(2 * M_PI * (200.0 + 400.0 * t) * t));
    });
}

bool writeMidi(const QString &path, int seconds)
{
    constexpr int Quarter = 480;
    std::multimap<int, QByteArray> events;
    events.emplace(0, QByteArray("\xFF\x51\x03\x07\xA1\x20", 6)); // 500000 us per quarter
    events.emplace(0, QByteArray("\xC0\x00", 2)); // piano
    events.emplace(0, QByteArray("\xC1\x30", 2)); // strings
    const int scale[] = {60, 62, 64, 65, 67, 69, 71, 72};
    const int beats = seconds * 2;
    for (int beat = 0; beat < beats; ++beat) {
        const char key = char(scale[(beat * 3) % 8]);
        events.emplace(beat * Quarter, QByteArray("\x90", 1) + key + char(100));
        events.emplace(beat * Quarter + Quarter - 20, QByteArray("\x80", 1) + key + char(64));
        if (beat % 4 == 0) {
            for (char chord : {char(48), char(52), char(55)}) {
                events.emplace(beat * Quarter, QByteArray("\x91", 1) + chord + char(80));
                events.emplace(beat * Quarter + 4 * Quarter - 20,
                               QByteArray("\x81", 1) + chord + char(0));
            }
        }
    }
    QByteArray track;
    int now = 0;
    for (const auto &[tick, message] : events) {
        track += midiNumber(quint32(tick - now)) + message;
        now = tick;
    }
    track += QByteArray("\x00\xFF\x2F\x00", 4);
    QByteArray bytes("MThd\0\0\0\x06\0\0\0\x01\x01\xE0", 14);
    const quint32 length = quint32(track.size());
    bytes += QByteArray("MTrk") + char(length >> 24) + char(length >> 16) + char(length >> 8)
             + char(length) + track;
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace BenchSounds
