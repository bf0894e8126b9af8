// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class SoundPlayer;
class Station;
class TransportBar;

// The transport bar on the sound player: its Play, Prev and Stop go to the station first (which
// may cancel Play), then each button's command to the player; the bar's buttons follow the
// player's mode.
class TransportAdapter : public QObject
{
    Q_OBJECT
public:
    TransportAdapter(TransportBar &bar, SoundPlayer &player, Station &station,
                     QObject *parent = nullptr);
};
