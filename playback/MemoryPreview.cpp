// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/MemoryPreview.h"

#include "playback/SoundChoices.h"
#include "station/AppState.h"
#include "station/Log.h"
#include "station/SoundPlayer.h"

#include <QDebug>

MemoryPreview::MemoryPreview(AppState &state, SoundPlayer &player, QObject *parent)
    : QObject(parent), m_state(state), m_player(player)
{ }

bool MemoryPreview::isPlaying() const
{
    return m_player.mode() == SoundPlayer::Mode::Playing;
}

QString MemoryPreview::refusal() const
{
    const QString defaultOutput = m_defaultOutput ? m_defaultOutput() : QString();
    switch (SoundChoices::listening(m_state.Audio.AudioMonitor, m_state.Audio.AudioOutput, defaultOutput)) {
    case SoundChoices::Listening::OnTheTransmitter:
        return QStringLiteral("it would go out on the transmitter's output; choose a monitor "
                              "output of its own under Setup > Sound...");
    case SoundChoices::Listening::Unknown:
        return QStringLiteral("no sound server tells the default output from the transmitter's; "
                              "choose a monitor output under Setup > Sound...");
    case SoundChoices::Listening::Apart:
        break;
    }
    return QString();
}

bool MemoryPreview::preview(int number)
{
    const auto refuse = [number](const QString &why) {
        qCWarning(lcSound).noquote()
            << QStringLiteral("Preview of memory %1 refused: %2").arg(number).arg(why);
        return false;
    };
    if (number < 1 || number > MemoryCount)
        return refuse(QStringLiteral("there are memories 1 to %1").arg(MemoryCount));
    if (m_messageBusy && m_messageBusy())
        return refuse(QStringLiteral("a message plays"));
    const QString why = refusal();
    if (!why.isEmpty())
        return refuse(why);

    m_player.close();
    m_player.setOutput(m_state.Audio.AudioMonitor);
    m_player.setLevel(m_state.Audio.AudioMonitor.isEmpty() ? 100 : m_state.Audio.MonitorLevel);
    if (m_player.open(m_state.Memories.MemFile.at(size_t(number - 1))) != SoundPlayer::OpenResult::Opened)
        return false; // the player has said why
    m_player.play();
    return true;
}

bool MemoryPreview::stop()
{
    if (!isPlaying())
        return false;
    m_player.stop();
    m_player.close();
    return true;
}
