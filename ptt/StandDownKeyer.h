// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/PttKeyer.h"

#include <QMetaObject>

// The keyer of a copy of the program that must key nothing (another copy that runs owns the
// settings file, and with it the transmitter): never ready, writes nothing to any rig or line,
// and says why.
class StandDownKeyer : public PttKeyer
{
    Q_OBJECT
public:
    explicit StandDownKeyer(const QString &why, QObject *parent = nullptr)
        : PttKeyer(parent), m_why(why)
    { }

    void open() override
    {
        QMetaObject::invokeMethod(
            this, [this] { emit statusChanged(m_why, false); }, Qt::QueuedConnection);
    }
    void setOnAir(bool) override { }
    bool isReady() const override { return false; }
    QString statusText() const override { return m_why; }
    void shutdown(int) override { }

private:
    QString m_why;
};
