// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QObject>
#include <QString>

// An output (sink) or input (source) of the sound server: the server's stable name, which the
// settings store, and the description the operator reads.
struct SoundEndpoint
{
    QString name;
    QString description;

    bool operator==(const SoundEndpoint &) const = default;
};

// What the sound server offers: its outputs and inputs, kept up to date as devices come and go.
// Every member is called on the UI thread and every signal is emitted there.
class SoundServer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Whether a sound server answers now.
    virtual bool isConnected() const = 0;
    // The outputs and the inputs (the outputs' monitors among them), in the server's order.
    virtual QList<SoundEndpoint> outputs() const = 0;
    virtual QList<SoundEndpoint> inputs() const = 0;
    // The names of the system's default output and input; empty when unknown.
    virtual QString defaultOutput() const = 0;
    virtual QString defaultInput() const = 0;

signals:
    // The outputs, the inputs, the defaults or the connection changed.
    void changed();
};
