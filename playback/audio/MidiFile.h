// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/Result.h"

#include <QByteArray>
#include <QString>

#include <vector>

// A Standard MIDI File read into one time-ordered list of events, with each event's time taken
// from the file's tempo map. Only what is needed to play the music is kept: channel messages and
// system-exclusive messages up to the end of the last note.
class MidiFile
{
public:
    struct Event
    {
        qint64 micros = 0; // time from the start of the file
        quint8 status = 0; // channel message status byte, or 0xF0 for a system-exclusive message
        quint8 data1 = 0;
        quint8 data2 = 0;
        int sysex = -1; // index into sysexMessages() for 0xF0
    };

    // True for data that starts like a Standard MIDI File.
    static bool looksLikeMidi(const QByteArray &head);

    // Parses data; a failure says why when it is not a sound MIDI file or has no notes.
    Result parse(const QByteArray &data);
    // Reads and parses the file at path.
    Result load(const QString &path);

    const std::vector<Event> &events() const { return m_events; }
    const std::vector<QByteArray> &sysexMessages() const { return m_sysex; }
    // When the last note ends (its note-off), in microseconds from the start.
    qint64 lengthMicros() const { return m_lengthMicros; }

    // Larger files would hold the UI thread too long while they are read (and no jingle or tune
    // for the air comes near it).
    static constexpr qint64 MaxFileSize = 1024 * 1024;

private:
    std::vector<Event> m_events;
    std::vector<QByteArray> m_sysex;
    qint64 m_lengthMicros = 0;
};
