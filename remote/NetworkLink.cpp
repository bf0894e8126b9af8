// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/NetworkLink.h"

#include "remote/StationNetwork.h"
#include "station/Log.h"
#include "station/StationDoor.h"

#include <QFileInfo>

NetworkLink::NetworkLink(const AppState &settings, Clock &clock, QObject *parent)
    : QObject(parent), m_settings(settings), m_clock(clock)
{ }

NetworkLink::~NetworkLink() = default;

void NetworkLink::addRadio(int radioNr, StationDoor &station, std::function<Tuning()> tuning)
{
    auto radio = std::make_unique<Radio>();
    radio->number = radioNr;
    radio->station = &station;
    radio->tuning = std::move(tuning);
    // The station may outlive this link: then nothing holds it back any more.
    station.addKeyingGate([link = QPointer<NetworkLink>(this), self = radio.get()] {
        return link ? link->gate(*self) : std::nullopt;
    });
    connect(&station, &StationDoor::changed, this, &NetworkLink::stationChanged);
    m_radios.push_back(std::move(radio));
}

void NetworkLink::apply()
{
    m_values = m_settings.Network;
    // Nothing asked of the network: none is made. One made earlier closes its socket and stops
    // sending when the settings go back to their defaults.
    if (!m_network && m_values == NetworkValues()) {
        inhibitorsChanged();
        return;
    }
    if (!m_network) {
        m_network = std::make_unique<StationNetwork>(m_clock);
        connect(m_network.get(), &StationNetwork::inhibitorsChanged, this,
                &NetworkLink::inhibitorsChanged);
        connect(m_network.get(), &StationNetwork::spStarted, this, &NetworkLink::spStarted);
        connect(m_network.get(), &StationNetwork::problem, this, &NetworkLink::problem);
    }
    m_network->configure(m_values);
    // What the others are told (the role) and what holds this station back may have changed.
    for (const auto &radio : m_radios)
        radio->said = RadioInfo();
    publish();
    inhibitorsChanged();
}

void NetworkLink::tuningChanged()
{
    stationChanged();
    inhibitorsChanged();
}

// ---- Holding back ------------------------------------------------------------------------------

QStringList NetworkLink::inhibitors(const Radio &radio) const
{
    if (!m_network || m_values.Interlock == InterlockMode::Off)
        return {};
    return m_network->inhibitors(tuningOf(radio).freqHz, m_values.Interlock);
}

std::optional<Holdback> NetworkLink::gate(const Radio &radio) const
{
    const QStringList stations = inhibitors(radio);
    if (stations.isEmpty())
        return std::nullopt;
    return Holdback{Answer::Reason::Inhibited, false,
                    QStringLiteral("held back while %1 transmit").arg(stations.join(u", "))};
}

void NetworkLink::inhibitorsChanged()
{
    QStringList all;
    for (const auto &radio : m_radios) {
        const QStringList stations = inhibitors(*radio);
        all << stations;
        const bool held = !stations.isEmpty();
        // A message that waits for its keying may key now (the station asks its gates again).
        if (radio->held && !held && radio->station)
            radio->station->handle(StationEvents::GateOpened{});
        radio->held = held;
    }
    all.sort();
    all.removeDuplicates();
    const QString by = all.join(u", ");
    if (by == m_inhibitedBy)
        return;
    m_inhibitedBy = by;
    qCInfo(lcNet).noquote() << (by.isEmpty()
                                    ? QStringLiteral("No other station holds this one back")
                                    : QStringLiteral("Held back while %1 transmit").arg(by));
    emit inhibitedChanged(by);
}

// A search-and-pounce station started on a running radio's band: its message on the air stops
// (and the transmitter is released, unless Lock holds it). A search-and-pounce station is never
// cut, nor is anything without the interlock.
void NetworkLink::spStarted(const QString &station, quint64 freqHz)
{
    if (m_values.Role != StationRole::Run || m_values.Interlock == InterlockMode::Off)
        return;
    for (const auto &radio : m_radios) {
        if (!radio->station)
            continue;
        const StationState &state = radio->station->state();
        const bool onAir
            = (state.stage == Stage::Lead || state.stage == Stage::Playing) && !state.standby;
        if (!onAir || !inhibitors(*radio).contains(station))
            continue;
        qCInfo(lcNet).noquote() << QStringLiteral("Radio %1: the message stops, %2 (search and "
                                                  "pounce) transmits on %3 Hz")
                                       .arg(radio->number)
                                       .arg(station)
                                       .arg(freqHz);
        radio->station->handle(StationEvents::MessageStop{});
    }
}

// ---- Telling ------------------------------------------------------------------------------------

NetworkLink::Tuning NetworkLink::tuningOf(const Radio &radio) const
{
    return radio.tuning ? radio.tuning() : Tuning();
}

QString NetworkLink::captionOf(const Radio &radio) const
{
    const StationState &state = radio.station->state();
    if (!state.playing())
        return {};
    if (state.kind == MessageKind::Text)
        return QStringLiteral("Text");
    if (state.kind == MessageKind::File || state.memory < 0 || state.memory > 5)
        return QStringLiteral("File");
    const QString name = QFileInfo(m_settings.Memories.MemFile.at(state.memory)).completeBaseName();
    return QStringLiteral("M%1 %2").arg(state.memory + 1).arg(name).left(RadioInfo::MaxText);
}

RadioInfo NetworkLink::infoOf(const Radio &radio) const
{
    const StationState &state = radio.station->state();
    const Tuning tuning = tuningOf(radio);
    RadioInfo info;
    info.RadioNr = radio.number;
    info.Freq = info.TXFreq = RadioInfo::tenHz(tuning.freqHz);
    info.Mode = tuning.mode;
    info.IsRunning = m_values.Role == StationRole::Run;
    info.FocusRadioNr = info.ActiveRadioNr = radio.number;
    // Keyed from the keying request until the release is confirmed.
    info.IsTransmitting = state.onAir || state.transmitting;
    info.FunctionKeyCaption = captionOf(radio);
    info.IsConnected = state.keyer == PttKeyer::Link::Ready;
    return info;
}

void NetworkLink::stationChanged()
{
    if (!m_network)
        return;
    // Only what the datagram says: the elapsed time's every report changes nothing of it.
    for (const auto &radio : m_radios)
        if (radio->station && infoOf(*radio) != radio->said)
            return publish();
}

void NetworkLink::publish()
{
    if (!m_network)
        return;
    QList<RadioInfo> radios;
    for (const auto &radio : m_radios) {
        if (!radio->station)
            continue;
        radio->said = infoOf(*radio);
        radios << radio->said;
    }
    m_network->publish(radios);
}
