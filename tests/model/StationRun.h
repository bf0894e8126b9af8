// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/SerialKeyer.h"
#include "station/AppState.h"
#include "station/SettingsBook.h"
#include "station/Station.h"
#include "station/StationRemote.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/FakeKeyer.h"
#include "tests/support/FakeSerialLines.h"
#include "tests/support/FakeSoundPlayer.h"
#include "tests/support/VirtualClock.h"

#include <array>
#include <memory>
#include <random>

// One random sequence of events on the station alone: the operator's clicks and the bus's calls,
// the player's ends and answers, a keyer that keys at once (the real serial lines' keyer on the
// test's lines) or a rig that confirms late, never, or loses its link, the recorder, the COM
// dialog's lines, and time. After every event the station's safety rules are checked.
class StationRun
{
public:
    enum Kind {
        Click, // a left click on a memory
        Lock,
        Standby,
        RepeatBox,
        Slider,
        StoreDelay,
        StatusPanel,
        TransportPlay,
        TransportPrev,
        TransportStop,
        PlayEnds, // the player's play ends by itself: heard to its end, or failed
        LateStop, // the end that a stopped play still owes
        StrayEnd, // an end out of the blue
        Prepared, // the player answers a prepare it held back
        OutputGoes, // the chosen output goes away, or comes back
        Confirm, // the rig confirms its last request
        LinkChange,
        Time,
        Recording,
        RemotePlay,
        RemoteStop,
        RemoteLock,
        RemoteStandby,
        LineBox, // the COM dialog's RTS or DTR box
        PortOpen, // the COM dialog's OK
        KindCount
    };

    // What the sequences went through: every kind of event, and the states worth reaching.
    struct Coverage
    {
        std::array<int, KindCount> events{};
        int keyed = 0;
        int lead = 0;
        int awaitingKeying = 0;
        int tail = 0;
        int repeatWait = 0;
        int pauseKeyed = 0;
        int lockUnderStandby = 0;
        int refusals = 0;
        int timeoutWarning = 0;
        QStringList states() const;
        QStringList missing() const;
    };

    StationRun(quint32 seed, bool verbose);
    ~StationRun();

    // Plays one event and checks the rules; false, with the broken rules in `failure`.
    bool step(QString &failure, Coverage &coverage);
    const QStringList &played() const { return m_played; }
    static QString kindName(Kind kind);

private:
    int pick(int n) { return int(m_random() % quint32(n)); }
    bool chance(int percent) { return pick(100) < percent; }

    void randomSettings();
    Kind choose();
    QString play(Kind kind);
    QStringList problems(Kind kind, const StationState &before, const QStringList &log,
                         const QList<bool> &requests);
    bool lastRequest() const;
    bool cannotPlay() const;
    bool serial() const { return m_serial != nullptr; }

    std::mt19937 m_random;
    bool m_verbose;
    AppState m_settings;
    SettingsBook m_book{m_settings};
    VirtualClock m_clock;
    FakeSoundPlayer m_player;
    FakeSerialLines m_lines;
    FakeDialogs m_dialogs;
    std::unique_ptr<SerialKeyer> m_serial; // the keyer: the serial lines ...
    std::unique_ptr<FakeKeyer> m_rig; // ... or a rig
    std::unique_ptr<Station> m_station;
    std::unique_ptr<StationRemote> m_remote;

    QList<bool> m_requests; // every request the keyer was given
    bool m_portEverOpened = false;
    int m_pendingStops = 0; // ends that stopped plays still owe
    bool m_logKeyed = false; // the transmitter keyed, as the log tells it so far
    qint64 m_keyedSince = -1; // when the station last went from released to keyed
    qint64 m_endedAt = -1; // when a message was last heard to its end while keyed
    int m_allowedTail = 0; // how long the transmitter may hang on after it
    bool m_heard = false; // the end just given was heard to the last sample
    QStringList m_played;
};
