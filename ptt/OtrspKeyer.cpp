// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/OtrspKeyer.h"

#include "ptt/OtrspBox.h"

#include <QMetaObject>

OtrspKeyer::OtrspKeyer(OtrspBox &box, QObject *parent) : PttKeyer(parent), m_box(box)
{
    connect(&m_box, &OtrspBox::statusChanged, this,
            [this](const QString &text) { emit statusChanged(text, isReady()); });
}

void OtrspKeyer::open()
{
    if (m_box.isOpen()) {
        QMetaObject::invokeMethod(
            this, [this] { emit statusChanged(statusText(), isReady()); }, Qt::QueuedConnection);
        return;
    }
    m_box.open();
}

void OtrspKeyer::setOnAir(bool onAir)
{
    m_box.setPtt(onAir);
    // The line acts at once; one that cannot be set was said by the box.
    QMetaObject::invokeMethod(
        this, [this, onAir] { emit confirmed(onAir); }, Qt::QueuedConnection);
}

bool OtrspKeyer::isReady() const
{
    return m_box.isOpen();
}

bool OtrspKeyer::mayBeKeyed() const
{
    return m_box.ptt();
}

QString OtrspKeyer::statusText() const
{
    return m_box.statusText();
}

void OtrspKeyer::shutdown(int)
{
    m_box.setPtt(false);
}
