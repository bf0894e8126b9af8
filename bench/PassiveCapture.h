// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <chrono>
#include <mutex>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

// Listens to a sink's monitor without holding the sink awake, and tells where its first sound
// since the last reset() lies on the sink's clock.
class PassiveCapture
{
public:
    using Steady = std::chrono::steady_clock;

    PassiveCapture(const QString &source, int rate) : m_source(source), m_rate(rate) { }
    ~PassiveCapture() { stop(); }

    bool start(QString *error);
    void stop();

    // Forgets the sound heard so far.
    void reset();
    // The index of the first sound since reset(); -1 while none.
    qint64 firstSound() const;

    // The index of what the sink played at `when`, by the server's count (valid while the sink
    // has run without a pause from `when`, or from the first sound after it, up to now).
    qint64 positionAt(Steady::time_point when);

    // Milliseconds from `start` to the first sound on the sink's clock; NaN when none came.
    double fromTo(Steady::time_point start);

private:
    static void signal(pa_context *, void *self);
    static void signal(pa_stream *, void *self);
    static void done(pa_stream *, int, void *self);
    static void read(pa_stream *stream, size_t, void *self);

    QString m_source;
    int m_rate;
    pa_threaded_mainloop *m_mainloop = nullptr;
    pa_context *m_context = nullptr;
    pa_stream *m_stream = nullptr;
    mutable std::mutex m_mutex;
    qint64 m_received = 0;
    qint64 m_first = -1;
};
