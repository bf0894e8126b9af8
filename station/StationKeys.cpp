// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/StationKeys.h"

#include "station/StationRemote.h"

#include <Qt>

bool StationKeys::keyDown(int key, int shift, bool repeated)
{
    if (shift & (CtrlKey | AltKey))
        return false;
    const bool withShift = shift & ShiftKey;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F6) {
        if (repeated)
            return true;
        const int memory = key - Qt::Key_F1 + 1;
        if (withShift)
            m_station.openRecorder(memory);
        else
            m_station.play(memory);
        return true;
    }
    if (key == Qt::Key_Escape && !withShift) {
        if (!repeated)
            m_station.stop();
        return true;
    }
    return false;
}
