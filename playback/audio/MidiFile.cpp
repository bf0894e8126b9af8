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

// A meta event's data: a tempo change goes into events; *endOfTrack at the end of the track.
Result readMeta(Reader &reader, const QByteArray &data, TrackEvent event,
                std::vector<TrackEvent> &events, bool *endOfTrack)
{
    quint8 type;
    quint32 length;
    qint64 start;
    if (!reader.byte(&type) || !reader.number(&length) || !reader.skip(length, &start))
        return Result::failure(QStringLiteral("a meta event runs past the end of its track"));
    *endOfTrack = type == 0x2F;
    if (type == 0x51 && length == 3) {
        event.tempo = bigEndian(data, start, 3);
        events.push_back(event);
    }
    return {};
}

// A system-exclusive message's data (0xF0), or an escape's (0xF7, skipped).
Result readSysex(Reader &reader, const QByteArray &data, TrackEvent event,
                 std::vector<TrackEvent> &events, std::vector<QByteArray> &sysex)
{
    quint32 length;
    qint64 start;
    if (!reader.number(&length) || !reader.skip(length, &start))
        return Result::failure(
            QStringLiteral("a system-exclusive message runs past the end of its track"));
    if (event.status == 0xF0) {
        QByteArray message = data.mid(start, length);
        if (message.endsWith(char(0xF7)))
            message.chop(1);
        sysex.push_back(message);
        event.sysex = int(sysex.size()) - 1;
        events.push_back(event);
    }
    return {};
}

// A channel message's one or two data bytes.
Result readChannel(Reader &reader, TrackEvent event, std::vector<TrackEvent> &events)
{
    const int kind = event.status & 0xF0;
    const int count = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
    quint8 bytes[2] = {0, 0};
    for (int i = 0; i < count; ++i) {
        if (!reader.byte(&bytes[i]) || (bytes[i] & 0x80))
            return Result::failure(QStringLiteral("a channel message is cut short"));
    }
    event.data1 = bytes[0];
    event.data2 = bytes[1];
    events.push_back(event);
    return {};
}

Result parseTrack(const QByteArray &data, qint64 begin, qint64 end, std::vector<TrackEvent> &events,
                  std::vector<QByteArray> &sysex)
{
    Reader reader(data, begin, end);
    qint64 tick = 0;
    quint8 running = 0;
    while (!reader.atEnd()) {
        quint32 delta;
        quint8 status;
        if (!reader.number(&delta) || !reader.peek(&status))
            return Result::failure(QStringLiteral("a track ends in the middle of an event"));
        tick += delta;
        if (status & 0x80) {
            reader.byte(&status);
        } else if (running) {
            status = running;
        } else {
            return Result::failure(QStringLiteral("a track has data without a status byte"));
        }
        if (qint64(events.size()) >= MaxEvents)
            return Result::failure(QStringLiteral("the file has too many events"));
        const TrackEvent event{tick, int(events.size()), status, 0, 0, -1, 0};
        if (status == 0xFF) {
            bool endOfTrack = false;
            if (Result step = readMeta(reader, data, event, events, &endOfTrack); !step)
                return step;
            if (endOfTrack)
                return {};
            running = 0;
        } else if (status == 0xF0 || status == 0xF7) {
            if (Result step = readSysex(reader, data, event, events, sysex); !step)
                return step;
            running = 0;
        } else if (status > 0xF0) {
            return Result::failure(
                QStringLiteral("a track holds a system message that files may not hold"));
        } else {
            running = status;
            if (Result step = readChannel(reader, event, events); !step)
                return step;
        }
    }
    return {}; // a track without an end-of-track event is accepted
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

// How the file's ticks become time: by the tempo, in ticks per quarter note, or fixed for SMPTE
// time.
struct TimeBase
{
    quint32 ticksPerQuarter = 0;
    double smpteMicrosPerTick = 0;
};

// The header's time division, and where the chunks after the header start.
Result readHeader(const QByteArray &data, TimeBase *base, qint64 *chunksStart)
{
    if (data.size() < 14 || !MidiFile::looksLikeMidi(data))
        return Result::failure(QStringLiteral("not a MIDI file"));
    const quint32 headerLength = bigEndian(data, 4, 4);
    if (headerLength < 6 || headerLength > quint32(data.size() - 8))
        return Result::failure(QStringLiteral("the MIDI header is corrupt"));
    *chunksStart = 8 + headerLength;
    const quint32 division = bigEndian(data, 12, 2);
    if (division & 0x8000) {
        const int framesPerSecond = -qint8(division >> 8);
        const int ticksPerFrame = division & 0xFF;
        if (framesPerSecond <= 0 || ticksPerFrame == 0)
            return Result::failure(QStringLiteral("the MIDI time division is corrupt"));
        const double fps = framesPerSecond == 29 ? 29.97 : framesPerSecond;
        base->smpteMicrosPerTick = 1e6 / (fps * ticksPerFrame);
        return {};
    }
    base->ticksPerQuarter = division;
    if (base->ticksPerQuarter == 0)
        return Result::failure(QStringLiteral("the MIDI time division is zero"));
    return {};
}

// The events of every track chunk from pos on, in file order.
Result readTracks(const QByteArray &data, qint64 pos, std::vector<TrackEvent> &events,
                  std::vector<QByteArray> &sysex)
{
    int tracks = 0;
    while (pos + 8 <= data.size()) {
        const QByteArray id = data.mid(pos, 4);
        const qint64 length = bigEndian(data, pos + 4, 4);
        if (length > data.size() - (pos + 8))
            return Result::failure(QStringLiteral("a MIDI chunk runs past the end of the file"));
        if (id == "MTrk") {
            if (Result step = parseTrack(data, pos + 8, pos + 8 + length, events, sysex); !step)
                return step;
            ++tracks;
        }
        pos += 8 + length;
    }
    if (tracks == 0)
        return Result::failure(QStringLiteral("the MIDI file has no tracks"));
    return {};
}

// Walks the tempo map of the events (in time order), keeping the messages up to the end of the
// last note in `placed`; returns when the last note ends, in microseconds.
double placeInTime(const std::vector<TrackEvent> &events, const TimeBase &base,
                   std::vector<MidiFile::Event> &placed)
{
    qint64 lastNoteTick = -1;
    for (const TrackEvent &e : events)
        if (isNote(e))
            lastNoteTick = e.tick;
    quint32 tempo = DefaultTempo;
    qint64 segmentTick = 0;
    double segmentMicros = 0;
    auto timeOf = [&](qint64 tick) {
        const double perTick
            = base.ticksPerQuarter ? double(tempo) / base.ticksPerQuarter : base.smpteMicrosPerTick;
        return segmentMicros + double(tick - segmentTick) * perTick;
    };
    placed.reserve(events.size());
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
        placed.push_back({qint64(timeOf(e.tick)), e.status, e.data1, e.data2, e.sysex});
    }
    return timeOf(lastNoteTick);
}

} // namespace

bool MidiFile::looksLikeMidi(const QByteArray &head)
{
    return head.startsWith("MThd");
}

Result MidiFile::load(const QString &path)
{
    QFile file;
    if (Result step = FileNames::openForReading(file, path); !step)
        return step;
    if (file.size() > MaxFileSize)
        return Result::failure(
            QStringLiteral("the MIDI file is too large (over %1 bytes)").arg(MaxFileSize));
    return parse(file.readAll());
}

Result MidiFile::parse(const QByteArray &data)
{
    m_events.clear();
    m_sysex.clear();
    m_lengthMicros = 0;

    TimeBase base;
    qint64 tracksStart = 0;
    if (Result step = readHeader(data, &base, &tracksStart); !step)
        return step;
    std::vector<TrackEvent> events;
    if (Result step = readTracks(data, tracksStart, events, m_sysex); !step)
        return step;
    std::stable_sort(events.begin(), events.end(),
                     [](const TrackEvent &a, const TrackEvent &b) { return a.tick < b.tick; });
    if (std::none_of(events.begin(), events.end(), isNoteOn))
        return Result::failure(QStringLiteral("the MIDI file has no notes"));
    const double length = placeInTime(events, base, m_events);
    if (length > MaxMicros) {
        m_events.clear();
        m_sysex.clear();
        return Result::failure(QStringLiteral("the MIDI file is impossibly long"));
    }
    m_lengthMicros = qint64(length);
    return {};
}
