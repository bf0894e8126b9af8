// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/RadioPair.h"

#include "station/Log.h"
#include "station/Station.h"

RadioPair::RadioPair(Station &first, QObject *parent) : StationDoor(parent)
{
    m_stations[0] = &first;
    connect(&first, &StationDoor::changed, this, [this] { stationChanged(1); });
}

void RadioPair::setSecond(Station *second, InterlockRule rule, std::function<void()> sync)
{
    m_stations[1] = second;
    m_rule = rule;
    m_sync = std::move(sync);
    if (!second) {
        setFocus(1);
        emit radiosChanged(1);
        return;
    }
    connect(second, &StationDoor::changed, this, [this] { stationChanged(2); });
    // Each radio's keying asks whether the other one may be keyed.
    for (int radio : {1, 2}) {
        const int other = 3 - radio;
        station(radio).addKeyingGate(
            [self = QPointer<RadioPair>(this), other]() -> std::optional<Holdback> {
                if (!self || self->radios() < 2 || !self->keyed(other))
                    return std::nullopt;
                return Holdback{Answer::Reason::Interlocked, self->m_rule == InterlockRule::Wait,
                                QStringLiteral("radio %1 is on the air").arg(other)};
            });
    }
    emit radiosChanged(2);
}

Station &RadioPair::station(int radio) const
{
    return *m_stations[radio == 2 && m_stations[1] ? 1 : 0];
}

bool RadioPair::keyed(int radio) const
{
    if (radio < 1 || radio > radios())
        return false;
    const StationState &s = station(radio).state();
    return s.onAir || s.transmitting;
}

void RadioPair::addKeyingGate(KeyingGate gate)
{
    station(1).addKeyingGate(std::move(gate));
}

const StationState &RadioPair::state() const
{
    return station(shownRadio()).state();
}

int RadioPair::busyRadio() const
{
    for (int radio = 1; radio <= radios(); ++radio)
        if (station(radio).state().playing())
            return radio;
    return 0;
}

int RadioPair::shownRadio() const
{
    if (radios() < 2)
        return 1;
    for (int radio : {1, 2})
        if (station(radio).state().onAir)
            return radio;
    if (const int busy = busyRadio())
        return busy;
    return m_focus;
}

bool RadioPair::setFocus(int radio)
{
    if (radio < 1 || radio > radios())
        return false;
    if (radio != m_focus) {
        m_focus = radio;
        qCInfo(lcStation) << "the focus is on radio" << radio;
        emit focusChanged(radio);
        emit changed(state());
    }
    return true;
}

void RadioPair::swapFocus()
{
    setFocus(radios() == 2 ? 3 - m_focus : 1);
}

void RadioPair::setRadio(int radio)
{
    if (radio == m_radio)
        return;
    m_radio = radio;
    emit radioChanged(radio);
}

Answer RadioPair::handleOn(int radio, const Event &event)
{
    if (radio < 1 || radio > radios())
        return Answer::refused(Answer::Reason::NoSuchMemory);
    if (radio == 2 && m_sync)
        m_sync();
    const bool starts = std::holds_alternative<StationEvents::MemoryClick>(event)
                        || std::holds_alternative<StationEvents::MessageStart>(event);
    const bool wasBusy = station(radio).state().playing();
    const Answer answer = station(radio).handle(event);
    if (starts && !wasBusy && station(radio).state().playing())
        setRadio(radio);
    return answer;
}

Answer RadioPair::both(const Event &event)
{
    const Answer first = handleOn(1, event);
    if (radios() == 2)
        handleOn(2, event);
    return first;
}

Answer RadioPair::handle(const Event &event)
{
    namespace E = StationEvents;
    if (radios() < 2)
        return handleOn(1, event);
    const int busy = busyRadio();
    if (std::holds_alternative<E::MemoryClick>(event)
        || std::holds_alternative<E::MessageStart>(event))
        return handleOn(busy ? busy : m_focus, event);
    if (std::holds_alternative<E::MessageStop>(event)) {
        const Answer first = handleOn(1, event);
        const Answer second = handleOn(2, event);
        return first.outcome == Answer::Outcome::Ignored ? second : first;
    }
    if (std::holds_alternative<E::LockClick>(event)) {
        for (int radio : {1, 2})
            if (station(radio).state().lock)
                return handleOn(radio, event);
        return handleOn(m_focus, event);
    }
    if (std::holds_alternative<E::StandbyClick>(event)
        || std::holds_alternative<E::RepeatBox>(event)
        || std::holds_alternative<E::DelayMoved>(event)
        || std::holds_alternative<E::StoreDelay>(event)
        || std::holds_alternative<E::Recording>(event)
        || std::holds_alternative<E::Shutdown>(event))
        return both(event);
    if (std::holds_alternative<E::Refuse>(event))
        return handleOn(shownRadio(), event);
    // The transport bar, the COM dialog's lines and start-up are the first radio's.
    return handleOn(1, event);
}

// A radio's change is said as the pair's; one whose transmitter is released now (its keyer no
// longer may be keying) lets the other one key, if that waits for it.
void RadioPair::stationChanged(int radio)
{
    if (radios() < 2) {
        emit changed(station(1).state());
        return;
    }
    const bool now = keyed(radio);
    const bool was = m_wasKeyed[radio - 1];
    m_wasKeyed[radio - 1] = now;
    if (now && !was)
        setRadio(radio);
    emit changed(state());
    if (was && !now)
        handleOn(3 - radio, StationEvents::GateOpened{});
}

void RadioPair::setAlternate(bool on)
{
    m_alternate = on;
    for (int radio = 1; radio <= radios(); ++radio) {
        if (!on || radios() < 2) {
            station(radio).setRepeatHandOff({});
            continue;
        }
        const int other = 3 - radio;
        station(radio).setRepeatHandOff([self = QPointer<RadioPair>(this), other](int memory) {
            if (!self || self->station(other).state().playing())
                return false;
            return self->handleOn(other, StationEvents::MemoryClick{memory}).done()
                   && self->station(other).state().playing();
        });
    }
}
