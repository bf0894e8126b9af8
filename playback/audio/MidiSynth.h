// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/Result.h"

#include <QString>
#include <mutex>

typedef struct _fluid_hashtable_t fluid_settings_t;
typedef struct _fluid_synth_t fluid_synth_t;

// The FluidSynth synthesizer with its soundfont, created and loaded once and then reused for
// every MIDI file. Nothing is loaded before a MIDI file is wanted: a station that plays sound
// files alone never holds the soundfont's samples (some 20 MB). Loading takes about a tenth of a
// second; the playback engine's worker does it ahead where the memories hold MIDI files.
class MidiSynth
{
public:
    explicit MidiSynth(const QString &soundFontPath);
    ~MidiSynth();
    MidiSynth(const MidiSynth &) = delete;
    MidiSynth &operator=(const MidiSynth &) = delete;

    static constexpr int SampleRate = 44100;
    static constexpr int Channels = 2;
    // FluidSynth's own default (0.2) is too quiet to drive a transmitter; at 0.7 a four-voice
    // chord with bass and drums at full velocity still peaks below full scale (a limiter in
    // MidiSource catches what goes beyond).
    static constexpr double Gain = 0.7;

    QString soundFontPath() const { return m_soundFontPath; }
    // Whether the soundfont file is there to be loaded.
    bool soundFontAvailable() const;

    // Creates the synthesizer and loads the soundfont unless done already; a failure says why
    // (it is not tried again). Any thread: a second caller waits for the first.
    Result ensureLoaded();
    bool isLoaded() const { return m_synth && m_fontId >= 0; }
    fluid_synth_t *synth() const { return m_synth; }

private:
    QString m_soundFontPath;
    std::mutex m_loading;
    fluid_settings_t *m_settings = nullptr;
    fluid_synth_t *m_synth = nullptr;
    int m_fontId = -1;
    bool m_failed = false;
    QString m_error;
};
