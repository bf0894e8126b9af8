// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The serial port's keying lines as the COM dialog changes them: which of RTS and DTR key the
// transmitter, and with which polarity. The serial lines' keyer stands behind it.
class LineUse
{
public:
    enum Line { Rts = 1, Dtr = 2 };

    virtual ~LineUse() = default;
    // The use or polarity of the lines changed; `takenIntoUse` holds the lines (Rts | Dtr) just
    // ticked. A line taken out of use that was keyed goes back to its receive level, a line taken
    // into use starts at its receive level: a change of the lines never keys.
    virtual void useChanged(int takenIntoUse) = 0;
};
