// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/Refusal.h"

#include "station/Controls.h"
#include "station/FormTimer.h"

Refusal::Refusal(RefusalPicture &Picture1, FormTimer &Timer3)
    : m_Picture1(Picture1), m_Timer3(Timer3)
{ }

void Refusal::ShowErr()
{
    m_Timer3.setInterval(1000);
    m_Timer3.setEnabled(true);
    const int n = int(nextRandom() * 4) + 1;
    m_Picture1.show(n);
}

void Refusal::Timer3_Timer()
{
    m_Timer3.setEnabled(false);
    m_Picture1.hide();
}

double Refusal::nextRandom()
{
    // A 24-bit linear congruential generator; its values lie in [0, 1).
    m_random = (m_random * 0x43FD43FDu + 0xC39EC3u) & 0xFFFFFFu;
    return m_random / 16777216.0;
}
