// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/MidiFile.h"
#include "playback/audio/MidiSource.h"
#include "playback/audio/MidiSynth.h"
#include "playback/audio/SoundDevice.h"
#include "tests/audio/TestSounds.h"

#include <QTest>

#include <cmath>

using namespace TestSounds;

// Reading MIDI files and rendering them with the soundfont, without a sound output.
class TestMidi : public QObject
{
    Q_OBJECT

private slots:
    void readsTempoMap_data();
    void readsTempoMap();
    void refusesCorruptFiles_data();
    void refusesCorruptFiles();
    void rendersUntilTheLastNoteDiesAway_data();
    void rendersUntilTheLastNoteDiesAway();
    void seekPlaysFromThePosition();
};

namespace {

const QByteArray noteOn = midiEvent(0, 0x90, 60, 100);

// Renders a source to its end; returns the frames.
std::vector<float> renderAll(AudioSource &source)
{
    std::vector<float> all;
    std::vector<float> block(4096 * size_t(source.channels()));
    for (;;) {
        const qint64 got = source.read(block.data(), 4096);
        if (got <= 0)
            break;
        all.insert(all.end(), block.begin(), block.begin() + got * source.channels());
        if (all.size() > size_t(MidiSynth::SampleRate * 60 * 2))
            break; // never ends: the test fails below
    }
    return all;
}

} // namespace

void TestMidi::readsTempoMap_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<qint64>("lengthMs");
    QTest::addColumn<int>("events");

    QTest::newRow("default tempo, 120 bpm")
        << midiFile(96, noteOn + midiEvent(96, 0x80, 60, 0) + midiEndOfTrack(0)) << qint64(500)
        << 2;
    QTest::newRow("running status, note-on with velocity 0 ends the note")
        << midiFile(96, noteOn + midiNumber(48) + char(64) + char(100) + midiNumber(48) + char(60)
                            + char(0) + midiNumber(48) + char(64) + char(0))
        << qint64(750) << 4;
    QTest::newRow("tempo in its own track, format 1")
        << midiFile(100, QList<QByteArray>{midiTempo(0, 1000000) + midiEndOfTrack(0),
                                           noteOn + midiEvent(200, 0x80, 60, 0)})
        << qint64(2000) << 2;
    QTest::newRow("controllers after the last note are dropped")
        << midiFile(96, noteOn + midiEvent(96, 0x80, 60, 0) + midiEvent(960, 0xB0, 7, 100))
        << qint64(500) << 2;
    QTest::newRow("unknown chunks are skipped")
        << midiFile(96, noteOn + midiEvent(192, 0x80, 60, 0)) + QByteArray("XTRA\0\0\0\x02zz", 10)
        << qint64(1000) << 2;
}

void TestMidi::readsTempoMap()
{
    QFETCH(QByteArray, file);
    QFETCH(qint64, lengthMs);
    QFETCH(int, events);
    MidiFile midi;
    const Result result = midi.parse(file);
    QVERIFY2(result, qPrintable(result.error));
    QCOMPARE(midi.lengthMicros() / 1000, lengthMs);
    QCOMPARE(int(midi.events().size()), events);
}

void TestMidi::refusesCorruptFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    const QByteArray noteOff = midiEvent(96, 0x80, 60, 0);
    QTest::newRow("no header") << QByteArray("MTrk\0\0\0\0", 8);
    QTest::newRow("cut inside the header") << midiFile(96, noteOn + noteOff).left(12);
    QTest::newRow("no tracks") << midiFile(96, noteOn + noteOff).left(14);
    QTest::newRow("track longer than the file") << midiFile(96, noteOn + noteOff).chopped(2);
    QTest::newRow("time division zero") << midiFile(0, noteOn + noteOff);
    QTest::newRow("delta time of five bytes")
        << midiFile(96, noteOn + QByteArray("\x81\x81\x81\x81\x01\x80\x3C\x00", 8));
    QTest::newRow("meta event past the track's end")
        << midiFile(96, noteOn + QByteArray("\0\xFF\x01\x40", 4));
    QTest::newRow("data byte where a status belongs") << midiFile(96, QByteArray("\0\x3C\x64", 3));
    QTest::newRow("channel message cut short")
        << midiFile(96, noteOn + QByteArray("\0\x80\x3C", 3));
    QTest::newRow("system message in a track") << midiFile(96, noteOn + QByteArray("\0\xF8", 2));
    QTest::newRow("no notes") << midiFile(96, midiTempo(0, 500000) + midiEndOfTrack(96));
    QTest::newRow("note-offs only") << midiFile(96, midiEvent(0, 0x80, 60, 0));
}

void TestMidi::refusesCorruptFiles()
{
    QFETCH(QByteArray, file);
    MidiFile midi;
    const Result result = midi.parse(file);
    QVERIFY(!result);
    QVERIFY(!result.error.isEmpty());
}

void TestMidi::rendersUntilTheLastNoteDiesAway_data()
{
    QTest::addColumn<QByteArray>("file");
    // Notes end at 0.5 s; the end-of-track comes 3 s later.
    QTest::newRow("notes with note-offs") << midiFile(
        96, midiProgram(0, 0, 0) + noteOn + midiEvent(0, 0x90, 64, 100) + midiEvent(96, 0x80, 60, 0)
                + midiEvent(0, 0x80, 64, 0) + midiEndOfTrack(576));
    QTest::newRow("note held by the sustain pedal")
        << midiFile(96, midiEvent(0, 0xB0, 64, 127) + noteOn + midiEvent(96, 0x80, 60, 0)
                            + midiEndOfTrack(576));
    QTest::newRow("organ note never released") << midiFile(
        96, midiProgram(0, 0, 19) + noteOn + midiEvent(96, 0x90, 64, 100) + midiEndOfTrack(576));
}

void TestMidi::rendersUntilTheLastNoteDiesAway()
{
    QFETCH(QByteArray, file);
    MidiSynth synth(SoundDevice::defaultSoundFont());
    if (!synth.soundFontAvailable())
        QSKIP("the soundfont is not installed");
    MidiFile midi;
    const Result result = midi.parse(file);
    QVERIFY2(result, qPrintable(result.error));
    MidiSource source(std::move(midi), synth);
    QCOMPARE(source.frameCount(), qint64(MidiSynth::SampleRate / 2));

    const std::vector<float> sound = renderAll(source);
    const qint64 frames = qint64(sound.size()) / MidiSynth::Channels;
    QVERIFY2(frames >= source.frameCount(), qPrintable(QString::number(frames)));
    // The release is short and capped; nothing runs on to the end-of-track.
    QVERIFY2(frames <= source.frameCount() + MidiSynth::SampleRate * 3 / 2 + 256,
             qPrintable(QString::number(frames)));
    float peak = 0;
    for (float sample : sound)
        peak = std::max(peak, std::abs(sample));
    QVERIFY2(peak > 0.05f && peak < 1.0f, qPrintable(QString::number(peak)));
    float tail = 0; // the last 5 ms
    for (size_t i = sound.size() - 441; i < sound.size(); ++i)
        tail = std::max(tail, std::abs(sound[i]));
    QVERIFY2(tail < 0.01f, qPrintable(QString::number(tail)));
}

void TestMidi::seekPlaysFromThePosition()
{
    MidiSynth synth(SoundDevice::defaultSoundFont());
    if (!synth.soundFontAvailable())
        QSKIP("the soundfont is not installed");
    // Two notes, one second apart.
    const QByteArray file
        = midiFile(96, noteOn + midiEvent(96, 0x80, 60, 0) + midiEvent(96, 0x90, 67, 100)
                           + midiEvent(96, 0x80, 67, 0));
    MidiFile midi;
    const Result result = midi.parse(file);
    QVERIFY2(result, qPrintable(result.error));
    MidiSource source(std::move(midi), synth);
    const std::vector<float> whole = renderAll(source);

    QVERIFY(source.seek(MidiSynth::SampleRate)); // the second note
    const std::vector<float> second = renderAll(source);
    QVERIFY(!second.empty());
    QVERIFY(second.size() < whole.size());
    QVERIFY(std::any_of(second.begin(), second.begin() + 4410, [](float s) { return s != 0; }));

    QVERIFY(source.seek(source.frameCount())); // "Next": nothing left to sound
    const std::vector<float> end = renderAll(source);
    QVERIFY(end.empty());
}

QTEST_GUILESS_MAIN(TestMidi)
#include "tst_midi.moc"
