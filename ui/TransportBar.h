// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QToolButton;

// The transport bar of the multimedia device: Prev, Play, Pause, Stop and Next. Its Play, Prev and
// Stop buttons first raise PlayClick, PrevClick or StopClick (a handler may set Cancel), then ask
// the device to carry the command out; Pause and Next go to the device directly. The buttons are
// enabled from the device's mode, as a transport control does by itself.
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
    // Enables the buttons for a device mode (not ready, stopped, playing).
    void setMode(int mode);

signals:
    // Connect with direct connections: a handler may set Cancel to keep the device from acting.
    void PlayClick(bool &Cancel);
    void PrevClick(bool &Cancel);
    void StopClick(bool &Cancel);
    // The command the device should carry out ("Prev", "Play", "Pause", "Stop", "Next").
    void command(const QString &command);

private:
    void press(ButtonId id);

    QToolButton *m_buttons[ButtonCount] = {};
};
