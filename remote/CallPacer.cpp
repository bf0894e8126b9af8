// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/CallPacer.h"

#include <QDBusContext>
#include <QDBusError>
#include <QElapsedTimer>

CallPacer::CallPacer(QObject *parent) : QObject(parent)
{
    // A zero timer: it fires once the event loop has turned, after the window's pending events.
    m_turn.setSingleShot(true);
    m_turn.setInterval(0);
    connect(&m_turn, &QTimer::timeout, this, &CallPacer::nextTurn);
}

CallPacer::~CallPacer()
{
    for (Waiting &call : m_waiting)
        call.connection.send(call.message.createErrorReply(
            QDBusError::Failed, QStringLiteral("the keyer ended before the call was carried out")));
}

std::optional<QVariantList> CallPacer::run(const QDBusContext *context, const Work &work)
{
    const qint64 budgetNs = qint64(TurnBudgetMs) * 1000000;
    if (!context || !context->calledFromDBus() || (m_waiting.empty() && m_spentNs < budgetNs))
        return timed(work);
    context->setDelayedReply(true);
    if (waiting() >= MaxWaiting) {
        context->connection().send(context->message().createErrorReply(
            QDBusError::LimitsExceeded,
            QStringLiteral("%1 calls are waiting for the keyer already").arg(waiting())));
        return std::nullopt;
    }
    m_waiting.push_back({context->connection(), context->message(), work});
    if (!m_turn.isActive())
        m_turn.start();
    return std::nullopt;
}

QVariantList CallPacer::timed(const Work &work)
{
    QElapsedTimer clock;
    clock.start();
    QVariantList result = work();
    m_spentNs += clock.nsecsElapsed();
    if (!m_turn.isActive())
        m_turn.start();
    return result;
}

void CallPacer::nextTurn()
{
    m_spentNs = 0;
    const qint64 budgetNs = qint64(TurnBudgetMs) * 1000000;
    while (!m_waiting.empty() && m_spentNs < budgetNs) {
        Waiting call = std::move(m_waiting.front());
        m_waiting.pop_front();
        QDBusMessage reply = call.message.createReply(timed(call.work));
        call.connection.send(reply);
    }
    if (!m_waiting.empty())
        m_turn.start();
}
