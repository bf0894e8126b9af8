// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/Answer.h"
#include "station/KeyingGate.h"
#include "station/StationEvents.h"
#include "station/StationState.h"

#include <QObject>

// The way into a station, one radio's or a pair's: every event is handed in and answered, its
// state read, its changes said.
class StationDoor : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    using Event = StationEvents::Event;

    virtual Answer handle(const Event &event) = 0;
    virtual const StationState &state() const = 0;
    // What beyond the station may hold its transmitter back: asked before each keying.
    virtual void addKeyingGate(KeyingGate gate) = 0;

signals:
    void changed(const StationState &state);
};
