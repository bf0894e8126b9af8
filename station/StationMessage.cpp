// SPDX-License-Identifier: GPL-3.0-or-later
// The life cycle of a message: its start, its audio, its end, its repeat.
#include "station/AppState.h"
#include "station/Clock.h"
#include "station/Log.h"
#include "station/Station.h"

#include <cmath>

using namespace StationEvents;

namespace {
// The delay slider's range, in milliseconds.
constexpr int SliderMax = 10000;
// The status reports: every 50 ms while a message plays, each counting 55 ms.
constexpr int StatusInterval = 50;
constexpr double StatusStep = 55;
// At most a second of status reports is let pass unseen at a time.
constexpr int MostUnseenReports = 20;

// A stored delay on the slider: rounded to the nearest (halves to even), and a delay outside the
// slider's range (a hand-edited settings file) at its nearer end.
int sliderDelay(double stored)
{
    if (std::isnan(stored))
        return 0;
    return int(std::clamp(std::nearbyint(stored), 0.0, double(SliderMax)));
}
} // namespace

// ---- A message ---------------------------------------------------------------------------------

// Start-up, before the settings are read: the default message opened, the transmitter to
// receive.
void Station::on(const StationEvents::StartUp &event)
{
    if (!event.defaultFile.isEmpty())
        m_player.open(event.defaultFile);
    recStat();
}

void Station::on(const StationEvents::MemoryClick &event)
{
    if (event.index < 0 || event.index >= MemoryCount) {
        refuse(Answer::Reason::NoSuchMemory);
        return;
    }
    if (m_state.playing()) {
        if (m_state.memory != event.index)
            refuse(Answer::Reason::Busy); // another memory is busy
        else
            stopMessage();
        return;
    }
    // No message starts while the recorder records.
    if (m_state.recording) {
        refuse(Answer::Reason::Recording);
        return;
    }
    startMemory(event.index);
}

void Station::on(const StationEvents::MessageStart &event)
{
    // Busy with another message (a memory's or not), or recording: refused as a click on another
    // memory is.
    if (m_state.playing() || m_state.recording || event.kind == MessageKind::Memory) {
        refuse(m_state.recording && !m_state.playing() ? Answer::Reason::Recording
                                                       : Answer::Reason::Busy);
        return;
    }
    startMessage(Message{event.path, -1, event.kind});
}

void Station::on(const StationEvents::MessageStop &)
{
    if (!m_state.playing()) {
        m_answer = Answer::ignored();
        return;
    }
    if (m_message.kind == MessageKind::Memory && m_state.memory >= 0)
        on(MemoryClick{m_state.memory}); // exactly as the click on it
    else
        stopMessage();
}

void Station::startMemory(int index)
{
    startMessage(Message{m_settings.Memories.MemFile.at(index), index, MessageKind::Memory});
}

// A message starts: its file is opened, and a memory's brings its repeat and its delay.
void Station::startMessage(const Message &message)
{
    // Held back beyond the radio, and not to wait: refused, nothing changes.
    if (const std::optional<Holdback> hold = m_state.standby ? std::nullopt : gateHolds();
        hold && !hold->wait) {
        qCInfo(lcStation).noquote() << QStringLiteral("not started: %1").arg(hold->who);
        refuse(hold->reason);
        return;
    }
    // Whatever file the player had open is closed first; a notification still pending for it is
    // dropped with it.
    m_player.close();
    m_state.transportPlays = false;
    const SoundPlayer::OpenResult opened = m_player.open(message.path);
    if (opened == SoundPlayer::OpenResult::OutputAbsent) {
        // Nothing could play: the start is refused and changes nothing else.
        refuse(Answer::Reason::OutputAbsent);
        return;
    }
    m_message = message;
    const bool fromMemory = message.memory >= 0 && message.memory < MemoryCount;
    m_state.repeat = fromMemory && m_settings.Memories.MemRepeat.at(message.memory);
    m_state.startedWithRepeat = m_state.repeat;
    if (fromMemory)
        m_state.delay = sliderDelay(m_settings.Memories.MemDelay.at(message.memory));
    // Another message shows on no memory button, and stores no delay.
    m_state.memory = fromMemory ? message.memory : -1;
    m_state.kind = fromMemory ? MessageKind::Memory : message.kind;
    m_state.ending = Ending::None;
    // A repeat timer that a late end of a message armed must not restart this one halfway.
    armRepeat(0);
    m_state.playTime = 0;
    m_state.length = m_player.length();
    m_state.stage = Stage::Lead;
    // A file that cannot be opened ends at once, as a failed message: never keyed.
    if (opened != SoundPlayer::OpenResult::Opened) {
        endMessage(SoundPlayer::Outcome::Failed);
        return;
    }
    beginAudio(false);
    // It plays, but the keyer cannot key the transmitter now: the answer says so (the refusal
    // face shows when it keys); one keyed by another program stops it.
    if (m_answer.done() && !m_state.standby && m_keyer && m_keyer->link() != PttKeyer::Link::Ready)
        m_answer = Answer::refused(inhibited() ? Answer::Reason::KeyedElsewhere
                                               : Answer::Reason::CannotKey);
}

// The repeat timer armed for `milliseconds` (0: stopped), and when it falls due.
void Station::armRepeat(int milliseconds)
{
    if (milliseconds <= 0) {
        m_repeatTimer->stop();
        m_state.repeatDueAt = 0;
        return;
    }
    m_repeatTimer->start(milliseconds);
    m_state.repeatDueAt = m_clock.now() + milliseconds;
}

// The audio of a message (restart: the open file again from its start) starts at once where the
// transmitter is not to be keyed or is keyed already; else the output is made ready first, then
// the transmitter keyed, and the audio waits for the keying.
void Station::beginAudio(bool restart)
{
    m_state.stage = Stage::Lead;
    m_restart = restart;
    m_keyMessage = !m_state.standby;
    m_leadNeeded = false;
    if (!m_keyMessage || keyedAndConfirmed()) {
        startAudio();
        // Plays, then keys: a play that could not start keys nothing (and a tail that runs then
        // releases as it would have).
        if (m_keyMessage && m_player.mode() == SoundPlayer::Mode::Playing)
            sendStat();
        return;
    }
    m_await = Await::Output;
    m_player.prepare();
}

void Station::on(const StationEvents::Prepared &event)
{
    if (m_state.stage != Stage::Lead || m_await != Await::Output)
        return; // the message was stopped or ended meanwhile
    m_await = Await::Nothing;
    if (!event.ok) {
        endMessage(SoundPlayer::Outcome::Failed); // its output cannot play: never keyed
        return;
    }
    // Under standby, or released by Lock meanwhile, the message plays without the transmitter.
    if (m_state.standby || (!m_state.onAir && !m_keyMessage)) {
        startAudio();
        return;
    }
    if (keyedAndConfirmed()) {
        startAudio();
        if (m_player.mode() == SoundPlayer::Mode::Playing)
            sendStat();
        return;
    }
    muteThenKey();
}

void Station::startAudio()
{
    m_await = Await::Nothing;
    m_leadTimer->stop();
    m_confirmTimer->stop();
    m_muteTimer->stop();
    m_muting = false;
    m_state.stage = Stage::Playing;
    countStatus(true);
    if (m_restart)
        m_player.rewind(); // played again, not reopened
    m_player.play();
}

// The operator's stop (also the time-out's and a failed keying's): at once, whatever waits.
void Station::stopMessage()
{
    if (m_state.playing())
        m_state.ending = Ending::Stopped;
    m_state.stage = Stage::Idle;
    m_state.paused = false;
    armRepeat(0);
    m_leadTimer->stop();
    m_confirmTimer->stop();
    m_muteTimer->stop();
    m_muting = false;
    m_await = Await::Nothing;
    countStatus(false);
    m_player.stop();
    m_player.rewind();
    m_state.playTime = 0;
    if (!m_state.lock)
        recStat();
}

void Station::on(const StationEvents::SoundEnded &event)
{
    m_state.transportPlays = false;
    endMessage(event.outcome);
}

// The end of a play, whatever played it and however it ended: into the wait before the repeat,
// or back to idle; the transmitter released as the rules say.
void Station::endMessage(SoundPlayer::Outcome outcome)
{
    countStatus(false);
    if (m_player.mode() != SoundPlayer::Mode::Playing)
        m_player.rewind();
    m_leadTimer->stop();
    m_confirmTimer->stop();
    m_muteTimer->stop();
    m_muting = false;
    m_await = Await::Nothing;
    const bool busy = m_state.playing();
    // A file that failed to play does not repeat: a repeat would only key the transmitter again
    // and again with nothing to say.
    if (m_state.repeat && outcome != SoundPlayer::Outcome::Failed) {
        if (busy) {
            m_state.stage = Stage::RepeatWait;
            // A delay of 0 never ticks: the message waits for the operator's click.
            if (m_state.delay > 0)
                armRepeat(m_state.delay);
        }
        m_player.stepBack();
    } else {
        armRepeat(0);
        if (busy)
            m_state.stage = Stage::Idle;
        if ((m_state.kind == MessageKind::Memory && m_state.memory == -1)
            || outcome == SoundPlayer::Outcome::Failed)
            refuse(Answer::Reason::Unplayable);
    }
    if (busy)
        m_state.ending = outcome == SoundPlayer::Outcome::Ended     ? Ending::Ended
                         : outcome == SoundPlayer::Outcome::Stopped ? Ending::Stopped
                                                                    : Ending::Failed;
    m_state.paused = m_state.stage == Stage::RepeatWait;
    m_state.playTime = 0;
    release(outcome);
}

void Station::on(const StationEvents::RepeatTick &)
{
    // One tick per arming; a tick after the cycle was stopped does nothing.
    armRepeat(0);
    if (m_state.stage != Stage::RepeatWait)
        return;
    // Held back (the transmitter is another's, or something beyond the radio holds it): it
    // waits out another delay.
    if (const std::optional<Holdback> hold = heldBack(); hold && !hold->wait && !m_state.standby) {
        armRepeat(std::max(m_state.delay, 1000));
        return;
    }
    // Its turn on the other radio: this one's cycle ends.
    if (m_handOff && m_state.kind == MessageKind::Memory && m_state.memory >= 0
        && m_handOff(m_state.memory)) {
        qCDebug(lcStation) << "the repeat of memory" << m_state.memory + 1
                           << "goes to the other radio";
        stopMessage();
        return;
    }
    m_state.playTime = 0;
    beginAudio(true);
}

void Station::on(const StationEvents::StatusTick &)
{
    // The elapsed time is counted, not read from the player: the reports let pass count too.
    m_state.playTime += StatusStep * m_statusReports;
    m_statusReports = 1;
    if (!m_sameOnScreen)
        return;
    StationState next = m_state;
    for (; m_statusReports < MostUnseenReports; ++m_statusReports) {
        next.playTime = m_state.playTime + StatusStep * m_statusReports;
        if (!m_sameOnScreen(m_state, next))
            break;
    }
    m_statusTimer->skip(m_statusReports - 1);
}

void Station::countStatus(bool on)
{
    m_statusReports = 1;
    if (on)
        m_statusTimer->start(StatusInterval);
    else
        m_statusTimer->stop();
}
