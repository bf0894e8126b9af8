// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QVector>

// A sound input that records: mono 32-bit float samples at the input's own rate, delivered in
// blocks while it runs. Every member is called on the UI thread and every signal is emitted
// there, in order.
class AudioInput : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Starts recording from the input of that name (empty: the system's default input). Returns
    // at once; started() or failed() follows.
    virtual void start(const QString &name) = 0;
    // Stops recording; no samples() arrive after it returns.
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;

signals:
    // Recording runs at this rate (frames per second).
    void started(int sampleRate);
    // The next block of samples, each in -1..1.
    void samples(const QVector<float> &block);
    // Recording could not start, or stopped by itself (the input or the server went away); the
    // reason is also said on standard error. Nothing more arrives until the next start().
    void failed(const QString &reason);
};
