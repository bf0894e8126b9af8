// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/MidiSynth.h"

#include <QFile>
#include <QFileInfo>

#include <fluidsynth.h>

MidiSynth::MidiSynth(const QString &soundFontPath) : m_soundFontPath(soundFontPath) { }

MidiSynth::~MidiSynth()
{
    if (m_synth)
        delete_fluid_synth(m_synth);
    if (m_settings)
        delete_fluid_settings(m_settings);
}

bool MidiSynth::soundFontAvailable() const
{
    return QFileInfo(m_soundFontPath).isFile();
}

Result MidiSynth::ensureLoaded()
{
    std::lock_guard lock(m_loading);
    if (isLoaded())
        return {};
    if (m_failed)
        return Result::failure(m_error);
    m_settings = new_fluid_settings();
    if (m_settings) {
        fluid_settings_setnum(m_settings, "synth.sample-rate", SampleRate);
        fluid_settings_setnum(m_settings, "synth.gain", Gain);
        // A dry sound: a reverb tail would run on after the last note and blur speech-band
        // audio on the air.
        fluid_settings_setint(m_settings, "synth.reverb.active", 0);
        fluid_settings_setint(m_settings, "synth.chorus.active", 0);
        fluid_settings_setint(m_settings, "synth.cpu-cores", 1);
        m_synth = new_fluid_synth(m_settings);
    }
    if (!m_synth) {
        m_failed = true;
        m_error = QStringLiteral("the MIDI synthesizer cannot be created");
        return Result::failure(m_error);
    }
    m_fontId = fluid_synth_sfload(m_synth, QFile::encodeName(m_soundFontPath).constData(), 1);
    if (m_fontId < 0) {
        m_failed = true;
        m_error = QStringLiteral("the soundfont %1 cannot be loaded").arg(m_soundFontPath);
        return Result::failure(m_error);
    }
    return {};
}
