// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

#include <atomic>

// A decoded sound: interleaved 32-bit float frames at a fixed rate and channel count, read in
// order from a position. Sources are created on the UI thread and then used only by the playback
// engine's worker thread.
class AudioSource
{
public:
    virtual ~AudioSource() = default;

    virtual int sampleRate() const = 0;
    virtual int channels() const = 0;
    // Nominal length in frames: the end that "Next" moves to and that Length reports.
    virtual qint64 frameCount() const = 0;

    // Reads up to frames frames at the current position into buffer (frames * channels()
    // floats). Returns the number of frames read, 0 at the end, -1 on a failure (errorString()).
    virtual qint64 read(float *buffer, qint64 frames) = 0;
    // Moves the read position; false on a failure (errorString()).
    virtual bool seek(qint64 frame) = 0;

    virtual QString errorString() const = 0;

    // Work done once before the first read, on the engine's worker, ahead of making the output
    // ready for the play (measuring the sound, for one); `abandon` turns true when the source is
    // replaced or the engine ends meanwhile. Nothing by default.
    virtual void settle(const std::atomic<bool> &abandon) { Q_UNUSED(abandon); }
};
