// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/StationNetwork.h"

#include "remote/RadioInfoSender.h"
#include "settings/NetworkSettings.h"
#include "station/Clock.h"
#include "station/Log.h"
#include "station/LogText.h"

#include <QNetworkInterface>
#include <QUdpSocket>

StationNetwork::StationNetwork(Clock &clock, QObject *parent)
    : QObject(parent)
    , m_peers(clock, {[this] { emit inhibitorsChanged(); },
                      [this](const QString &station, quint64 hz) {
                          emit spStarted(station, hz);
                      }})
    , m_sender(std::make_unique<RadioInfoSender>(clock))
    , m_dropReport(clock.timer([this] { sayDrops(); }))
{
    m_more.setSingleShot(true);
    m_more.setInterval(0);
    connect(&m_more, &QTimer::timeout, this, &StationNetwork::readBatch);
    connect(m_sender.get(), &RadioInfoSender::problem, this, &StationNetwork::problem);
}

StationNetwork::~StationNetwork() = default;

void StationNetwork::configure(const NetworkValues &values)
{
    if (m_configured && values == m_values)
        return;
    const NetworkValues before = std::exchange(m_values, values);
    const bool first = !std::exchange(m_configured, true);
    m_name = NetworkSettings::effectiveStationName(values);
    m_peers.setTimeoutS(qBound(NetworkSettings::MinPeerTimeoutS, values.PeerTimeoutS,
                               NetworkSettings::MaxPeerTimeoutS));
    if (first || values.RadioInfo != before.RadioInfo) {
        const auto destinations = NetworkSettings::destinations(values.RadioInfo);
        if (!destinations)
            say(QStringLiteral("RadioInfo is sent nowhere: %1").arg(destinations.error));
        m_sender->setDestinations(destinations.value);
    }
    if (first || values.Listen != before.Listen)
        listen(values.Listen);
    m_nameClashSaid = false;
}

void StationNetwork::publish(const QList<RadioInfo> &radios)
{
    QList<QByteArray> datagrams;
    for (RadioInfo radio : radios) {
        radio.StationName = m_name;
        datagrams << radio.encode();
    }
    m_sender->send(datagrams);
}

QStringList StationNetwork::inhibitors(quint64 freqHz, InterlockMode mode) const
{
    return m_peers.inhibitors(freqHz, mode);
}

QList<StationNetwork::Radio> StationNetwork::radios() const
{
    return m_peers.radios();
}

quint16 StationNetwork::listeningPort() const
{
    return m_listener ? m_listener->localPort() : 0;
}

void StationNetwork::listen(int port)
{
    m_more.stop();
    m_listener.reset();
    m_buffer = QByteArray();
    m_peers.clear();
    if (port <= 0 || port > 65535)
        return;
    auto socket = std::make_unique<QUdpSocket>();
    // Shared, as every program that hears RadioInfo binds its port.
    if (!socket->bind(QHostAddress::AnyIPv4, quint16(port),
                      QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        say(QStringLiteral("Other stations cannot be heard: UDP port %1 cannot be opened: %2")
                .arg(port)
                .arg(socket->errorString()));
        return;
    }
    m_listener = std::move(socket);
    m_buffer.resize(RadioInfo::MaxDatagram + 1);
    m_localAddresses = QNetworkInterface::allAddresses();
    connect(m_listener.get(), &QUdpSocket::readyRead, this, &StationNetwork::readBatch);
    qCDebug(lcNet) << "Listening for RadioInfo on UDP port" << port;
}

void StationNetwork::readBatch()
{
    if (!m_listener)
        return;
    for (int i = 0; i < BatchSize && m_listener->hasPendingDatagrams(); ++i) {
        QHostAddress sender;
        quint16 port = 0;
        const qint64 size
            = m_listener->readDatagram(m_buffer.data(), m_buffer.size(), &sender, &port);
        if (size < 0)
            break;
        take(QByteArrayView(m_buffer.constData(), size), sender, port);
        if (!m_listener)
            return; // reconfigured meanwhile
    }
    // More waiting: the rest at the next turn, after whatever else the event loop has to do.
    if (m_listener->hasPendingDatagrams())
        m_more.start();
}

void StationNetwork::take(QByteArrayView datagram, const QHostAddress &sender, quint16 port)
{
    const ResultOf<RadioInfo> info = RadioInfo::decode(datagram);
    if (!info)
        return dropped(info.error, sender);
    if (info.value.StationName == m_name) {
        if (!isOwn(sender, port) && !m_nameClashSaid) {
            m_nameClashSaid = true;
            say(QStringLiteral("Another station (%1) goes by this station's name %2: it does not "
                               "hold this one back; give each station a name of its own")
                    .arg(sender.toString(), LogText::quoted(m_name)));
        }
        return;
    }
    if (!m_peers.heard(info.value))
        dropped(QStringLiteral("from more than %1 radios").arg(PeerRadios::MaxRadios), sender);
}

bool StationNetwork::isOwn(const QHostAddress &sender, quint16 port) const
{
    return port == m_sender->localPort()
           && (sender.isLoopback() || m_localAddresses.contains(sender));
}

void StationNetwork::dropped(const QString &reason, const QHostAddress &sender)
{
    ++m_droppedTotal;
    ++m_droppedUnsaid;
    m_dropReason = reason;
    m_dropSender = sender;
    if (!m_dropReport->isActive())
        sayDrops();
}

// At most one line every DropReportMs: the first drop at once, the rest counted until then.
void StationNetwork::sayDrops()
{
    if (m_droppedUnsaid == 0)
        return;
    const QString what = m_droppedUnsaid == 1
                             ? QStringLiteral("A packet that is not RadioInfo was dropped")
                             : QStringLiteral("%1 packets that are not RadioInfo were dropped "
                                              "in %2 s")
                                   .arg(m_droppedUnsaid)
                                   .arg(DropReportMs / 1000);
    qCWarning(lcNet).noquote() << QStringLiteral("%1, the last from %2: %3")
                                      .arg(what, m_dropSender.toString(), m_dropReason);
    m_droppedUnsaid = 0;
    m_dropReport->start(DropReportMs);
}

void StationNetwork::say(const QString &text)
{
    qCWarning(lcNet).noquote() << text;
    emit problem(text);
}
