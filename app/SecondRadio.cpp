// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SecondRadio.h"

#include "station/Log.h"
#include "station/SoundPlayer.h"

SecondRadio::SecondRadio(const AppState &settings, const AppState &first, SoundPlayer &player,
                         SerialLines &lines, Dialogs &dialogs, RigModule &rigs, Clock &clock,
                         QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_player(player)
    , m_serial(m_settings, lines, dialogs)
    , m_keyers(m_settings, m_serial, rigs)
    , m_station(m_settings, player, clock)
{
    const QString shared = sharedWith(m_settings, first);
    if (!shared.isEmpty()) {
        qCWarning(lcVocta).noquote()
            << QStringLiteral("Radio 2 is not keyed: %1 (give each radio its own)").arg(shared);
        m_settings.Ptt.PttMethod = KeyingMethod::None;
    }
    connect(&m_keyers, &KeyerChoice::keyerChanged, &m_station, &Station::setKeyer,
            Qt::DirectConnection);
    m_station.setLineUse(&m_serial);
    m_station.handle(StationEvents::StartUp{});
    m_player.setOutput(m_settings.Audio.AudioOutput);
    m_player.setLevel(m_settings.Audio.AudioLevel);
    m_keyers.apply();
}

QString SecondRadio::sharedWith(const AppState &second, const AppState &first)
{
    if (second.Ptt.PttMethod != first.Ptt.PttMethod)
        return {};
    switch (second.Ptt.PttMethod) {
    case KeyingMethod::Serial:
        if (second.Ptt.SerialDevice == first.Ptt.SerialDevice && second.Ptt.ComNum == first.Ptt.ComNum)
            return QStringLiteral("its PTT is the first radio's serial port");
        return {};
    case KeyingMethod::Cat:
        if (second.Ptt.RigModel == first.Ptt.RigModel && second.Ptt.RigPort == first.Ptt.RigPort)
            return QStringLiteral("its rig is the first radio's (%1)").arg(second.Ptt.RigPort);
        return {};
    case KeyingMethod::Cm108:
        if (second.Ptt.Cm108Device == first.Ptt.Cm108Device && second.Ptt.Cm108Gpio == first.Ptt.Cm108Gpio)
            return QStringLiteral("its CM108 pin is the first radio's");
        return {};
    case KeyingMethod::None:
        return {};
    }
    return {};
}

void SecondRadio::followMemories(const AppState &first)
{
    m_settings.Memories.MemFile = first.Memories.MemFile;
    m_settings.Memories.MemDelay = first.Memories.MemDelay;
    m_settings.Memories.MemRepeat = first.Memories.MemRepeat;
}

void SecondRadio::setGuard(PttGuard *guard)
{
    m_keyers.setGuard(guard);
}

void SecondRadio::shutdown()
{
    m_station.handle(StationEvents::Shutdown{});
    m_keyers.shutdown();
}
