// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/PeerRadios.h"

#include "remote/Bands.h"
#include "remote/RadioInfo.h"
#include "station/Clock.h"
#include "station/Log.h"
#include "station/LogText.h"

#include <QDeadlineTimer>

#include <algorithm>

PeerRadios::PeerRadios(Clock &clock, Events events)
    : m_clock(clock), m_events(std::move(events)) { }

PeerRadios::~PeerRadios() = default;

bool PeerRadios::heard(const RadioInfo &info)
{
    std::erase_if(m_entries, [](const Entry &entry) { return entry.forgotten; });
    Entry *entry = find(info.StationName, info.RadioNr);
    if (!entry) {
        if (int(m_entries.size()) >= MaxRadios)
            return false;
        entry = &add(info);
    }
    Radio &radio = entry->radio;
    const bool started = info.IsTransmitting && !radio.transmitting;
    const bool moved = radio.freqHz != info.freqHz() || radio.txFreqHz != info.txFreqHz();
    const bool matters
        = radio.transmitting != info.IsTransmitting || (info.IsTransmitting && moved);
    radio.freqHz = info.freqHz();
    radio.txFreqHz = info.txFreqHz();
    radio.transmitting = info.IsTransmitting;
    radio.running = info.IsRunning;
    radio.heardAtMs = QDeadlineTimer::current().deadline();
    entry->silence->start(m_timeoutMs);
    // Whoever hears of it may change the table: nothing of it is used after this.
    const quint64 onAir = radio.txFreqHz ? radio.txFreqHz : radio.freqHz;
    if (matters)
        changed();
    if (started && !info.IsRunning && m_events.spStarted)
        m_events.spStarted(info.StationName, onAir);
    return true;
}

void PeerRadios::clear()
{
    const bool transmitting = std::any_of(m_entries.begin(), m_entries.end(), [](const Entry &e) {
        return !e.forgotten && e.radio.transmitting;
    });
    m_entries.clear();
    if (transmitting)
        changed();
}

QStringList PeerRadios::inhibitors(quint64 freqHz, InterlockMode mode) const
{
    QStringList stations;
    if (mode == InterlockMode::Off)
        return stations;
    for (const Entry &entry : m_entries) {
        const Radio &radio = entry.radio;
        if (entry.forgotten || !radio.transmitting)
            continue;
        // A station in split transmits on TXFreq: either frequency on this band holds it back.
        const bool near = Bands::sameBand(freqHz, radio.freqHz)
                          || (radio.txFreqHz && Bands::sameBand(freqHz, radio.txFreqHz));
        if (mode == InterlockMode::All || near)
            stations << radio.station;
    }
    stations.sort();
    stations.removeDuplicates();
    return stations;
}

QList<PeerRadios::Radio> PeerRadios::radios() const
{
    QList<Radio> list;
    for (const Entry &entry : m_entries) {
        if (!entry.forgotten)
            list << entry.radio;
    }
    return list;
}

PeerRadios::Entry *PeerRadios::find(const QString &station, int radioNr)
{
    for (Entry &entry : m_entries) {
        if (!entry.forgotten && entry.radio.radioNr == radioNr && entry.radio.station == station)
            return &entry;
    }
    return nullptr;
}

PeerRadios::Entry &PeerRadios::add(const RadioInfo &info)
{
    Entry &entry = m_entries.emplace_back();
    entry.radio.station = info.StationName;
    entry.radio.radioNr = info.RadioNr;
    entry.silence = m_clock.timer(
        [this, station = info.StationName, radioNr = info.RadioNr] { forget(station, radioNr); });
    qCDebug(lcNet).noquote() << "Heard station" << LogText::quoted(info.StationName) << "radio"
                             << info.RadioNr;
    return entry;
}

void PeerRadios::forget(const QString &station, int radioNr)
{
    Entry *entry = find(station, radioNr);
    if (!entry)
        return;
    entry->forgotten = true;
    if (!entry->radio.transmitting)
        return;
    qCWarning(lcNet).noquote() << QStringLiteral(
                                      "Station %1 (radio %2) said it transmits and has not been "
                                      "heard for %3 s: it is forgotten")
                                      .arg(LogText::quoted(station))
                                      .arg(radioNr)
                                      .arg(m_timeoutMs / 1000);
    changed();
}

void PeerRadios::changed() const
{
    if (m_events.inhibitorsChanged)
        m_events.inhibitorsChanged();
}
