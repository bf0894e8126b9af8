// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/PttKeyer.h"

class OtrspBox;

// Keying through the OTRSP box's own port: the box keys the radio with transmit focus while DTR
// is high, as the reference box does. The requests act at once, as the serial lines' do. It is
// ready while the box is open; a box that goes away takes its DTR, and the keying, with it, and
// the port's hang-up flag drops DTR should the program die.
//
// The box is shared with whatever switches the radios, which opens it; the keyer opens it only
// when it is not open.
class OtrspKeyer : public PttKeyer
{
    Q_OBJECT
public:
    explicit OtrspKeyer(OtrspBox &box, QObject *parent = nullptr);

    void open() override;
    void setOnAir(bool onAir) override;
    bool isReady() const override;
    bool mayBeKeyed() const override;
    QString statusText() const override;
    // DTR low; the box stays open for its other users.
    void shutdown(int milliseconds) override;

private:
    OtrspBox &m_box;
};
