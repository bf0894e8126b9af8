// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TransportAdapter.h"

#include "station/SoundPlayer.h"
#include "ui/TransportBar.h"

TransportAdapter::TransportAdapter(TransportBar &bar, const SoundPlayer &player, Send send,
                                   QObject *parent)
    : QObject(parent)
{
    using Button = StationEvents::TransportButton;
    // The station carries each button out itself: the bar's own command to the player never goes.
    const auto cancel = [](bool &Cancel) {
        Cancel = true;
    };
    connect(&bar, &TransportBar::PlayClick, this, cancel);
    connect(&bar, &TransportBar::PrevClick, this, cancel);
    connect(&bar, &TransportBar::StopClick, this, cancel);
    connect(&bar, &TransportBar::command, this, [send](TransportBar::ButtonId button) {
        switch (button) {
        case TransportBar::Prev:
        case TransportBar::Play:
        case TransportBar::Stop:
            break; // said by their clicks
        case TransportBar::Pause:
            send(Button::Pause);
            break;
        case TransportBar::Next:
            send(Button::Next);
            break;
        case TransportBar::ButtonCount:
            break;
        }
    });
    connect(&bar, &TransportBar::PlayClick, this, [send] { send(Button::Play); });
    connect(&bar, &TransportBar::PrevClick, this, [send] { send(Button::Prev); });
    connect(&bar, &TransportBar::StopClick, this, [send] { send(Button::Stop); });
    connect(&player, &SoundPlayer::modeChanged, &bar, &TransportBar::setMode);
    bar.setMode(player.mode());
}
