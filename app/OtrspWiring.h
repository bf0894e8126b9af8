// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/OtrspBox.h"

#include <QObject>

class RadioPair;

// The OTRSP box of a two-radio station: before a radio is keyed the box is given that radio's
// transmit focus, and the keying waits until the command has left the port; the receive focus
// follows the operator's focus, mono (RX1 / RX2) or, with stereo listening, both radios with the
// focus radio first (RX1S / RX2S). The box's name is asked at the start and said. A box that is not
// there, or goes away, is said once and the keying goes on without it; a transmit focus that
// cannot be sent in time stops the message (it would go out on the other radio).
class OtrspWiring : public QObject
{
    Q_OBJECT
public:
    OtrspWiring(const QString &device, RadioPair &radios, bool stereo = false,
                QObject *parent = nullptr);

    OtrspBox &box() { return m_box; }
    // Stereo listening on or off; the box is told at once.
    void setStereo(bool on);

private:
    std::optional<struct Holdback> gate(int radio);
    void selected(int radio, OtrspBox::TxResult result);
    void listen(int radio);

    OtrspBox m_box;
    RadioPair &m_radios;
    int m_tx = 0; // the radio the box was last given the transmit focus; 0: none yet
    int m_selecting = 0; // the radio whose transmit focus is on its way
    int m_rx = 1; // the radio the operator listens to
    bool m_stereo = false;
};
