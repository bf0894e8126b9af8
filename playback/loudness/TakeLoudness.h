// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/loudness/Loudness.h"

#include <QObject>
#include <QVector>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

// The loudness and true peak of a recorded take, measured on a thread of its own while the
// operator looks at the take (a take of minutes takes a moment), never on the UI thread.
class TakeLoudness : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~TakeLoudness() override;

    // Measures mono `samples` at `sampleRate`; measured() follows, unless another take is
    // measured or clear() comes first.
    void measure(const QVector<float> &samples, int sampleRate);
    void clear();
    // The take's measure; nothing until it is known.
    std::optional<Loudness> result() const { return m_result; }

    // How far from the target a take may be before the recorder says so, in LU.
    static constexpr double FarFromTarget = 6.0;
    // One sentence when `loudness` lies more than FarFromTarget from `target`; empty otherwise.
    static QString note(const Loudness &loudness, double target);

signals:
    void measured();

private:
    void abandon();

    std::thread m_thread;
    std::shared_ptr<std::atomic<bool>> m_abandon;
    quint64 m_take = 0;
    std::optional<Loudness> m_result;
};
