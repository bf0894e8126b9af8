// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/SourceMute.h"

#include <memory>

class PulseConnection;

// Mutes the chosen source through the sound server on the shared connection while a message is
// keyed. It remembers the source it muted until the server has confirmed it unmuted again: one
// that cannot be put back now (the server or the source went away; a server remembers a source's
// mute across its restart) is put back as soon as the server answers with it again. At its end it
// puts back what it muted, waiting up to ShutdownWaitMs for the server.
class PulseSourceMute : public SourceMute
{
    Q_OBJECT
public:
    // The connection must outlive the object.
    explicit PulseSourceMute(PulseConnection &connection, QObject *parent = nullptr);
    ~PulseSourceMute() override;

    void setSource(const QString &name) override;
    void setMessageKeyed(bool keyed) override;
    bool isSettled() const override;

    static constexpr int ShutdownWaitMs = 1000;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
