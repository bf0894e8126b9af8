// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>

struct AppState;
class FaceButton;
class FormTimer;
class Keying;
class Refusal;
class SliderControl;

// The repeat cycle: the repeat boxes, the delay slider and its store button, the status caption
// between plays, and the repeat timer whose tick restarts the message.
class Repeat
{
public:
    struct Controls
    {
        SliderControl &HScroll1;
        FaceButton &Panel3d1;
        FaceButton &Panel3d2;
        FormTimer &Timer1;
    };

    Repeat(AppState &state, const Controls &controls, Keying &keying, Refusal &refusal);

    void Check3d1_Click(int Index);
    void HScroll1_Change();
    void Panel3d2_Click();
    void Panel3d1_Click();
    void Timer1_Timer();
    // The status caption after a stop or an end: "Pause" in the repeat wait, "Idle" otherwise.
    void RepReset();

    // The end of a message with repeat: the wait begins, and the repeat timer is armed for one
    // tick after the slider's delay (a delay of 0 never ticks).
    void arm();
    // Cancels the repeat timer: no tick arrives after this, not even one already due.
    void disarm();

private:
    AppState &m_state;
    Controls m_controls;
    Keying &m_keying;
    Refusal &m_refusal;
};
