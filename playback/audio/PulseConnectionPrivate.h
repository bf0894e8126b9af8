// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/audio/PulseConnection.h"

#include <QList>
#include <QString>

#include <thread>

class QFileSystemWatcher;
struct pa_context;
struct pa_threaded_mainloop;

// What the connection holds (PulseConnection.cpp: the mainloop and the attempts to connect;
// PulseDeviceLists.cpp: the server's outputs and inputs).
struct PulseConnection::Snapshot
{
    QList<SoundEndpoint> sinks;
    QList<SoundEndpoint> sources;
    QString defaultSink;
    QString defaultSource;
};

struct PulseConnection::Private
{
    // Mainloop side (lock held).
    pa_context *context = nullptr;
    bool ready = false;
    quint64 attempt = 0;
    Snapshot snapshot; // being gathered
    int pending = 0; // queries of the snapshot still out
    bool refreshAgain = false;
    QString server; // the server's address once connected

    // Starts the mainloop; what it made, once joined.
    bool startAsked = false;
    std::thread starter;
    pa_threaded_mainloop *started = nullptr;

    // UI side.
    quint64 uiAttempt = 0;
    bool attemptRunning = false;
    bool retryingAfterChange = false;
    QString lastServer;
    QFileSystemWatcher *watcher = nullptr;

    // Lets the context go, its callbacks off; with the lock held.
    void dropContext();
    static QString text(const char *s) { return s ? QString::fromUtf8(s) : QString(); }
};
