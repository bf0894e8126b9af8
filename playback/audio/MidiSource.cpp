// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/MidiSource.h"
#include "playback/audio/MidiSynth.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr int MidiChannels = 16;
// Rendering steps while the last notes die away, so the end is found within a few ms.
constexpr qint64 ReleaseStep = 256;
constexpr qint64 MaxStep = 4096;
// Below this level (-60 dB, inaudible on the air) the sound counts as gone ...
constexpr float QuietLevel = 1e-3f;
// ... once it has stayed there this long (in frames at the synth's rate, 50 ms) ...
constexpr qint64 QuietFrames = MidiSynth::SampleRate / 20;
// ... and a release never runs longer than this (1.5 s).
constexpr qint64 MaxReleaseFrames = MidiSynth::SampleRate * 3 / 2;
// The limiter keeps the rare dense chord below full scale: it follows the peak level at once
// and lets go over about 0.1 s.
constexpr float Ceiling = 0.95f;
const float LimiterRelease = float(std::exp(-1.0 / (0.1 * MidiSynth::SampleRate)));

} // namespace

MidiSource::MidiSource(MidiFile file, MidiSynth &synth)
    : m_file(std::move(file)), m_synth(synth) { }

int MidiSource::sampleRate() const
{
    return MidiSynth::SampleRate;
}

int MidiSource::channels() const
{
    return MidiSynth::Channels;
}

qint64 MidiSource::frameCount() const
{
    return frameAt(m_file.lengthMicros());
}

qint64 MidiSource::frameAt(qint64 micros) const
{
    return std::llround(double(micros) * MidiSynth::SampleRate / 1e6);
}

bool MidiSource::seek(qint64 frame)
{
    m_position = std::max<qint64>(0, frame);
    m_needsRestart = true;
    return true;
}

qint64 MidiSource::read(float *buffer, qint64 frames)
{
    if (m_needsRestart) {
        if (const Result loaded = m_synth.ensureLoaded(); !loaded) {
            m_error = loaded.error;
            return -1;
        }
        restart();
    }
    fluid_synth_t *synth = m_synth.synth();
    const std::vector<MidiFile::Event> &events = m_file.events();
    qint64 done = 0;
    while (done < frames && !m_finished) {
        while (m_next < events.size() && frameAt(events[m_next].micros) <= m_position)
            dispatch(events[m_next++]);
        if (m_next == events.size() && !m_releasing) {
            releaseAll();
            m_releasing = true;
        }
        qint64 step = std::min(frames - done, m_releasing ? ReleaseStep : MaxStep);
        if (m_next < events.size())
            step = std::min(step, frameAt(events[m_next].micros) - m_position);
        float *out = buffer + done * MidiSynth::Channels;
        if (fluid_synth_write_float(synth, int(step), out, 0, 2, out, 1, 2) != FLUID_OK) {
            m_error = QStringLiteral("the MIDI synthesizer failed");
            return -1;
        }
        limit(out, step);
        m_position += step;
        done += step;
        if (m_releasing) {
            float peak = 0;
            for (qint64 i = 0; i < step * MidiSynth::Channels; ++i)
                peak = std::max(peak, std::fabs(out[i]));
            m_quietFrames = peak < QuietLevel ? m_quietFrames + step : 0;
            m_releaseFrames += step;
            m_finished = fluid_synth_get_active_voice_count(synth) == 0
                         || m_quietFrames >= QuietFrames || m_releaseFrames >= MaxReleaseFrames;
        }
    }
    return done;
}

void MidiSource::limit(float *frames, qint64 count)
{
    for (qint64 i = 0; i < count; ++i) {
        float *frame = frames + i * MidiSynth::Channels;
        const float peak = std::max(std::fabs(frame[0]), std::fabs(frame[1]));
        m_limiterLevel = std::max(peak, m_limiterLevel * LimiterRelease);
        if (m_limiterLevel > Ceiling) {
            const float gain = Ceiling / m_limiterLevel;
            frame[0] *= gain;
            frame[1] *= gain;
        }
    }
}

void MidiSource::restart()
{
    m_needsRestart = false;
    m_releasing = false;
    m_finished = false;
    m_releaseFrames = 0;
    m_quietFrames = 0;
    m_limiterLevel = 0;
    fluid_synth_system_reset(m_synth.synth());
    // Bring the channels to the state they have at the position: programs, controllers, pitch
    // bends and system-exclusive settings, but no notes.
    const std::vector<MidiFile::Event> &events = m_file.events();
    m_next = 0;
    for (; m_next < events.size() && frameAt(events[m_next].micros) < m_position; ++m_next) {
        const int kind = events[m_next].status & 0xF0;
        if (kind != 0x80 && kind != 0x90 && kind != 0xA0)
            dispatch(events[m_next]);
    }
    // With no note left to start, nothing sounds from here on.
    m_finished = std::none_of(
        events.begin() + qsizetype(m_next), events.end(),
        [](const MidiFile::Event &e) { return (e.status & 0xF0) == 0x90 && e.data2 > 0; });
    m_releasing = m_finished;
}

void MidiSource::dispatch(const MidiFile::Event &event)
{
    fluid_synth_t *synth = m_synth.synth();
    const int channel = event.status & 0x0F;
    switch (event.status & 0xF0) {
    case 0x80:
        fluid_synth_noteoff(synth, channel, event.data1);
        break;
    case 0x90:
        if (event.data2)
            fluid_synth_noteon(synth, channel, event.data1, event.data2);
        else
            fluid_synth_noteoff(synth, channel, event.data1);
        break;
    case 0xA0:
        fluid_synth_key_pressure(synth, channel, event.data1, event.data2);
        break;
    case 0xB0:
        fluid_synth_cc(synth, channel, event.data1, event.data2);
        break;
    case 0xC0:
        fluid_synth_program_change(synth, channel, event.data1);
        break;
    case 0xD0:
        fluid_synth_channel_pressure(synth, channel, event.data1);
        break;
    case 0xE0:
        fluid_synth_pitch_bend(synth, channel, event.data1 | (event.data2 << 7));
        break;
    case 0xF0: {
        const QByteArray &message = m_file.sysexMessages()[size_t(event.sysex)];
        fluid_synth_sysex(synth, message.constData(), int(message.size()), nullptr, nullptr,
                          nullptr, 0);
        break;
    }
    default:
        break;
    }
}

void MidiSource::releaseAll()
{
    fluid_synth_t *synth = m_synth.synth();
    for (int channel = 0; channel < MidiChannels; ++channel) {
        fluid_synth_cc(synth, channel, 64, 0); // sustain pedal up
        fluid_synth_cc(synth, channel, 66, 0); // sostenuto up
        fluid_synth_all_notes_off(synth, channel);
    }
}
