// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <functional>

struct AppState;
class SoundPlayer;

// Listening to a memory's message without sending it: it plays on a player of its own, on the
// monitor output (AppState::AudioMonitor, at its level), or on the system's default output when
// no monitor is chosen. It never keys the transmitter and never touches the station: no keying
// request, no state of the station changes.
//
// A preview is refused (false, and one line on standard error) while a message plays, for a
// memory outside 1..6, for a file that cannot be opened, and where it would go out on the
// transmitter's own output (the monitor is that output, or the default output is, or no sound
// server tells them apart). A new preview replaces one that plays.
class MemoryPreview : public QObject
{
    Q_OBJECT
public:
    MemoryPreview(const AppState &state, SoundPlayer &player, QObject *parent = nullptr);

    // Whether a message plays now (unset: none ever does).
    void setMessageBusy(std::function<bool()> query) { m_messageBusy = std::move(query); }
    // The name of the sound server's default output now; empty when no server names one.
    void setDefaultOutput(std::function<QString()> query) { m_defaultOutput = std::move(query); }

    // Plays memory `number` (1..6); false when it is refused.
    bool preview(int number);
    // Stops the preview that plays; false, and nothing at all, when none does.
    bool stop();
    bool isPlaying() const;

private:
    // Why the preview would go out on the transmitter's output; empty when it would not.
    QString refusal() const;

    const AppState &m_state;
    SoundPlayer &m_player;
    std::function<bool()> m_messageBusy;
    std::function<QString()> m_defaultOutput;
};
