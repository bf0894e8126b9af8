// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/SoundServer.h"

#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;

// The program's one connection to the sound server (PulseAudio, or PipeWire through
// pipewire-pulse): libpulse's threaded mainloop and a context, shared by everything that plays,
// records or lists devices. It connects in the background and never makes the UI thread wait for
// the server: a dead or slow server only shows as a connection that is not ready. Even libpulse is
// opened and its mainloop started on a thread of their own, so the window's start does not wait.
//
// While it is ready it keeps the server's outputs (sinks) and inputs (sources) current through
// the server's subscription events; the lists, the defaults and the state are read on the UI
// thread, where every change arrives queued. When the server goes away it tries again at once,
// and after that whenever the server's socket folder changes (a server that starts again), or
// when connectToServer() is called: nothing runs on a timer while nothing changes.
//
// Streams are made on context() with the mainloop locked (Lock); libpulse runs their callbacks
// on the mainloop thread with the lock held.
class PulseConnection : public QObject
{
    Q_OBJECT
public:
    enum State {
        Connecting, // an attempt runs; its outcome is not known yet
        Ready, // the server answers; the device lists are current
        Unavailable, // no server answers
    };
    Q_ENUM(State)

    // When libpulse is opened and the first attempt starts: at once, or at start().
    enum class Start { Now, WhenAsked };

    explicit PulseConnection(Start start = Start::Now, QObject *parent = nullptr);
    ~PulseConnection() override;

    // Opens libpulse and starts the mainloop on a thread of their own, then the first attempt;
    // returns at once. Until then the state is Connecting. Once; later calls do nothing.
    void start();

    // UI thread.
    State state() const { return m_state; }
    // Starts an attempt unless one runs or the connection is ready.
    void connectToServer();
    QList<SoundEndpoint> sinks() const { return m_sinks; }
    QList<SoundEndpoint> sources() const { return m_sources; }
    QString defaultSink() const { return m_defaultSink; }
    QString defaultSource() const { return m_defaultSource; }
    bool hasSink(const QString &name) const;
    bool hasSource(const QString &name) const;
    // Why the last attempt failed or the connection was lost; empty while ready.
    QString lastError() const { return m_lastError; }

    // Any thread. The mainloop, to lock around every use of context() and the streams made on it;
    // null until it runs.
    pa_threaded_mainloop *mainloop() const { return m_mainloop.load(std::memory_order_acquire); }
    // The current context when it is ready, else null; only with the mainloop locked.
    pa_context *context() const;

    // Locks the mainloop for a scope.
    class Lock
    {
    public:
        explicit Lock(const PulseConnection &connection);
        ~Lock();
        Lock(const Lock &) = delete;
        Lock &operator=(const Lock &) = delete;

    private:
        pa_threaded_mainloop *m_mainloop;
    };

    // Lets a stream go: its callbacks off, disconnected while it is connected, unreferenced, and
    // `stream` null. Only with the mainloop locked; nothing when `stream` is null.
    static void dropStream(pa_stream *&stream);

    // The name the server knows the program by (application.name, media.name).
    static const char *const ClientName;

signals:
    // The state changed.
    void stateChanged(PulseConnection::State state);
    // The sinks, the sources or the defaults changed (also when the connection is lost).
    void devicesChanged();

private:
    struct Snapshot;
    struct Private;

    // The starting thread: opens libpulse and starts the mainloop.
    void startMainloop();
    // UI thread, queued from the starting thread.
    void adoptMainloop();

    // Mainloop thread (lock held).
    static void contextStateCallback(pa_context *context, void *self);
    void beginAttempt();
    // PulseDeviceLists.cpp: the server's devices, asked for again whenever they change.
    void watchDevices();
    void refreshDevices();
    void queryAnswered();
    void publishSnapshot();

    // UI thread, queued from the mainloop thread.
    void applyReady(quint64 attempt, const Snapshot &snapshot);
    void applyLost(quint64 attempt, const QString &error, bool wasReady);
    void watchSocketFolder();
    void retryAfterChange();

    std::atomic<pa_threaded_mainloop *> m_mainloop = nullptr;
    std::unique_ptr<Private> d;

    State m_state = Connecting;
    QList<SoundEndpoint> m_sinks;
    QList<SoundEndpoint> m_sources;
    QString m_defaultSink;
    QString m_defaultSource;
    QString m_lastError;
    int m_retries = 0;
};
