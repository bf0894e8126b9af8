// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/MidiFile.h"
#include "station/FileNames.h"

#include <QFile>

#include <algorithm>

namespace {

constexpr qint64 MaxEvents = 4'000'000;
constexpr double MaxMicros = 24.0 * 3600 * 1e6;
constexpr quint32 DefaultTempo = 500000; // microseconds per quarter note (120 bpm)

// A message parsed from a track, before the tempo map turns ticks into time.
struct TrackEvent
{
    qint64 tick;
    int order; // tie-breaker: file order
    quint8 status;
    quint8 data1;
    quint8 data2;
    int sysex;
    quint32 tempo; // for tempo changes (status 0xFF)
};

class Reader
{
public:
    Reader(const QByteArray &data, qint64 begin, qint64 end)
        : m_data(reinterpret_cast<const uchar *>(data.constData())), m_pos(begin), m_end(end)
    { }
    bool atEnd() const { return m_pos >= m_end; }
    bool byte(quint8 *value)
    {
        if (m_pos >= m_end)
            return false;
        *value = m_data[m_pos++];
        return true;
    }
    bool peek(quint8 *value) const
    {
        if (m_pos >= m_end)
            return false;
        *value = m_data[m_pos];
        return true;
    }
    // A variable-length quantity: at most four bytes.
    bool number(quint32 *value)
    {
        quint32 result = 0;
        for (int i = 0; i < 4; ++i) {
            quint8 b;
            if (!byte(&b))
                return false;
            result = (result << 7) | (b & 0x7F);
            if (!(b & 0x80)) {
                *value = result;
                return true;
            }
        }
        return false;
    }
    bool skip(quint32 count, qint64 *start)
    {
        if (count > quint64(m_end - m_pos))
            return false;
        *start = m_pos;
        m_pos += count;
        return true;
    }

private:
    const uchar *m_data;
    qint64 m_pos;
    qint64 m_end;
};

quint32 bigEndian(const QByteArray &data, qint64 pos, int bytes)
{
    quint32 value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | uchar(data[pos + i]);
    return value;
}

bool parseTrack(const QByteArray &data, qint64 begin, qint64 end, std::vector<TrackEvent> &events,
                std::vector<QByteArray> &sysex, QString *error)
{
    Reader reader(data, begin, end);
    qint64 tick = 0;
    quint8 running = 0;
    while (!reader.atEnd()) {
        quint32 delta;
        quint8 status;
        if (!reader.number(&delta) || !reader.peek(&status)) {
            *error = QStringLiteral("a track ends in the middle of an event");
            return false;
        }
        tick += delta;
        if (status & 0x80) {
            reader.byte(&status);
        } else if (running) {
            status = running;
        } else {
            *error = QStringLiteral("a track has data without a status byte");
            return false;
        }
        if (qint64(events.size()) >= MaxEvents) {
            *error = QStringLiteral("the file has too many events");
            return false;
        }
        const int order = int(events.size());
        if (status == 0xFF) {
            quint8 type;
            quint32 length;
            qint64 start;
            if (!reader.byte(&type) || !reader.number(&length) || !reader.skip(length, &start)) {
                *error = QStringLiteral("a meta event runs past the end of its track");
                return false;
            }
            running = 0;
            if (type == 0x2F)
                return true; // end of track
            if (type == 0x51 && length == 3)
                events.push_back({tick, order, 0xFF, 0, 0, -1, bigEndian(data, start, 3)});
        } else if (status == 0xF0 || status == 0xF7) {
            quint32 length;
            qint64 start;
            if (!reader.number(&length) || !reader.skip(length, &start)) {
                *error
                    = QStringLiteral("a system-exclusive message runs past the end of its track");
                return false;
            }
            running = 0;
            if (status == 0xF0) {
                QByteArray message = data.mid(start, length);
                if (message.endsWith(char(0xF7)))
                    message.chop(1);
                sysex.push_back(message);
                events.push_back({tick, order, 0xF0, 0, 0, int(sysex.size()) - 1, 0});
            }
        } else if (status > 0xF0) {
            *error = QStringLiteral("a track holds a system message that files may not hold");
            return false;
        } else {
            running = status;
            const int kind = status & 0xF0;
            const int count = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
            quint8 bytes[2] = {0, 0};
            for (int i = 0; i < count; ++i) {
                if (!reader.byte(&bytes[i]) || (bytes[i] & 0x80)) {
                    *error = QStringLiteral("a channel message is cut short");
                    return false;
                }
            }
            events.push_back({tick, order, status, bytes[0], bytes[1], -1, 0});
        }
    }
    return true; // a track without an end-of-track event is accepted
}

bool isNoteOn(const TrackEvent &e)
{
    return (e.status & 0xF0) == 0x90 && e.data2 > 0;
}

bool isNote(const TrackEvent &e)
{
    const int kind = e.status & 0xF0;
    return kind == 0x80 || kind == 0x90;
}

} // namespace

bool MidiFile::looksLikeMidi(const QByteArray &head)
{
    return head.startsWith("MThd");
}

bool MidiFile::load(const QString &path, QString *error)
{
    QFile file;
    if (!FileNames::openForReading(file, path, error))
        return false;
    if (file.size() > MaxFileSize) {
        *error = QStringLiteral("the MIDI file is too large (over %1 bytes)").arg(MaxFileSize);
        return false;
    }
    return parse(file.readAll(), error);
}

bool MidiFile::parse(const QByteArray &data, QString *error)
{
    m_events.clear();
    m_sysex.clear();
    m_lengthMicros = 0;

    if (data.size() < 14 || !looksLikeMidi(data)) {
        *error = QStringLiteral("not a MIDI file");
        return false;
    }
    const quint32 headerLength = bigEndian(data, 4, 4);
    if (headerLength < 6 || headerLength > quint32(data.size() - 8)) {
        *error = QStringLiteral("the MIDI header is corrupt");
        return false;
    }
    const quint32 division = bigEndian(data, 12, 2);
    // Microseconds per tick are tempo / ticksPerQuarter, or fixed for SMPTE time.
    double smpteMicrosPerTick = 0;
    quint32 ticksPerQuarter = 0;
    if (division & 0x8000) {
        const int framesPerSecond = -qint8(division >> 8);
        const int ticksPerFrame = division & 0xFF;
        if (framesPerSecond <= 0 || ticksPerFrame == 0) {
            *error = QStringLiteral("the MIDI time division is corrupt");
            return false;
        }
        const double fps = framesPerSecond == 29 ? 29.97 : framesPerSecond;
        smpteMicrosPerTick = 1e6 / (fps * ticksPerFrame);
    } else {
        ticksPerQuarter = division;
        if (ticksPerQuarter == 0) {
            *error = QStringLiteral("the MIDI time division is zero");
            return false;
        }
    }

    std::vector<TrackEvent> events;
    int tracks = 0;
    qint64 pos = 8 + headerLength;
    while (pos + 8 <= data.size()) {
        const QByteArray id = data.mid(pos, 4);
        const qint64 length = bigEndian(data, pos + 4, 4);
        if (length > data.size() - (pos + 8)) {
            *error = QStringLiteral("a MIDI chunk runs past the end of the file");
            return false;
        }
        if (id == "MTrk") {
            if (!parseTrack(data, pos + 8, pos + 8 + length, events, m_sysex, error))
                return false;
            ++tracks;
        }
        pos += 8 + length;
    }
    if (tracks == 0) {
        *error = QStringLiteral("the MIDI file has no tracks");
        return false;
    }

    std::stable_sort(events.begin(), events.end(),
                     [](const TrackEvent &a, const TrackEvent &b) { return a.tick < b.tick; });

    qint64 lastNoteTick = -1;
    bool hasNotes = false;
    for (const TrackEvent &e : events) {
        if (isNote(e))
            lastNoteTick = e.tick;
        hasNotes = hasNotes || isNoteOn(e);
    }
    if (!hasNotes) {
        *error = QStringLiteral("the MIDI file has no notes");
        return false;
    }

    // Walk the tempo map; keep the messages up to the end of the last note.
    quint32 tempo = DefaultTempo;
    qint64 segmentTick = 0;
    double segmentMicros = 0;
    auto timeOf = [&](qint64 tick) {
        const double perTick
            = ticksPerQuarter ? double(tempo) / ticksPerQuarter : smpteMicrosPerTick;
        return segmentMicros + double(tick - segmentTick) * perTick;
    };
    m_events.reserve(events.size());
    for (const TrackEvent &e : events) {
        if (e.tick > lastNoteTick)
            break;
        if (e.status == 0xFF) {
            segmentMicros = timeOf(e.tick);
            segmentTick = e.tick;
            if (e.tempo > 0)
                tempo = e.tempo;
            continue;
        }
        m_events.push_back({qint64(timeOf(e.tick)), e.status, e.data1, e.data2, e.sysex});
    }
    const double length = timeOf(lastNoteTick);
    if (length > MaxMicros) {
        m_events.clear();
        m_sysex.clear();
        *error = QStringLiteral("the MIDI file is impossibly long");
        return false;
    }
    m_lengthMicros = qint64(length);
    return true;
}
