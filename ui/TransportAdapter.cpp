// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TransportAdapter.h"

#include "station/SoundPlayer.h"
#include "station/Station.h"
#include "ui/TransportBar.h"

TransportAdapter::TransportAdapter(TransportBar &bar, SoundPlayer &player, Station &station,
                                   QObject *parent)
    : QObject(parent)
{
    connect(&bar, &TransportBar::PlayClick, this,
            [&station](bool &Cancel) { station.MMControl1_PlayClick(Cancel); });
    connect(&bar, &TransportBar::PrevClick, this,
            [&station](bool &Cancel) { station.MMControl1_PrevClick(Cancel); });
    connect(&bar, &TransportBar::StopClick, this,
            [&station](bool &Cancel) { station.MMControl1_StopClick(Cancel); });
    connect(&bar, &TransportBar::command, &player, [&player](TransportBar::ButtonId button) {
        switch (button) {
        case TransportBar::Prev:
            player.rewind();
            break;
        case TransportBar::Play:
            player.play();
            break;
        case TransportBar::Pause:
        case TransportBar::Stop:
            player.stop();
            break;
        case TransportBar::Next:
            player.toEnd();
            break;
        case TransportBar::ButtonCount:
            break;
        }
    });
    connect(&player, &SoundPlayer::modeChanged, &bar, &TransportBar::setMode);
    bar.setMode(player.mode());
}
