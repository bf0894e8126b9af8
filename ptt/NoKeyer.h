// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/PttKeyer.h"

#include <QMetaObject>

// No keying at all: the rig keys itself when it hears the audio (VOX). Always ready; requests
// change nothing and are confirmed at once.
class NoKeyer : public PttKeyer
{
    Q_OBJECT
public:
    using PttKeyer::PttKeyer;

    void open() override
    {
        QMetaObject::invokeMethod(
            this, [this] { emit statusChanged(statusText(), true); }, Qt::QueuedConnection);
    }
    void setOnAir(bool onAir) override
    {
        QMetaObject::invokeMethod(
            this, [this, onAir] { emit confirmed(onAir); }, Qt::QueuedConnection);
    }
    bool isReady() const override { return true; }
    QString statusText() const override
    {
        return QStringLiteral("The rig keys itself on the audio (VOX)");
    }
    void shutdown(int) override { }
};
