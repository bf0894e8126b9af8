// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <vector>

// Sound files made by the tests themselves.
namespace TestSounds {

// Writes a tone that never touches zero (so silence around it is easy to tell apart) as a WAV
// file; format is a libsndfile subtype such as SF_FORMAT_PCM_16. False on a failure.
bool writeWav(const QString &path, int sampleRate, int channels, int frames, int format);
// The same with a mono 16-bit sweep whose pitch keeps rising, so that no stretch of it repeats
// another: where a part of it was heard shows in the samples alone.
bool writeSweep(const QString &path, int sampleRate, int frames);
// The frames of a sound file as libsndfile decodes them to float, interleaved.
std::vector<float> decode(const QString &path);
// A file's bytes as 32-bit floats (the raw output of SDL's disk driver).
std::vector<float> readFloats(const QString &path);

bool writeBytes(const QString &path, const QByteArray &bytes);

// A FLAC file of frames frames cut in half: its header is whole, its frames stop decoding part of
// the way.
bool writeCutFlac(const QString &path, int sampleRate, int frames);
// Files that must not play, in folder: missing.wav (not written), empty.wav, text.wav,
// truncated.wav, huge.wav (a 2 GB data chunk over a short body), folder.wav (a folder),
// corrupt.mid, badrun.mid (data without a status byte) and silent.mid (no notes).
bool writeBadFiles(const QString &folder);

// Standard MIDI File pieces.
QByteArray midiNumber(quint32 value);
QByteArray midiTempo(quint32 delta, quint32 microsPerQuarter);
QByteArray midiEvent(quint32 delta, quint8 status, quint8 data1, quint8 data2);
QByteArray midiProgram(quint32 delta, quint8 channel, quint8 program);
QByteArray midiEndOfTrack(quint32 delta);
// A format 0 file with one track holding events (the end-of-track is not added).
QByteArray midiFile(quint16 division, const QByteArray &events);
// A format 1 file with these tracks.
QByteArray midiFile(quint16 division, const QList<QByteArray> &tracks);

} // namespace TestSounds
