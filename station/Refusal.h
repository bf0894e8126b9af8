// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

class FormTimer;
class RefusalPicture;

// The refusal signal: one of four faces, shown for one second when the operator asks for
// something that cannot be done. It is a picture, never a message.
class Refusal
{
public:
    Refusal(RefusalPicture &Picture1, FormTimer &Timer3);

    // Shows a face for one second; a second call within that second changes the face and starts
    // the second again.
    void ShowErr();
    // The second is over: hides the face.
    void Timer3_Timer();

private:
    // The faces come from a generator that is never seeded, so every run shows the same sequence.
    double nextRandom();

    RefusalPicture &m_Picture1;
    FormTimer &m_Timer3;
    quint32 m_random = 0x50000;
};
