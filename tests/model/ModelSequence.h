// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/VoiceVocta.h"
#include "tests/model/ModelEvent.h"
#include "tests/model/StationModel.h"
#include "tests/support/FakeAudioInput.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/FakeMediaDevice.h"
#include "tests/support/FakeSerialLines.h"
#include "tests/support/FakeSoundServer.h"

#include <QColor>
#include <deque>
#include <memory>
#include <random>

class ComSet;
class KeyerAdaptor;

// What the sequences went through: every kind of event, and the states worth reaching.
struct Coverage
{
    std::array<int, ModelEvent::KindCount> events{};
    int keyedOnTheWire = 0;
    int repeatWait = 0;
    int lockUnderStandby = 0;
    int messageUnderStandby = 0;
    int deviceWithoutMessage = 0; // the transport bar's own play, no memory playing
    int refusal = 0;
    int cannotStart = 0; // a memory whose file cannot play, before its failure arrives
    int lead = 0;
    int tail = 0;
    int timeoutWarning = 0;
    int timeouts = 0;

    void count(const ModelEvent &event, const StationModel &model, const StationView &view,
               bool portEverOpened)
    {
        ++events[event.kind];
        keyedOnTheWire += view.portOpen && model.keyed(view, portEverOpened);
        repeatWait += model.inRepeatWait();
        lockUnderStandby += view.LockOn && view.StdByOn;
        messageUnderStandby += model.messageOnAir() && view.StdByOn;
        deviceWithoutMessage += view.deviceMode == StationModel::Playing && !view.Playing;
        refusal += view.refusalShown;
        cannotStart += model.startFailed();
        lead += model.inLead();
        tail += model.inTail();
        timeoutWarning += model.timeoutWarning();
    }

    QStringList states() const
    {
        return {QStringLiteral("keyed on the wire %1").arg(keyedOnTheWire),
                QStringLiteral("repeat wait %1").arg(repeatWait),
                QStringLiteral("Lock under standby %1").arg(lockUnderStandby),
                QStringLiteral("message under standby %1").arg(messageUnderStandby),
                QStringLiteral("device plays without a message %1").arg(deviceWithoutMessage),
                QStringLiteral("refusal shown %1").arg(refusal),
                QStringLiteral("message that cannot start %1").arg(cannotStart),
                QStringLiteral("lead %1").arg(lead),
                QStringLiteral("tail %1").arg(tail),
                QStringLiteral("time-out warning %1").arg(timeoutWarning),
                QStringLiteral("time-outs %1").arg(timeouts)};
    }

    // The kinds of event and the states that never came.
    QStringList missing() const
    {
        QStringList out;
        for (int kind = 0; kind < ModelEvent::KindCount; ++kind) {
            if (!events[kind])
                out << ModelEvent{ModelEvent::Kind(kind), 0, {}}.describe();
        }
        for (const QString &state : states()) {
            if (state.endsWith(QLatin1String(" 0")))
                out << state;
        }
        return out;
    }
};

// One random sequence: a fresh station built from random settings, its model, the events.
class ModelSequence
{
public:
    // The station pictures, told apart by colour.
    static const QColor OnAirColour;
    static const QColor ReceiveColour;
    // The lines on standard error that told of a time-out, in all sequences so far (the test's
    // message handler counts them).
    static int timeoutLinesSeen;

    // A station in programDir (which holds Images/ with the two pictures), started from random
    // settings; verbose prints every event as it is played.
    ModelSequence(const QString &programDir, quint32 seed, bool verbose);

    // Plays one event and compares; false (with the report in failure) when they part.
    bool step(QString &failure, Coverage &coverage);
    const QStringList &played() const { return m_played; }

private:
    int pick(int n) { return int(m_random() % quint32(n)); }
    bool chance(int percent) { return pick(100) < percent; }

    StationModel::Settings randomSettings();
    void writeSettings(const StationModel::Settings &settings);
    ModelEvent choose();
    void play(const ModelEvent &event);
    void pressKey(const ModelEvent &event, Qt::Key key, Qt::KeyboardModifiers modifiers);
    StationView observe();

    Form1 &window() { return m_station->window(); }
    ComSet *dialog() { return m_station->comSet().form(); }
    FormTimer &keyingTimer(StationModel::KeyingTimer timer);
    // Lets time pass: the keying's timers tick as the model says they fall due.
    void passTime(int milliseconds);

    QString m_programDir;
    std::mt19937 m_random;
    bool m_verbose;
    FakeMediaDevice m_device;
    FakeSerialLines m_lines;
    FakeDialogs m_dialogs;
    FakeSoundServer m_server;
    FakeAudioInput m_input;
    FakeMediaDevice m_preview;
    std::unique_ptr<VoiceVocta> m_station;
    // The keyer interface, without a bus: its slots are called as the bus would call them.
    QObject m_keyerObject;
    KeyerAdaptor *m_keyer = nullptr;
    int m_changedSignals = 0; // Changed said during the event
    QString m_answer; // the answer of the method called during the event
    std::unique_ptr<StationModel> m_model;
    std::deque<ModelEvent> m_forced; // events that must come next (a device's own consequence)
    // The Done that stopped plays, and plays that could not start, still owe.
    std::deque<int> m_pendingDone;
    bool m_portEverOpened = false;
    int m_delivering = -1; // the timer whose tick the test delivers now
    QStringList m_unexpected; // ticks that came by themselves
    int m_timeoutLinesAtStart = 0;
    QStringList m_played;
};
