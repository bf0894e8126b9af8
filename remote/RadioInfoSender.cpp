// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/RadioInfoSender.h"

#include "station/Clock.h"
#include "station/Log.h"
#include "station/LogText.h"

#include <QHostInfo>
#include <QUdpSocket>

RadioInfoSender::RadioInfoSender(Clock &clock, QObject *parent)
    : QObject(parent)
    , m_clock(clock)
    , m_resend(clock.timer([this] { sendAll(); }, true))
    , m_retry(clock.timer([this] {
        for (int i = 0; i < m_targets.size(); ++i) {
            if (m_targets[i].address.isNull())
                lookUp(i);
        }
    }))
{ }

RadioInfoSender::~RadioInfoSender() = default;

void RadioInfoSender::setDestinations(const QList<NetworkSettings::Destination> &destinations)
{
    ++m_generation;
    m_targets.clear();
    m_datagrams.clear();
    m_resend->stop();
    m_retry->stop();
    m_socket4.reset();
    m_socket6.reset();
    for (const NetworkSettings::Destination &destination : destinations) {
        Target target{destination, QHostAddress(destination.host)};
        m_targets << target;
        if (target.address.isNull())
            lookUp(int(m_targets.size()) - 1);
    }
}

void RadioInfoSender::send(const QList<QByteArray> &datagrams)
{
    if (m_targets.isEmpty())
        return;
    m_datagrams = datagrams;
    sendAll();
    m_resend->start(ResendMs);
}

quint16 RadioInfoSender::localPort() const
{
    return m_socket4 ? m_socket4->localPort() : 0;
}

void RadioInfoSender::lookUp(int index)
{
    Target &target = m_targets[index];
    if (target.looking)
        return;
    target.looking = true;
    const quint64 generation = m_generation;
    QHostInfo::lookupHost(target.destination.host, this, [=, this](const QHostInfo &info) {
        if (generation != m_generation)
            return;
        Target &found = m_targets[index];
        found.looking = false;
        const QList<QHostAddress> addresses = info.addresses();
        if (info.error() == QHostInfo::NoError && !addresses.isEmpty()) {
            found.address = addresses.first();
            found.failing = false;
            qCDebug(lcNet).noquote() << "RadioInfo goes to" << found.address.toString();
            return;
        }
        if (!found.failing)
            say(QStringLiteral("The RadioInfo host %1 is not found: %2")
                    .arg(LogText::quoted(found.destination.host), info.errorString()));
        found.failing = true;
        if (!m_retry->isActive())
            m_retry->start(LookupRetryMs);
    });
}

void RadioInfoSender::sendAll()
{
    for (Target &target : m_targets) {
        if (target.address.isNull())
            continue;
        const ResultOf<QUdpSocket *> socket = socketFor(target.address);
        bool sent = socket.ok;
        for (const QByteArray &datagram : std::as_const(m_datagrams)) {
            sent = sent
                   && socket.value->writeDatagram(datagram, target.address, target.destination.port)
                          == datagram.size();
        }
        if (!sent && !target.failing)
            say(QStringLiteral("RadioInfo cannot be sent to %1:%2: %3")
                    .arg(target.destination.host)
                    .arg(target.destination.port)
                    .arg(socket ? socket.value->errorString() : socket.error));
        target.failing = !sent;
    }
}

ResultOf<QUdpSocket *> RadioInfoSender::socketFor(const QHostAddress &address)
{
    const bool v4 = address.protocol() == QAbstractSocket::IPv4Protocol;
    std::unique_ptr<QUdpSocket> &socket = v4 ? m_socket4 : m_socket6;
    if (!socket) {
        socket = std::make_unique<QUdpSocket>();
        // Bound at once, so that the port it sends from is known (own packets heard back).
        if (!socket->bind(v4 ? QHostAddress::AnyIPv4 : QHostAddress::AnyIPv6, 0)) {
            const QString error = socket->errorString();
            socket.reset();
            return ResultOf<QUdpSocket *>::failure(error);
        }
    }
    return {socket.get()};
}

void RadioInfoSender::say(const QString &text)
{
    qCWarning(lcNet).noquote() << text;
    emit problem(text);
}
