// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class StationRemote;

// The main window's keys, as a contest logger has them: F1..F6 act as a left click on memory
// 1..6, Esc as a left click on the memory that plays or waits for its repeat (nothing at all
// while idle), Shift+F1..F6 open the recorder for that memory. Keys with Ctrl or Alt, and every
// other key, are not the station's.
class StationKeys
{
public:
    // Modifier bits, as the window reports them.
    enum Shift { ShiftKey = 1, CtrlKey = 2, AltKey = 4 };

    explicit StationKeys(StationRemote &station) : m_station(station) { }

    // A key went down that no control of the window took (key: a Qt::Key value). True when it
    // is one of the station's keys: it then goes no further. A key held down repeats; its
    // repeats are the station's too but do nothing, so that holding F1 a little long never
    // stops the message it started.
    bool keyDown(int key, int shift, bool repeated);

private:
    StationRemote &m_station;
};
