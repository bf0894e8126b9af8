#include "playback/Refusal.h"

#include "station/FormTimer.h"
#include "ui/ImageList.h"

#include <QLabel>

Refusal::Refusal(QLabel &Picture1, FormTimer &Timer3, const ImageList &ImageList2)
    : m_Picture1(Picture1), m_Timer3(Timer3), m_ImageList2(ImageList2)
{ }

void Refusal::ShowErr()
{
    m_Picture1.setVisible(true);
    m_Timer3.setInterval(1000);
    m_Timer3.setEnabled(true);
    const int n = int(nextRandom() * 4) + 1;
    m_Picture1.setPixmap(m_ImageList2.picture(n));
}

void Refusal::Timer3_Timer()
{
    m_Timer3.setEnabled(false);
    m_Picture1.setVisible(false);
}

double Refusal::nextRandom()
{
    // A 24-bit linear congruential generator; its values lie in [0, 1).
    m_random = (m_random * 0x43FD43FDu + 0xC39EC3u) & 0xFFFFFFu;
    return m_random / 16777216.0;
}
