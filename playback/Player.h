#pragma once

#include <array>

struct AppState;
class FaceButton;
class MediaDevice;
class ProgressControl;
class PttControl;
class Refusal;
class Repeat;

// The player: plays a memory's file on the multimedia device, turns the device's status reports
// into the elapsed time and the progress bar, and runs the end of a message: back to idle, or
// into the repeat wait. It never keys the transmitter; it releases it at the end.
class Player
{
public:
    struct Controls
    {
        const std::array<FaceButton *, 6> &Command3d1;
        FaceButton &Panel3d1;
        ProgressControl &Gauge1;
    };

    Player(AppState &state, const Controls &controls, MediaDevice &MMControl1, PttControl &ptt,
           Repeat &repeat, Refusal &refusal);

    // Plays memory memnum (0..6) from its start.
    void PlayMem(int memnum);
    // Whether the device plays now. A play that could not start (a file that does not open, an
    // absent output) leaves it not playing: there is nothing to key the transmitter for.
    bool devicePlays() const;
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
    PttControl &m_ptt;
    Repeat &m_repeat;
    Refusal &m_refusal;
};
