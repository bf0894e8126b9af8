// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QSet>

class StationRemote;

// The station's keys, as a contest logger has them, in every window of the program: F1..F6 act
// as a left click on memory 1..6, Shift+F1..F6 open the recorder for that memory, and Esc stops
// the message that plays or waits for its repeat, as a left click on its memory. Esc while
// nothing plays is not the station's: the window it went to does with it what it always did (a
// dialog closes). Keys with Ctrl or Alt, and every other key, are not the station's.
//
// A key acts once, when it goes down, however long it is held: the repeats of a held key do
// nothing and go no further. A repeat is known by any of the marks a window system gives it: the
// toolkit's repeat flag, a press of a key that has not been released, or a press with the very
// time stamp of the key's last release (the release and press pair an X server repeats a key
// with, when the toolkit did not see the pair as one).
class StationKeys
{
public:
    // Modifier bits, as the window reports them.
    enum Shift { ShiftKey = 1, CtrlKey = 2, AltKey = 4 };

    explicit StationKeys(StationRemote &station) : m_station(station) { }

    // A key went down (key: a Qt::Key value; autoRepeat: the toolkit's repeat flag; time: the
    // window system's time stamp in milliseconds, 0 when there is none). True when the key is
    // the station's: it then goes no further.
    bool keyDown(int key, int shift, bool autoRepeat = false, quint64 time = 0);
    // A key went up.
    void keyUp(int key, bool autoRepeat = false, quint64 time = 0);
    // The keyboard went to another program: whatever was held was let go there.
    void releaseAll();

private:
    StationRemote &m_station;
    QSet<int> m_held; // the station's keys that are down
    QHash<int, quint64> m_releasedAt; // when each one last went up
};
