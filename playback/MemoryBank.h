// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

struct AppState;
class Dialogs;
class FaceButton;
class Player;
class Keying;
class Refusal;
class Repeat;
class Settings;
class SliderControl;

// The six memories: a left click starts a memory's message, stops it if it is the one playing,
// or is refused while another one is busy or the recorder records; a right click chooses the
// memory's file.
class MemoryBank
{
public:
    struct Controls
    {
        const std::array<FaceButton *, 6> &Command3d1;
        SliderControl &HScroll1;
        FaceButton &Panel3d1;
    };

    MemoryBank(AppState &state, const Controls &controls, Player &player, Repeat &repeat,
               Keying &keying, Refusal &refusal, Settings &settings, Dialogs &dialogs);

    void Command3d1_Click(int Index);
    void Command3d1_MouseDown(int Index, int Button, int Shift, int x, int y);

    // Stops the message that plays or waits for its repeat, as a click on its memory does.
    void stopPlaying();

private:
    void stop(int Index);
    void start(int Index);
    void chooseFile(int Index);

    AppState &m_state;
    Controls m_controls;
    Player &m_player;
    Repeat &m_repeat;
    Keying &m_keying;
    Refusal &m_refusal;
    Settings &m_settings;
    Dialogs &m_dialogs;
};
