// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/OtrspBox.h"

#include <QObject>

class RadioPair;

// The OTRSP box of a two-radio station: before a radio is keyed the box is given that radio's
// transmit focus, and the keying waits until the command has left the port; the receive focus
// follows the operator's focus. The box's name is asked at the start and said. A box that is not
// there, or goes away, is said once and the keying goes on without it; a transmit focus that
// cannot be sent in time stops the message (it would go out on the other radio).
class OtrspWiring : public QObject
{
    Q_OBJECT
public:
    OtrspWiring(const QString &device, RadioPair &radios, QObject *parent = nullptr);

    OtrspBox &box() { return m_box; }

private:
    std::optional<struct Holdback> gate(int radio);
    void selected(int radio, OtrspBox::TxResult result);

    OtrspBox m_box;
    RadioPair &m_radios;
    int m_tx = 0; // the radio the box was last given the transmit focus; 0: none yet
    int m_selecting = 0; // the radio whose transmit focus is on its way
};
