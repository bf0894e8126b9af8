// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/audio/AudioSource.h"
#include "playback/audio/MidiFile.h"

class MidiSynth;

// A MIDI file rendered by the shared synthesizer as it is read. The sound ends when the last
// note has died away, not at the file's end-of-track marker nor after a fixed run-out.
class MidiSource : public AudioSource
{
public:
    MidiSource(MidiFile file, MidiSynth &synth);

    int sampleRate() const override;
    int channels() const override;
    // Frames up to the end of the last note; the release that follows is not counted.
    qint64 frameCount() const override;
    qint64 read(float *buffer, qint64 frames) override;
    bool seek(qint64 frame) override;
    QString errorString() const override { return m_error; }

private:
    qint64 frameAt(qint64 micros) const;
    void restart();
    void dispatch(const MidiFile::Event &event);
    void releaseAll();
    void limit(float *frames, qint64 count);

    MidiFile m_file;
    MidiSynth &m_synth;
    qint64 m_position = 0;
    size_t m_next = 0; // next event to send
    bool m_needsRestart = true;
    bool m_releasing = false; // all notes have been sent; waiting for the sound to die away
    bool m_finished = false;
    qint64 m_releaseFrames = 0;
    qint64 m_quietFrames = 0;
    float m_limiterLevel = 0;
    QString m_error;
};
