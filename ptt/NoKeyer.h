// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/PttKeyer.h"

#include <QMetaObject>

// No keying at all: the rig keys itself when it hears the audio (VOX). Always ready; requests
// change nothing, and there is nothing to confirm them.
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
    void setOnAir(bool) override { }
    bool isReady() const override { return true; }
    QString statusText() const override
    {
        return QStringLiteral("The rig keys itself on the audio (VOX)");
    }
    void shutdown(int) override { }
};
