// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// One event of a sequence: what the operator or the device does.
struct ModelEvent
{
    enum Kind {
        LeftClick, // memory arg
        RightClick, // memory arg, answer (empty: cancelled)
        Lock,
        Standby,
        RepeatBox, // memory arg
        Slider, // value arg
        DelayButton,
        StatusPanel,
        Play,
        Prev,
        Stop,
        Pause,
        Next,
        DeviceEnds, // the play ends by itself with code arg
        LateDone, // code arg: the Aborted that a stop of a play brings, the Failure of a play
                  // that could not start
        StrayDone, // a Done with code arg, out of the blue
        Report,
        Tick1,
        Tick2,
        Tick3,
        ComOpen,
        ComRtsBox,
        ComDtrBox,
        ComRtsPolarity, // arg 1 positive, 0 negative
        ComDtrPolarity,
        ComPort, // option arg (port arg + 1)
        ComOk, // answer: the port layer's refusal, empty when it opens
        ComClose,
        Time, // arg milliseconds pass: the keying's timers tick as they fall due
        // The main window's keys, pressed where the focus is (target).
        KeyF, // memory arg
        KeyEscape,
        KeyShiftF, // memory arg
        // The keyer interface's methods, called in-process.
        RemotePlay, // number arg, 0..7
        RemoteStop,
        RemoteSetLock, // arg 1 on, 0 off
        RemoteSetStandby, // arg 1 on, 0 off
        KindCount
    };
    Kind kind;
    int arg = 0;
    QString answer;
    // Where the focus is for a key: 0 the window itself, 1..6 a memory button, 7 a repeat box,
    // 8 the slider, 9 the Lock button.
    int target = 0;

    // One line for the report: "left click on memory 3".
    QString describe() const;
    // The control a key was pressed on.
    QString focusName() const;
};
