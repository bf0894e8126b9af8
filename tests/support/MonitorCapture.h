// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <chrono>
#include <memory>
#include <vector>

// Listens to a sound server's source (a sink's monitor: what went out on that sink) with a
// connection of its own, as 32-bit float at the sink's rate (44.1 kHz unless told), in blocks of a
// millisecond, and notes when the first and the last sound arrived. It keeps the first of the
// sink's two channels: the servers put a mono stream on both unchanged, while they mix stereo
// down to mono each in its own way. Independent of the program's own sound code, it stands where
// a listener at the sink would.
//
// Sample n of samples() is what the sink played n samples after the capture began: its index is
// a time on the sink's own clock. positionAt() tells which sample the sink was playing at a given
// moment, whenever the capture's thread gets to run, so that tests judge timing by the sink's
// clock rather than by when this client happens to receive the samples.
class MonitorCapture
{
public:
    using Clock = std::chrono::steady_clock;

    // On the server that PULSE_SERVER names, or on `server`; `channel` 1 keeps the second.
    explicit MonitorCapture(const QString &source, int sampleRate = SampleRate,
                            const QString &server = QString(), int channel = 0);
    ~MonitorCapture();
    MonitorCapture(const MonitorCapture &) = delete;
    MonitorCapture &operator=(const MonitorCapture &) = delete;

    // Connects and waits until it records; false with error set when it cannot.
    bool start(QString *error);
    // Stops recording and lets go of the server.
    void stop();

    // Everything recorded so far, and how much of it is sound (not exactly zero).
    std::vector<float> samples() const;
    qint64 soundSamples() const;
    // When the first and the latest sound arrived; a default time point when none yet.
    Clock::time_point firstSound() const;
    Clock::time_point lastSound() const;
    // Forgets what was recorded so far (the positions go on from there).
    void clear();
    // What was recorded so far, forgotten here as clear() does, in one step.
    std::vector<float> take();

    // The index in samples() of what the sink played at `when` (a moment in the past, or now), by
    // the server's own count of what the capture has been given; -1 when the server does not
    // answer.
    qint64 positionAt(Clock::time_point when) const;
    // Waits until samples() holds everything the sink has played up to now; false when that
    // does not come within timeoutMs. The caller's event loop runs meanwhile.
    bool catchUp(int timeoutMs = 10000) const;

    static constexpr int SampleRate = 44100;
    int sampleRate() const;

    // A null sink's monitor misses the first moment of a stream that starts: to start it at once
    // the server remixes what the sink had rendered ahead (a millisecond here, a few on a busy
    // machine), and the monitor cannot take back what it had passed on already. A sound card
    // hears it all.
    static constexpr qsizetype HeadLoss = SampleRate / 100;
    // The sound in samples: from the first to the last sample that is not silent.
    static std::vector<float> sound(const std::vector<float> &samples);
    // Whether heard is what was sent, within tolerance, but for at most HeadLoss samples of its
    // start.
    static bool heardAsSent(const std::vector<float> &heard, const std::vector<float> &sent,
                            float tolerance = 0.0f);
    // The same, but for samples that are exactly silent in heard. PipeWire plays a cycle of its
    // graph silent when the stream's client has not answered in time (a busy machine) and drops
    // what the stream held for it: a hole in place of the sound, which may also cut its ends.
    static bool heardAsSentButForHoles(const std::vector<float> &heard,
                                       const std::vector<float> &sent, float tolerance = 0.0f);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
