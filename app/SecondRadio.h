// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/KeyerChoice.h"
#include "ptt/SerialKeyer.h"
#include "station/AppState.h"
#include "station/SettingsBook.h"
#include "station/Station.h"

#include <QObject>

class Clock;
class Dialogs;
class PttGuard;
class RigModule;
class SerialLines;
class SoundPlayer;

// The second radio of a two-radio station: its own settings (the first radio's memories, its own
// sound output and keying from [Audio2] and [PTT2]), player, keyer and station. It keys nothing
// that the first radio keys: a keying that would share the first radio's serial port, rigctld or
// CM108 chip is not made (said once), and the radio plays without keying.
class SecondRadio : public QObject
{
    Q_OBJECT
public:
    SecondRadio(const AppState &settings, const AppState &first, SoundPlayer &player,
                SerialLines &lines, Dialogs &dialogs, RigModule &rigs, Clock &clock,
                QObject *parent = nullptr);

    Station &station() { return m_station; }
    const AppState &settings() const { return m_settings; }
    SettingsBook &book() { return m_book; }
    KeyerChoice &keyers() { return m_keyers; }
    // What the first radio's settings hold of the memories (files, repeat, delays) is this one's.
    void followMemories(const AppState &first);
    // Keys as the settings now hold it (the PTT dialog's OK): not at all while that keying is the
    // first radio's. The settings themselves keep what the operator chose.
    void applyKeying();
    void setGuard(PttGuard *guard);
    // Every keyer let go, once the station has been shut down (the radios' owner hands the end
    // of the program to both stations).
    void shutdown();

private:
    const AppState &m_first;
    AppState m_settings;
    SettingsBook m_book; // the one way to change m_settings
    AppState m_keying; // what the keyers key by: m_settings, without keying while it is shared
    SoundPlayer &m_player;
    SerialKeyer m_serial;
    KeyerChoice m_keyers;
    Station m_station;
};
