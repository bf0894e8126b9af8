// SPDX-License-Identifier: GPL-3.0-or-later
// The station's entry points and its transition function; the smaller events (the transport
// bar, the repeat boxes, the delay, refusals, the recorder). A message's life cycle is in
// StationMessage.cpp, the keying of the transmitter in StationKeying.cpp.
#include "station/Station.h"

#include "station/AppState.h"
#include "station/Clock.h"
#include "station/PttKeyer.h"

using namespace StationEvents;

namespace {
constexpr int MemoryCount = 6;
// The delay slider's range, in milliseconds.
constexpr int SliderMax = 10000;
} // namespace

Station::Station(AppState &settings, SoundPlayer &player, Clock &clock, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_player(player)
    , m_said(m_state)
    , m_repeatTimer(clock.timer([this] { Timer1_Timer(); }))
    , m_leadTimer(clock.timer([this] { apply(LeadTick{}); }))
    , m_tailTimer(clock.timer([this] { apply(TailTick{}); }))
    , m_timeoutTimer(clock.timer([this] { apply(TimeoutTick{}); }))
    , m_confirmTimer(clock.timer([this] { apply(ConfirmTimeout{}); }))
    , m_muteTimer(clock.timer([this] { apply(MuteTick{}); }))
    , m_statusTimer(clock.timer([this] { apply(StatusTick{}); }, true))
{
    qRegisterMetaType<StationState>();
    connect(&m_player, &SoundPlayer::finished, this, &Station::MMControl1_Done);
    connect(&m_player, &SoundPlayer::prepared, this, [this](bool ok) { apply(Prepared{ok}); });
}

Station::~Station()
{
    followKeyer(nullptr);
}

// ---- The entry points: each one event ----------------------------------------------------------

void Station::Form_Load()
{
    apply(StartUp{});
}

void Station::Command3d1_Click(int Index)
{
    apply(MemoryClick{Index});
}

void Station::Command3d2_Click()
{
    apply(LockClick{});
}

void Station::Command3d3_Click()
{
    apply(StandbyClick{});
}

void Station::Check3d1_Click(int Index, bool ticked)
{
    apply(RepeatBox{Index, ticked});
}

void Station::HScroll1_Change(int value)
{
    apply(DelayMoved{value});
}

void Station::Panel3d1_Click()
{
    apply(Refuse{});
}

void Station::Panel3d2_Click()
{
    apply(StoreDelay{});
}

void Station::Timer1_Timer()
{
    apply(RepeatTick{});
}

void Station::MMControl1_Done(SoundPlayer::Outcome outcome)
{
    apply(SoundEnded{outcome});
}

void Station::MMControl1_PlayClick(bool &Cancel)
{
    apply(TransportPlay{&Cancel});
}

void Station::MMControl1_PrevClick(bool &)
{
    apply(TransportPrev{});
}

void Station::MMControl1_StopClick(bool &)
{
    apply(TransportStop{});
}

void Station::ShowErr()
{
    apply(Refuse{});
}

void Station::playMessage(const Message &message)
{
    apply(MessageStart{message.path, message.kind});
}

void Station::stopMessageClick()
{
    apply(MessageStop{});
}

int Station::repeatArmedMs() const
{
    return m_repeatTimer->isActive() ? m_repeatTimer->interval() : 0;
}

void Station::setRecording(bool recording)
{
    apply(Recording{recording});
}

void Station::setKeyer(PttKeyer *keyer)
{
    apply(KeyerSwap{keyer});
}

void Station::linesChanged(int takenIntoUse)
{
    apply(LinesChanged{takenIntoUse});
}

void Station::releasedElsewhere(const QString &by)
{
    apply(ReleasedElsewhere{by});
}

void Station::shutdown()
{
    apply(Shutdown{});
}

// ---- The transition function -------------------------------------------------------------------

void Station::apply(const Event &event)
{
    post(event);
    // An event that comes while one is applied (a seam that answers at once, a listener that
    // acts on changed()) waits for its turn.
    if (m_applying)
        return;
    m_applying = true;
    while (!m_queue.empty()) {
        const Event next = m_queue.front();
        m_queue.pop_front();
        transition(next);
        settle();
    }
    m_applying = false;
}

void Station::transition(const Event &event)
{
    std::visit([this](const auto &e) { on(e); }, event);
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

// ---- The transport bar's own buttons -----------------------------------------------------------

void Station::on(const StationEvents::TransportPlay &event)
{
    // Nothing plays into the transmitter's input while the recorder records, nor before the
    // transmitter is keyed for the message that waits for it.
    if (m_state.recording || m_await != Await::Nothing) {
        *event.cancel = true;
        refuse();
        return;
    }
    m_state.playTime = 0;
    countStatus(true);
}

void Station::on(const StationEvents::TransportPrev &)
{
    countStatus(false);
    m_player.rewind();
}

void Station::on(const StationEvents::TransportStop &)
{
    countStatus(false);
    m_player.stop();
    m_player.rewind();
}

// ---- Repeat boxes, the delay, refusals, the recorder -------------------------------------------

void Station::on(const StationEvents::RepeatBox &event)
{
    if (event.index < 0 || event.index >= MemoryCount)
        return;
    m_settings.MemRepeat.at(event.index) = event.ticked;
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
        refuse(); // no memory to store it for
        return;
    }
    m_settings.MemDelay.at(m_state.memory) = m_state.delay;
}

void Station::on(const StationEvents::Refuse &)
{
    refuse();
}

void Station::refuse()
{
    ++m_state.refusals;
}

void Station::on(const StationEvents::Recording &event)
{
    m_state.recording = event.on;
}
