// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/AppState.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class Clock;
class Timer;
struct RadioInfo;

// The radios of the other stations on the network, as their last RadioInfo said, each kept until
// it has been silent for the peer time-out. A radio that said it transmits counts as transmitting
// until it says otherwise or is forgotten; forgetting it is said in one line.
class PeerRadios
{
public:
    // What the table holds of one radio.
    struct Radio
    {
        QString station;
        int radioNr = 0;
        quint64 freqHz = 0; // 0: unknown
        quint64 txFreqHz = 0; // 0: unknown
        bool transmitting = false;
        bool running = true; // false: a search-and-pounce station
        qint64 heardAtMs = 0; // the last packet, in ms of the monotonic clock (QDeadlineTimer)
    };

    // The most radios kept; a packet from another one is refused.
    static constexpr int MaxRadios = 128;

    struct Events
    {
        // What inhibitors() answers may have changed.
        std::function<void()> inhibitorsChanged;
        // A search-and-pounce station's radio started transmitting, on this frequency (0: unknown).
        std::function<void(const QString &station, quint64 freqHz)> spStarted;
    };

    PeerRadios(Clock &clock, Events events);
    ~PeerRadios();

    void setTimeoutS(int seconds) { m_timeoutMs = seconds * 1000; }
    // Takes a packet of another station. False when the table is full and the radio is new.
    bool heard(const RadioInfo &info);
    // Forgets every radio.
    void clear();

    // The stations (each once, in the order of their names) that hold back a transmission on
    // `freqHz` (0: unknown): with `Band` a transmitting radio on the same band (an unknown
    // frequency, or one outside every band, is on every band), with `All` any transmitting radio,
    // with `Off` none.
    QStringList inhibitors(quint64 freqHz, InterlockMode mode) const;
    QList<Radio> radios() const;

private:
    struct Entry
    {
        Radio radio;
        bool forgotten = false;
        std::unique_ptr<Timer> silence;
    };

    Entry *find(const QString &station, int radioNr);
    Entry &add(const RadioInfo &info);
    void forget(const QString &station, int radioNr);
    void changed() const;

    Clock &m_clock;
    Events m_events;
    int m_timeoutMs = 5000;
    // Forgotten entries stay until the next packet: their timer may be the one that ticks.
    std::vector<Entry> m_entries;
};
