// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/StationEvents.h"

#include <QObject>
#include <functional>

class SoundPlayer;
class TransportBar;

// The transport bar: each button is the station's event (`send`), which drives the player; the
// bar's buttons follow the player's mode.
class TransportAdapter : public QObject
{
    Q_OBJECT
public:
    using Send = std::function<void(StationEvents::TransportButton)>;
    TransportAdapter(TransportBar &bar, const SoundPlayer &player, Send send,
                     QObject *parent = nullptr);
};
