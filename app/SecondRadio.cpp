// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SecondRadio.h"

#include "settings/PttSettings.h"
#include "station/Log.h"
#include "station/SoundPlayer.h"

SecondRadio::SecondRadio(const AppState &settings, const AppState &first, SoundPlayer &player,
                         SerialLines &lines, Dialogs &dialogs, RigModule &rigs, Clock &clock,
                         QObject *parent)
    : QObject(parent)
    , m_first(first)
    , m_settings(settings)
    , m_book(m_settings)
    , m_keying(settings)
    , m_player(player)
    , m_serial(m_keying, lines, dialogs)
    , m_keyers(m_keying, m_serial, rigs)
    , m_station(m_book, player, clock)
{
    connect(&m_keyers, &KeyerChoice::keyerChanged, &m_station, &Station::setKeyer,
            Qt::DirectConnection);
    m_station.setLineUse(&m_serial);
    m_station.handle(StationEvents::StartUp{});
    m_player.setOutput(m_settings.Audio.AudioOutput);
    m_player.setLevel(m_settings.Audio.AudioLevel);
    applyKeying();
}

void SecondRadio::applyKeying()
{
    m_keying = m_settings;
    const QString shared = PttSettings::sharedWith(m_settings.Ptt, m_first.Ptt);
    if (!shared.isEmpty()) {
        qCWarning(lcVocta).noquote()
            << QStringLiteral("Radio 2 is not keyed: %1 (give each radio its own)").arg(shared);
        m_keying.Ptt.PttMethod = KeyingMethod::None;
    }
    m_keyers.apply();
}

void SecondRadio::followMemories(const AppState &first)
{
    m_book.apply(first.Memories);
}

void SecondRadio::setGuard(PttGuard *guard)
{
    m_keyers.setGuard(guard);
}

void SecondRadio::shutdown()
{
    m_keyers.shutdown();
}
