// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/audio/SoundDevice.h"

#include "playback/audio/MidiSynth.h"
#include "playback/audio/PlaybackEngine.h"
#include "playback/audio/PulseConnection.h"

#include <QElapsedTimer>
#include <QTimer>

#include <memory>

class MessageLoudness;

// What the sound device holds (SoundDevice.cpp: the file and its sources; SoundDevicePlay.cpp: its
// play and the output it takes).
struct SoundDevice::Private
{
    Private(PulseConnection *shared, const QString &soundFont, SoundDevice *device);

    std::unique_ptr<PulseConnection> ownConnection;
    PulseConnection &connection;
    MidiSynth synth; // outlives the engine, whose sources use it
    PlaybackEngine engine;
    MessageLoudness *loudness = nullptr;
    Mode mode = Mode::NotReady;
    qint32 length = 0;
    int monitorLevel = 100;
    int sampleRate = 0;
    qint64 frames = 0;
    quint64 generation = 0; // changes whenever a file is opened or closed
    quint64 play = 0; // counts the plays; the engine reports a play's end with its number
    bool pending = false; // the play waits for the sound server's answer
    quint64 prepareToken = 0; // counts the prepares; any later command makes one stale
    QTimer prepareTimeout; // the output that does not get ready in time
    Timings timings;

    // The play's progress, watched while it plays.
    QTimer watch;
    QElapsedTimer sinceProgress;
    qint64 taken = 0;
};
