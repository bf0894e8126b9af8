// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

struct AppState;
class FaceButton;
class MediaDevice;
class ProgressControl;
class Keying;
class Refusal;
class Repeat;

// The player: plays a memory's file on the multimedia device, turns the device's status reports
// into the elapsed time and the progress bar, and runs the end of a message: back to idle, or
// into the repeat wait. The keying hears of every end and decides what the transmitter does.
class Player
{
public:
    struct Controls
    {
        const std::array<FaceButton *, 6> &Command3d1;
        FaceButton &Panel3d1;
        ProgressControl &Gauge1;
    };

    Player(AppState &state, const Controls &controls, MediaDevice &MMControl1, Keying &keying,
           Repeat &repeat, Refusal &refusal);

    // Opens memory memnum's file (0..6) at its start for a message: the player plays from now
    // on; its audio starts with startAudio(). False for a memory that does not exist.
    bool PlayMem(int memnum);
    // Starts the audio of the message: the open file from where it stands, or (restart) again
    // from its start. Returns whether the device plays now: a play that could not start (a file
    // that does not open, an absent output) leaves it not playing, and its failure follows.
    bool startAudio(bool restart);
    // Whether the device has a file open, so that its audio can start (the sound output may
    // still refuse it).
    bool audioReady() const;
    // Stops and rewinds the device; the player is no longer playing.
    void StopMem(int memnum);

    void MMControl1_Done(int NotifyCode);
    void MMControl1_StatusUpdate();
    // The transport bar's own buttons; Cancel is left as it is, except that Play is refused
    // while the recorder records.
    void MMControl1_PlayClick(bool &Cancel);
    void MMControl1_PrevClick(bool &Cancel);
    void MMControl1_StopClick(bool &Cancel);

private:
    AppState &m_state;
    Controls m_controls;
    MediaDevice &m_device;
    Keying &m_keying;
    Repeat &m_repeat;
    Refusal &m_refusal;
};
