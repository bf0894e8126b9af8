// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QTimer>
#include <QVariantList>

#include <deque>
#include <functional>
#include <optional>

class QDBusContext;

// Carries out the calls that reach the station over the bus without holding its window or going
// ahead of the operator. A call from the bus never runs as it arrives: it waits its turn, in
// order, with its answer. A turn comes once the event loop has handled what was posted before it
// (the window's own events among them: a click queued behind a thousand calls comes before all of
// them), and carries out calls for at most TurnBudgetMs; the window's input gets its turn between
// two turns. At most MaxWaiting calls wait; one more is refused with an error.
class CallPacer : public QObject
{
    Q_OBJECT
public:
    static constexpr int TurnBudgetMs = 5;
    static constexpr int MaxWaiting = 20000;

    // What a call does; its result is the answer's arguments.
    using Work = std::function<QVariantList()>;

    explicit CallPacer(QObject *parent = nullptr);
    // A call still waiting is answered with an error.
    ~CallPacer() override;

    // Queues `work` with its answer (context's delayed reply) and returns nothing: the caller then
    // returns any value. A call that did not come from the bus (no context, or none being
    // delivered) runs now, and its result is returned.
    std::optional<QVariantList> run(const QDBusContext *context, const Work &work);

    int waiting() const { return int(m_waiting.size()); }

private:
    struct Waiting
    {
        QDBusConnection connection;
        QDBusMessage message;
        Work work;
    };

    void nextTurn();

    std::deque<Waiting> m_waiting;
    QTimer m_turn;
};
