// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QSet>
#include <functional>

class StationRemote;

// The station's keys, as a contest logger has them, in every window of the program: F1..F6 act
// as a left click on memory 1..6, Shift+F1..F6 open the recorder for that memory, and Esc stops
// the message that plays or waits for its repeat, as a left click on its memory. Esc while
// nothing plays is not the station's: the window it went to does with it what it always did (a
// dialog closes). Ctrl+F1..F6 preview memory 1..6 for the operator's ears alone, when a preview
// is set, and Esc stops that preview first. Other keys with Ctrl or Alt, and every other key, are
// not the station's.
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
    // The preview of memory 1..6 (true: it plays) and its stop (true: one played); unset, Ctrl+F1..
    // F6 are not the station's.
    void setPreview(std::function<bool(int)> preview, std::function<bool()> stop)
    {
        m_preview = std::move(preview);
        m_stopPreview = std::move(stop);
    }
    // The key that swaps the focus between two radios (Pause, as contest loggers use it): `swap`
    // answers whether it did (false with one radio: the key is then not the station's).
    void setFocusSwap(std::function<bool()> swap) { m_swapFocus = std::move(swap); }
    // A key went up.
    void keyUp(int key, bool autoRepeat = false, quint64 time = 0);
    // The keyboard went to another program: whatever was held was let go there.
    void releaseAll();

private:
    StationRemote &m_station;
    std::function<bool(int)> m_preview;
    std::function<bool()> m_stopPreview;
    std::function<bool()> m_swapFocus;
    QSet<int> m_held; // the station's keys that are down
    QHash<int, quint64> m_releasedAt; // when each one last went up
};
