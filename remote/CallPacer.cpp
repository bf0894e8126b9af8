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
    if (!context || !context->calledFromDBus())
        return work();
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

void CallPacer::nextTurn()
{
    QElapsedTimer clock;
    clock.start();
    const qint64 budgetNs = qint64(TurnBudgetMs) * 1000000;
    while (!m_waiting.empty() && clock.nsecsElapsed() < budgetNs) {
        Waiting call = std::move(m_waiting.front());
        m_waiting.pop_front();
        call.connection.send(call.message.createReply(call.work()));
    }
    if (!m_waiting.empty())
        m_turn.start();
}
