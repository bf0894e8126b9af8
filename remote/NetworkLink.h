// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "remote/RadioInfo.h"
#include "station/AppState.h"
#include "station/KeyingGate.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Clock;
class StationDoor;
class StationNetwork;

// This station's radios on the station network: each one told to the stations around it (one
// RadioInfo each, at once at every change of its keyed state or of what it sends, and once a
// second), and held back while another station on its band transmits (a keying gate on each
// radio's station). A running station's message stops when a search-and-pounce station on its
// band starts transmitting.
//
// Nothing heard from the network keys anything: the gates only refuse, and the one event handed
// to a station for another one's packet is MessageStop.
//
// With the settings at their defaults (nothing sent, nothing heard) no network is made at all: no
// socket, no timer, and the gates hold nothing back.
class NetworkLink : public QObject
{
    Q_OBJECT
public:
    // `settings` holds [Network] (read again at each apply()) and the memories' files.
    NetworkLink(const AppState &settings, Clock &clock, QObject *parent = nullptr);
    ~NetworkLink() override;

    // A radio of this station, by its number (1, 2), keyed by `station`; `freqHz` and `mode`, if
    // given, say what the radio is tuned to (0 and empty: unknown; an unknown frequency is on
    // every band).
    struct Tuning
    {
        quint64 freqHz = 0;
        QString mode;
    };
    void addRadio(int radioNr, StationDoor &station, std::function<Tuning()> tuning = {});

    // Takes the settings' [Network] as they are now: at start-up, and at the dialog's OK.
    void apply();
    // What a radio's `tuning` says changed: the stations around are told, and its band may hold
    // it back now, or no longer.
    void tuningChanged();

    // The other stations that hold this station back now, joined with ", "; empty: none.
    QString inhibitedBy() const { return m_inhibitedBy; }
    // The network, once the settings asked for one; null before.
    StationNetwork *network() const { return m_network.get(); }

signals:
    // What inhibitedBy() says changed.
    void inhibitedChanged(const QString &stations);
    // Something the operator should know (a port that cannot be opened, a host not found...).
    void problem(const QString &text);

private:
    struct Radio
    {
        int number = 1;
        QPointer<StationDoor> station;
        std::function<Tuning()> tuning;
        RadioInfo said; // what was published last
        bool held = false; // its gate held it back at the last look
    };

    std::optional<Holdback> gate(const Radio &radio) const;
    QStringList inhibitors(const Radio &radio) const;
    Tuning tuningOf(const Radio &radio) const;
    RadioInfo infoOf(const Radio &radio) const;
    QString captionOf(const Radio &radio) const;
    void stationChanged();
    void publish();
    void inhibitorsChanged();
    void spStarted(const QString &station, quint64 freqHz);

    const AppState &m_settings;
    Clock &m_clock;
    NetworkValues m_values;
    std::unique_ptr<StationNetwork> m_network;
    std::vector<std::unique_ptr<Radio>> m_radios;
    QString m_inhibitedBy;
};
