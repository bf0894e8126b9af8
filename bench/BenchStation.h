// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/VoiceVocta.h"
#include "playback/audio/PulseAudioInput.h"
#include "playback/audio/PulseConnection.h"
#include "playback/audio/PulseSoundServer.h"
#include "playback/audio/SoundDevice.h"
#include "ptt/QtSerialLines.h"
#include "station/Dialogs.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QWidget;

// The file dialog answers at once with the file the benchmark wants.
class InstantDialogs : public Dialogs
{
public:
    QString openFile(const OpenFileRequest &) override { return answer; }
    FontChoice chooseFont(const FontChoice &preload) override { return preload; }
    void critical(const QString &) override { }
    void notice(const QString &, bool) override { }

    QString answer;
};

// The real serial lines, noting when RTS last changed to each level, once the port layer's ioctl
// has returned, and how many changes to each level there were. A request for the level RTS
// already has (the station repeats its releases) is no change.
class StampedSerialLines : public QtSerialLines
{
public:
    void setRts(bool level) override
    {
        QtSerialLines::setRts(level);
        if (m_level == level)
            return;
        m_level = level;
        m_rtsAt[level] = std::chrono::steady_clock::now();
        ++m_rtsCount[level];
    }
    std::chrono::steady_clock::time_point rtsAt(bool level) const { return m_rtsAt[level]; }
    int rtsCount(bool level) const { return m_rtsCount[level]; }

private:
    std::optional<bool> m_level;
    std::chrono::steady_clock::time_point m_rtsAt[2];
    int m_rtsCount[2] = {0, 0};
};

// The station, built as main() builds it, in a program folder of its own; on a connection to the
// sound server of its own, or on the one given.
class BenchStation
{
public:
    explicit BenchStation(const QString &folder);
    BenchStation(PulseConnection &connection, const QString &folder);

    std::unique_ptr<PulseConnection> ownConnection; // when none is given
    PulseConnection &connection;
    SoundDevice device;
    StampedSerialLines lines;
    InstantDialogs dialogs;
    PulseSoundServer server;
    PulseAudioInput input;
    SoundDevice preview;
    VoiceVocta station;

private:
    BenchStation(std::unique_ptr<PulseConnection> own, PulseConnection *shared,
                 const QString &folder);
};

// Copies the build's Images/ and Wav/ into folder.
void populateProgramFolder(const QString &folder);

// A mouse click as the window system delivers it: press and release over the widget's middle.
void click(QWidget *widget, Qt::MouseButton button);

// Runs the event loop, idle between events as the program's is, until `done` holds or
// `timeoutMs` passes, and returns the longest time the loop did not turn: a timer asks for a turn
// every millisecond, so any longer gap between two turns is time some handler held the thread.
double longestStallWhile(const std::function<bool()> &done, int timeoutMs);

// The median and the worst of some figures (0 for none).
double median(std::vector<double> values);
double worst(const std::vector<double> &values);
