// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/StationKeys.h"

#include "station/AppState.h"
#include "station/StationRemote.h"

#include <Qt>

namespace {
bool isMemoryKey(int key)
{
    return key >= Qt::Key_F1 && key < Qt::Key_F1 + MemoryCount;
}

bool isWatched(int key)
{
    return isMemoryKey(key) || key == Qt::Key_Escape;
}
} // namespace

bool StationKeys::keyDown(int key, int shift, bool autoRepeat, quint64 time)
{
    if (key == Qt::Key_Pause && m_swapFocus && shift == 0)
        return !autoRepeat && m_swapFocus();
    if (!isWatched(key))
        return false;
    const bool repeat
        = autoRepeat || m_held.contains(key) || (time != 0 && m_releasedAt.value(key) == time);
    m_held.insert(key);

    if (shift == CtrlKey && isMemoryKey(key) && m_preview) {
        if (!repeat)
            m_preview(key - Qt::Key_F1 + 1);
        return true;
    }
    if (shift & (CtrlKey | AltKey))
        return false;
    const bool withShift = shift & ShiftKey;
    if (key == Qt::Key_Escape && withShift)
        return false;
    if (repeat)
        return true;

    if (key == Qt::Key_Escape)
        return (m_stopPreview && m_stopPreview()) || m_station.stop();
    const int memory = key - Qt::Key_F1 + 1;
    if (withShift)
        m_station.openRecorder(memory);
    else
        m_station.play(memory);
    return true;
}

void StationKeys::keyUp(int key, bool autoRepeat, quint64 time)
{
    if (!isWatched(key) || autoRepeat)
        return;
    m_held.remove(key);
    m_releasedAt.insert(key, time);
}

void StationKeys::releaseAll()
{
    m_held.clear();
}
