// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/AppState.h"
#include "station/StationDoor.h"

#include <QPointer>
#include <array>
#include <functional>

class Station;

// The owner of the station's radios: one, or two (SO2R). With one radio every event goes to it
// and it is the whole station, exactly. With two, the operator's messages go to the radio with
// the focus, a click that stops or a request that finds a radio busy goes to that radio, standby
// and the memories' repeat boxes and delay go to both; and the two transmitters are interlocked:
// while one radio may be keyed (its lead, message, tail, Lock, or a release the rig has not yet
// confirmed), keying the other is refused, or waits until the first one is released (Interlock).
class RadioPair : public StationDoor
{
    Q_OBJECT
public:
    explicit RadioPair(Station &first, QObject *parent = nullptr);

    // The second radio (null: none). `sync` is called before each event handed to it, so that it
    // reads the memories as the first one's settings hold them.
    void setSecond(Station *second, InterlockRule rule, std::function<void()> sync = {});

    // The operator's and other programs' events, routed as said above; the state shown is the
    // radio's that is on the air or busy, else the focus radio's.
    Answer handle(const Event &event) override;
    const StationState &state() const override;
    // A gate for the first radio (the pair's own radios each have theirs).
    void addKeyingGate(KeyingGate gate) override;

    // An event for one radio (1 or 2): refused NoSuchMemory for a radio that is not there.
    Answer handleOn(int radio, const Event &event);

    // A repeating memory alternates between the radios (dueling CQ): each repeat that is due
    // plays on the other radio, when that one is idle and lets it key; else on the same one.
    void setAlternate(bool on);
    bool alternate() const { return m_alternate; }

    int radios() const { return m_stations[1] ? 2 : 1; }
    int focus() const { return m_focus; }
    // The radio of the message last started or on the air.
    int radio() const { return m_radio; }
    Station &station(int radio) const;
    // Whether `radio`'s transmitter is or may be keyed.
    bool keyed(int radio) const;
    // Gives the focus to `radio` (false: no such radio); swapFocus() to the other one.
    bool setFocus(int radio);
    void swapFocus();

signals:
    void focusChanged(int radio);
    void radioChanged(int radio);
    void radiosChanged(int radios);

private:
    void stationChanged(int radio);
    void setRadio(int radio);
    int busyRadio() const;
    int shownRadio() const;
    Answer both(const Event &event);

    std::array<QPointer<Station>, 2> m_stations;
    std::function<void()> m_sync;
    InterlockRule m_rule = InterlockRule::Refuse;
    bool m_alternate = false;
    int m_focus = 1;
    int m_radio = 1;
    std::array<bool, 2> m_wasKeyed{};
};
