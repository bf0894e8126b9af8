// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/SoundPlayer.h"

#include <QWidget>

class QToolButton;

// The transport bar of the sound player: Prev, Play, Pause, Stop and Next. Its Play, Prev and Stop
// buttons first raise PlayClick, PrevClick or StopClick (a handler may set Cancel), then ask the
// player to carry the button's command out (command()); Pause and Next go to the player directly.
// The buttons are enabled from the player's mode, as a transport control does by itself.
class TransportBar : public QWidget
{
    Q_OBJECT
public:
    enum ButtonId { Prev, Play, Pause, Stop, Next, ButtonCount };

    explicit TransportBar(QWidget *parent = nullptr);

    QToolButton *button(ButtonId id) const { return m_buttons[id]; }
    // The buttons in focus order (for the window's tab chain).
    QList<QWidget *> focusChain() const;

public slots:
    // Enables the buttons for the player's mode.
    void setMode(SoundPlayer::Mode mode);

signals:
    // Connect with direct connections: a handler may set Cancel to keep the device from acting.
    void PlayClick(bool &Cancel);
    void PrevClick(bool &Cancel);
    void StopClick(bool &Cancel);
    // The button whose command the player should carry out.
    void command(TransportBar::ButtonId button);

private:
    void press(ButtonId id);

    QToolButton *m_buttons[ButtonCount] = {};
};
