// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/MemoryBank.h"

#include "playback/Player.h"
#include "playback/Repeat.h"
#include "settings/Settings.h"
#include "settings/TextRules.h"
#include "station/AppState.h"
#include "station/Controls.h"
#include "station/Dialogs.h"
#include "station/Keying.h"
#include "station/Refusal.h"

#include <QFileInfo>

namespace {
constexpr int RightButton = 2;
}

MemoryBank::MemoryBank(AppState &state, const Controls &controls, Player &player, Repeat &repeat,
                       Keying &keying, Refusal &refusal, Settings &settings, Dialogs &dialogs)
    : m_state(state)
    , m_controls(controls)
    , m_player(player)
    , m_repeat(repeat)
    , m_keying(keying)
    , m_refusal(refusal)
    , m_settings(settings)
    , m_dialogs(dialogs)
{ }

void MemoryBank::Command3d1_Click(int Index)
{
    if (m_state.Playing()) {
        if (m_state.CurMem != Index)
            m_refusal.ShowErr(); // another memory is busy
        else
            stop(Index);
        return;
    }
    // No message starts while the recorder records.
    if (m_state.Recording) {
        m_refusal.ShowErr();
        return;
    }
    start(Index);
}

void MemoryBank::stopPlaying()
{
    if (m_state.Playing() && m_state.CurMem >= 0 && m_state.CurMem < 6)
        stop(m_state.CurMem);
}

void MemoryBank::stop(int Index)
{
    m_state.Player = PlayerState::Idle;
    m_repeat.RepReset();
    m_repeat.disarm();
    m_player.StopMem(Index);
    m_keying.messageStopped();
    m_controls.Command3d1.at(Index)->setFace(Face::Green);
    m_controls.Panel3d1.setFace(Face::Blue);
}

void MemoryBank::start(int Index)
{
    m_state.RepOn = m_state.MemRepeat.at(Index);
    // The slider takes 0 to 10000 ms; a stored delay outside that range lands at its nearer end.
    m_controls.HScroll1.setValue(TextRules::roundToInt32(m_state.MemDelay[Index]));
    if (m_state.CurMem != -1)
        m_controls.Command3d1.at(m_state.CurMem)->setFace(Face::Blue);
    m_controls.Command3d1.at(Index)->setFace(Face::Red);
    m_controls.Panel3d1.setFace(m_state.RepOn ? Face::Yellow : Face::Orange);
    // A repeat timer that a late end-of-message notification armed must not restart this
    // message halfway.
    m_repeat.disarm();
    const bool opened = m_player.PlayMem(Index);
    m_state.CurMem = qint16(Index);
    // The audio starts and the transmitter is keyed as the rules say. A message that cannot
    // start (its file unplayable, its output absent) is not keyed; its failure ends it as soon
    // as it is reported.
    if (opened)
        m_keying.messageStarts();
}

void MemoryBank::Command3d1_MouseDown(int Index, int Button, int, int, int)
{
    if (Button != RightButton)
        return;
    // The memory that plays or waits for its repeat keeps its file.
    if (m_state.Playing() && Index == m_state.CurMem)
        return;
    chooseFile(Index);
}

void MemoryBank::chooseFile(int Index)
{
    FaceButton *button = m_controls.Command3d1.at(Index);
    button->setBackColor(0xFFFF00); // yellow, for the rest of the run
    button->repaint();

    Dialogs::OpenFileRequest request;
    request.title = QStringLiteral("Choose The File For Memory ") + QString::number(Index + 1);
    request.filters
        = QStringList{QStringLiteral("Wav Files (*.wav)"), QStringLiteral("Mid Files (*.mid)")};
    request.fileName = QString();
    // The folder of the memory's present file; the recordings' when that file is not there.
    const QFileInfo present(m_state.MemFile[Index]);
    request.directory = present.isFile()                       ? present.absolutePath()
                        : QFileInfo(m_state.RecordDir).isDir() ? m_state.RecordDir
                                                               : m_state.WavDir;
    request.mustExist = true;
    const QString chosen = m_dialogs.openFile(request);
    if (chosen.isEmpty())
        return; // cancelled: nothing stored, nothing saved

    m_state.MemFile[Index] = chosen;
    m_settings.WriteMem();
}
