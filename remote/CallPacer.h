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

// Carries out the calls that reach the station over the bus without holding its window: calls
// run at once until they have taken TurnBudgetMs of the UI thread in one turn of its event loop;
// the ones after that wait, in order, with their answers, until the window's own events have been
// handled, and then go on for another TurnBudgetMs, and so on. While any call waits, a new one
// waits behind it, so that calls are carried out in the order they came. At most MaxWaiting
// calls wait; one more is refused with an error.
class CallPacer : public QObject
{
    Q_OBJECT
public:
    static constexpr int TurnBudgetMs = 10;
    static constexpr int MaxWaiting = 20000;

    // What a call does; its result is the answer's arguments.
    using Work = std::function<QVariantList()>;

    explicit CallPacer(QObject *parent = nullptr);
    // A call still waiting is answered with an error.
    ~CallPacer() override;

    // Runs `work` now and returns its result, or, when calls from the bus must wait, queues it
    // with its answer (context's delayed reply) and returns nothing: the caller then returns any
    // value. A call that did not come from the bus (no context, or none being delivered) always
    // runs now.
    std::optional<QVariantList> run(const QDBusContext *context, const Work &work);

    int waiting() const { return int(m_waiting.size()); }

private:
    struct Waiting
    {
        QDBusConnection connection;
        QDBusMessage message;
        Work work;
    };

    QVariantList timed(const Work &work);
    void nextTurn();

    std::deque<Waiting> m_waiting;
    qint64 m_spentNs = 0; // in this turn
    QTimer m_turn;
};
