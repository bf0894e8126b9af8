// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MemoryBank.h"

#include "settings/Settings.h"
#include "station/AppState.h"
#include "station/Dialogs.h"
#include "station/StationState.h"

#include <QFileInfo>

namespace {
constexpr int RightButton = 2;
}

MemoryBank::MemoryBank(AppState &state, std::function<const StationState &()> station,
                       Settings &settings, Dialogs &dialogs,
                       std::function<void(int Index)> markChosen)
    : m_state(state)
    , m_station(std::move(station))
    , m_settings(settings)
    , m_dialogs(dialogs)
    , m_markChosen(std::move(markChosen))
{ }

void MemoryBank::Command3d1_MouseDown(int Index, int Button, int, int, int)
{
    if (Button != RightButton)
        return;
    // The memory that plays or waits for its repeat keeps its file.
    const StationState &station = m_station();
    if (station.playing() && Index == station.memory)
        return;
    chooseFile(Index);
}

void MemoryBank::chooseFile(int Index)
{
    if (m_markChosen)
        m_markChosen(Index); // yellow, for the rest of the run

    Dialogs::OpenFileRequest request;
    request.title = QStringLiteral("Choose The File For Memory ") + QString::number(Index + 1);
    request.filters
        = QStringList{QStringLiteral("Wav Files (*.wav)"), QStringLiteral("Mid Files (*.mid)")};
    request.fileName = QString();
    // The folder of the memory's present file; the recordings' when that file is not there.
    const QFileInfo present(m_state.Memories.MemFile[Index]);
    request.directory = present.isFile()                       ? present.absolutePath()
                        : QFileInfo(m_state.Places.RecordDir).isDir() ? m_state.Places.RecordDir
                                                               : m_state.Places.WavDir;
    request.mustExist = true;
    const QString chosen = m_dialogs.openFile(request);
    if (chosen.isEmpty())
        return; // cancelled: nothing stored, nothing saved

    m_state.Memories.MemFile[Index] = chosen;
    m_settings.WriteMem();
    if (m_fileChosen)
        m_fileChosen(Index);
}
