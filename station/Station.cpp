// SPDX-License-Identifier: GPL-3.0-or-later
// The station's entry points and its transition function; the smaller events (the transport
// bar, the repeat boxes, the delay, refusals, the recorder). A message's life cycle is in
// StationMessage.cpp, the keying of the transmitter in StationKeying.cpp.
#include "station/Station.h"

#include "station/AppState.h"
#include "station/Clock.h"
#include "station/Log.h"
#include "station/PttKeyer.h"

using namespace StationEvents;

namespace {
// The delay slider's range, in milliseconds.
constexpr int SliderMax = 10000;
} // namespace

Station::Station(AppState &settings, SoundPlayer &player, Clock &clock, QObject *parent)
    : StationDoor(parent)
    , m_settings(settings)
    , m_player(player)
    , m_clock(clock)
    , m_said(m_state)
    , m_repeatTimer(clock.timer([this] { apply(RepeatTick{}); }))
    , m_leadTimer(clock.timer([this] { apply(LeadTick{}); }))
    , m_tailTimer(clock.timer([this] { apply(TailTick{}); }))
    , m_timeoutTimer(clock.timer([this] { apply(TimeoutTick{}); }))
    , m_confirmTimer(clock.timer([this] { apply(ConfirmTimeout{}); }))
    , m_muteTimer(clock.timer([this] { apply(MuteTick{}); }))
    , m_statusTimer(clock.timer([this] { apply(StatusTick{}); }, true))
{
    qRegisterMetaType<StationState>();
    connect(&m_player, &SoundPlayer::finished, this,
            [this](SoundPlayer::Outcome outcome) { apply(SoundEnded{outcome}); });
    connect(&m_player, &SoundPlayer::prepared, this, [this](bool ok) { apply(Prepared{ok}); });
}

Station::~Station()
{
    followKeyer(nullptr);
}

Answer Station::handle(const Event &event)
{
    return apply(event);
}

void Station::setKeyer(PttKeyer *keyer)
{
    apply(KeyerSwap{keyer});
}

// ---- The transition function -------------------------------------------------------------------

Answer Station::apply(const Event &event)
{
    post(event);
    // An event that comes while one is applied (a seam that answers at once, a listener that
    // acts on changed()) waits for its turn.
    if (m_applying)
        return {Answer::Outcome::Queued, Answer::Reason::None};
    m_applying = true;
    std::optional<Answer> first;
    while (!m_queue.empty()) {
        const Event next = m_queue.front();
        m_queue.pop_front();
        transition(next);
        if (!first)
            first = m_answer; // the answer to the event handed in
        settle();
    }
    m_applying = false;
    return first.value_or(Answer());
}

void Station::transition(const Event &event)
{
    m_answer = Answer();
    std::visit([this](const auto &e) { on(e); }, event);
    qCDebug(lcStation) << "event" << event.index() << "answered" << int(m_answer.outcome)
                       << int(m_answer.reason);
}

// The state is said first, then the keyer hears the requests: the station picture changes
// before the lines do, and a keyer's answer finds the state it answers.
void Station::settle()
{
    say();
    tellMute();
    sendRequests();
    say();
}

void Station::say()
{
    readKeyer();
    if (m_state == m_said)
        return;
    m_said = m_state;
    emit changed(m_state);
}

// ---- The transport bar's own buttons: the station drives the player for them too ------------

void Station::on(const StationEvents::Transport &event)
{
    using Button = StationEvents::TransportButton;
    switch (event.button) {
    case Button::Play:
        // Nothing plays into the transmitter's input while the recorder records, nor before the
        // transmitter is keyed for the message that waits for it.
        if (m_state.recording || m_await != Await::Nothing) {
            refuse(m_state.recording ? Answer::Reason::Recording : Answer::Reason::Busy);
            return;
        }
        m_state.playTime = 0;
        countStatus(true);
        m_player.play();
        m_state.transportPlays = m_player.mode() == SoundPlayer::Mode::Playing;
        return;
    case Button::Prev:
        countStatus(false);
        m_player.rewind();
        m_state.transportPlays = false;
        return;
    case Button::Stop:
        countStatus(false);
        m_player.stop();
        m_player.rewind();
        m_state.transportPlays = false;
        return;
    case Button::Pause:
        m_player.stop();
        m_state.transportPlays = false;
        return;
    case Button::Next:
        m_player.toEnd();
        return;
    }
}

// ---- Repeat boxes, the delay, refusals, the recorder -------------------------------------------

void Station::on(const StationEvents::RepeatBox &event)
{
    if (event.index < 0 || event.index >= MemoryCount) {
        m_answer = Answer::ignored();
        return;
    }
    m_settings.Memories.MemRepeat.at(event.index) = event.ticked;
    // Only the current memory's box counts now; the others are read when their memory starts.
    if (event.index == m_state.memory)
        m_state.repeat = event.ticked;
}

void Station::on(const StationEvents::DelayMoved &event)
{
    m_state.delay = std::clamp(event.value, 0, SliderMax);
}

void Station::on(const StationEvents::StoreDelay &)
{
    if (m_state.memory == -1) {
        refuse(Answer::Reason::NoSuchMemory); // no memory to store it for
        return;
    }
    m_settings.Memories.MemDelay.at(m_state.memory) = m_state.delay;
}

void Station::on(const StationEvents::Refuse &)
{
    refuse();
}

void Station::refuse(Answer::Reason why)
{
    ++m_state.refusals;
    m_answer = Answer::refused(why);
}

void Station::on(const StationEvents::Recording &event)
{
    m_state.recording = event.on;
}
