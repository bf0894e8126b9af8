// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "remote/PeerRadios.h"
#include "remote/RadioInfo.h"
#include "station/AppState.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

class Clock;
class QUdpSocket;
class RadioInfoSender;
class Timer;

// The station network: this station's radios told to the stations around it as RadioInfo
// datagrams (UDP, N1MM Logger+'s format), and theirs heard, so that a station can hold its
// transmitter back while another one transmits.
//
// Input from the network can only hold the transmitter back: this class keys nothing and calls
// nothing that keys. Datagrams that are not RadioInfo (malformed, truncated, huge, not UTF-8,
// hostile) are dropped, said in at most one line every 10 s with how many there were. They are read
// in batches of BatchSize per turn of the event loop, so that a flood cannot hold the window.
//
// With the default settings (no destination, no port) it opens no socket and no timer runs.
class StationNetwork : public QObject
{
    Q_OBJECT
public:
    using Radio = PeerRadios::Radio;

    static constexpr int BatchSize = 64;
    static constexpr int DropReportMs = 10000;

    explicit StationNetwork(Clock &clock, QObject *parent = nullptr);
    ~StationNetwork() override;

    // Takes the settings ([Network]): where to send (the datagrams given so far are dropped when
    // that changes), the station's name, the port to listen on (opened so that other programs on
    // the machine can listen on it too; the radios heard are forgotten when it changes), the peer
    // time-out. Settings as they are change nothing. A port that cannot be opened is said
    // (problem).
    void configure(const NetworkValues &values);

    // This station's radios, one datagram each, sent at once to every destination and again once
    // a second until the next call: call it at every change of what they say (the keyed state
    // above all). Each goes out with this station's name.
    void publish(const QList<RadioInfo> &radios);

    // The other stations that hold back a transmission on `freqHz` (0: unknown) with `mode`: see
    // PeerRadios::inhibitors. A station's own name is never among them.
    QStringList inhibitors(quint64 freqHz, InterlockMode mode) const;
    // The other stations' radios heard.
    QList<Radio> radios() const;

    // The name this station goes by (the settings' one, else the host name).
    QString stationName() const { return m_name; }
    // The port listened on; 0: none.
    quint16 listeningPort() const;
    // The datagrams dropped since the start.
    qint64 droppedCount() const { return m_droppedTotal; }

signals:
    // What inhibitors() answers may have changed.
    void inhibitorsChanged();
    // A search-and-pounce station (IsRunning False) started transmitting on `freqHz` (0:
    // unknown): a running station on that band stops its message.
    void spStarted(const QString &station, quint64 freqHz);
    // Something the operator should know: a port that cannot be opened, a host not found, another
    // station going by this station's name.
    void problem(const QString &text);

private:
    void listen(int port);
    void readBatch();
    void take(QByteArrayView datagram, const QHostAddress &sender, quint16 port);
    bool isOwn(const QHostAddress &sender, quint16 port) const;
    void dropped(const QString &reason, const QHostAddress &sender);
    void sayDrops();
    void say(const QString &text);

    NetworkValues m_values;
    bool m_configured = false;
    QString m_name;
    PeerRadios m_peers;
    std::unique_ptr<RadioInfoSender> m_sender;
    std::unique_ptr<QUdpSocket> m_listener;
    QByteArray m_buffer; // one datagram, reused
    QTimer m_more; // the next batch, at the next turn of the event loop
    QList<QHostAddress> m_localAddresses;
    bool m_nameClashSaid = false;
    // Dropped datagrams: all of them, those not yet said, and the last one's reason and sender.
    qint64 m_droppedTotal = 0;
    qint64 m_droppedUnsaid = 0;
    QString m_dropReason;
    QHostAddress m_dropSender;
    std::unique_ptr<Timer> m_dropReport;
};
