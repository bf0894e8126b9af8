// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/NetworkSettings.h"
#include "station/Result.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>

#include <memory>

class Clock;
class QUdpSocket;
class Timer;

// Sends this station's datagrams to the destinations of the settings: at once when given, and
// again once a second until the next ones. Host names are looked up without waiting (a name that
// is not found is said once and looked up again every 30 s); broadcast addresses are allowed.
// Without destinations it holds no socket and no timer runs.
class RadioInfoSender : public QObject
{
    Q_OBJECT
public:
    static constexpr int ResendMs = 1000;
    static constexpr int LookupRetryMs = 30000;

    explicit RadioInfoSender(Clock &clock, QObject *parent = nullptr);
    ~RadioInfoSender() override;

    // The destinations; the datagrams given so far are dropped when they change.
    void setDestinations(const QList<NetworkSettings::Destination> &destinations);
    // Sends `datagrams` to every destination now, and again once a second.
    void send(const QList<QByteArray> &datagrams);
    // The local port the datagrams to IPv4 destinations leave from; 0 before the first.
    quint16 localPort() const;

signals:
    // Something the operator should know: a host not found, a destination that refuses.
    void problem(const QString &text);

private:
    struct Target
    {
        NetworkSettings::Destination destination;
        QHostAddress address; // null until looked up
        bool looking = false;
        bool failing = false; // said once until a datagram goes out again
    };

    void lookUp(int index);
    void sendAll();
    ResultOf<QUdpSocket *> socketFor(const QHostAddress &address);
    void say(const QString &text);

    Clock &m_clock;
    QList<Target> m_targets;
    QList<QByteArray> m_datagrams;
    std::unique_ptr<QUdpSocket> m_socket4;
    std::unique_ptr<QUdpSocket> m_socket6;
    std::unique_ptr<Timer> m_resend;
    std::unique_ptr<Timer> m_retry;
    quint64 m_generation = 0; // lookups of older destinations are ignored
};
