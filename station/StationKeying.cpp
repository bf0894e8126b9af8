// SPDX-License-Identifier: GPL-3.0-or-later
// The station's keying of the transmitter: on air and receive, Lock and standby, the keyer and
// its confirmations, the lead, the tail and the time-out.
#include "station/AppState.h"
#include "station/Clock.h"
#include "station/LineUse.h"
#include "station/Log.h"
#include "station/PttKeyer.h"
#include "station/SourceMute.h"
#include "station/Station.h"

using namespace StationEvents;

namespace {
// The time-out's warning: its last 15 seconds, for time-outs of 30 seconds or more.
constexpr int WarningSeconds = 15;
constexpr int WarnedTimeoutSeconds = 30;
// How long the end of the program waits for a keyer whose hardware does not answer.
constexpr int ShutdownWaitMs = 2000;
// What a confirmation may take beyond the keyer's own time-out before the keying counts as
// failed: the keyer's answer still has to reach the UI thread.
constexpr int ConfirmationMarginMs = 500;
} // namespace

// ---- On air and receive ------------------------------------------------------------------------

// Go on air: the on-air picture (said with the state), then the keyer keys. A keyer that cannot
// reach the transmitter now shows the refusal face.
void Station::sendStat()
{
    if (m_shutDown)
        return;
    // Keyed on purpose now: a tail that ran ends here.
    m_tailTimer->stop();
    if (m_state.stage == Stage::Tail)
        m_state.stage = Stage::Idle;
    const bool wasOnAir = m_state.onAir;
    m_state.onAir = true;
    m_requests.push_back(true);
    if (m_keyer && m_keyer->link() != PttKeyer::Link::Ready)
        refuse(Answer::Reason::CannotKey);
    if (!wasOnAir)
        startTimeout();
}

// Go to receive: the receive picture, then the keyer releases.
void Station::recStat()
{
    if (m_shutDown)
        return;
    m_tailTimer->stop();
    if (m_state.stage == Stage::Tail)
        m_state.stage = Stage::Idle;
    const bool wasOnAir = m_state.onAir;
    m_state.onAir = false;
    m_requests.push_back(false);
    if (wasOnAir)
        stopTimeout();
}

// The requests of the last transition go to the keyer, in order. A keyer whose requests act at
// once (the serial lines, none) has done each one when the call returns; a rig confirms later.
void Station::sendRequests()
{
    const std::vector<bool> requests = std::exchange(m_requests, {});
    for (bool onAir : requests) {
        if (!m_keyer || m_shutDown)
            continue;
        m_keyer->setOnAir(onAir);
        if (m_keyer->answerTimeoutMs() == 0)
            post(Confirmed{onAir});
    }
}

bool Station::messageOnAir() const
{
    return m_state.stage == Stage::Playing || m_state.stage == Stage::Lead;
}

// On the air as the keyer confirmed it; a keyer that cannot confirm anything now (not connected,
// or none at all) holds nothing up.
bool Station::keyedAndConfirmed() const
{
    if (!m_state.onAir)
        return false;
    const bool canConfirm = m_keyer && m_keyer->link() == PttKeyer::Link::Ready;
    return m_confirmedOnAir || !canConfirm;
}

// ---- The microphone ----------------------------------------------------------------------------

void Station::setSourceMute(SourceMute *mute)
{
    disconnect(m_muteConnection);
    m_mute = mute;
    m_muteTold = false;
    if (mute)
        m_muteConnection
            = connect(mute, &SourceMute::settled, this, [this] { apply(MuteSettled{}); });
}

// The transmitter is keyed for a message in its lead (also just before its keying, while the
// microphone is muted ahead of it), while it plays and in its tail; in the wait before a repeat
// the tail is all that keeps it keyed, unless Lock does.
bool Station::keyedForMessage() const
{
    const Stage stage = m_state.stage;
    const bool message = stage == Stage::Lead || stage == Stage::Playing || stage == Stage::Tail
                         || (stage == Stage::RepeatWait && !m_state.lock);
    return (m_state.onAir || m_muting) && message && !m_shutDown;
}

void Station::tellMute()
{
    const bool keyed = keyedForMessage();
    if (!m_mute || keyed == m_muteTold)
        return;
    m_muteTold = keyed;
    m_mute->setMessageKeyed(keyed);
}

// The microphone is muted before the transmitter is keyed for the message: the keying waits for
// the sound server's word, at most MuteWaitMs.
void Station::muteThenKey()
{
    if (!m_mute) {
        key();
        return;
    }
    m_muting = true;
    m_await = Await::Mute;
    m_muteTimer->start(MuteWaitMs);
    post(MuteSettled{}); // looked at once the mute has been told
}

void Station::on(const StationEvents::MuteSettled &)
{
    if (m_await == Await::Mute && m_state.stage == Stage::Lead && (!m_mute || m_mute->isSettled()))
        on(MuteTick{});
}

void Station::on(const StationEvents::MuteTick &)
{
    m_muteTimer->stop();
    if (m_await != Await::Mute || m_state.stage != Stage::Lead)
        return;
    m_await = Await::Nothing;
    key();
    m_muting = false; // the keying carries it from here
}

// The message keys the transmitter; its audio waits until the keying is done. A transmitter that
// another program keyed is never keyed over: the message stops.
void Station::key()
{
    if (const std::optional<Holdback> hold = heldBack()) {
        if (hold->wait) {
            qCDebug(lcStation) << "the keying waits for" << hold->who;
            m_await = Await::Gate;
            return;
        }
        qCInfo(lcStation).noquote() << QStringLiteral("not keyed: %1").arg(hold->who);
        refuse(hold->reason);
        stopMessage();
        return;
    }
    m_leadNeeded = !m_state.onAir;
    sendStat();
    m_await = Await::Keying;
    if (!m_keyer || m_keyer->link() != PttKeyer::Link::Ready) {
        // Nothing will confirm: the message plays as it always did (the refusal face said it).
        post(KeyingDone{});
        return;
    }
    if (m_keyer->answerTimeoutMs() > 0)
        m_confirmTimer->start(m_keyer->answerTimeoutMs() + ConfirmationMarginMs);
}

void Station::on(const StationEvents::KeyingDone &)
{
    keyingDone();
}

void Station::on(const StationEvents::Confirmed &event)
{
    m_confirmedOnAir = event.onAir;
    if (event.onAir && m_state.onAir)
        keyingDone();
}

// The transmitter is keyed for the message that waits: its audio starts, after the lead when
// its keying took the transmitter from released to keyed.
void Station::keyingDone()
{
    if (m_state.stage != Stage::Lead || m_await != Await::Keying)
        return;
    m_confirmTimer->stop();
    if (m_settings.Ptt.LeadMs > 0 && m_leadNeeded) {
        m_await = Await::LeadTime;
        m_leadTimer->start(m_settings.Ptt.LeadMs);
        return;
    }
    startAudio();
}

void Station::on(const StationEvents::LeadTick &)
{
    if (m_state.stage == Stage::Lead && m_await == Await::LeadTime)
        startAudio();
}

void Station::on(const StationEvents::ConfirmTimeout &)
{
    if (m_state.stage != Stage::Lead || m_await != Await::Keying)
        return;
    qCWarning(lcStation).noquote() << QStringLiteral(
        "the transmitter's keying was not confirmed in time: the message is stopped");
    stopMessage();
    refuse();
}

// ---- The end of a message ----------------------------------------------------------------------

// Released unless Lock: a message heard to its last sample keeps the transmitter for the tail,
// in the wait before its repeat at most half the delay; every other release comes at once.
void Station::release(SoundPlayer::Outcome outcome)
{
    if (m_state.lock)
        return;
    if (outcome == SoundPlayer::Outcome::Ended && m_settings.Ptt.TailMs > 0 && m_state.onAir
        && !m_shutDown) {
        int tail = m_settings.Ptt.TailMs;
        if (m_state.stage == Stage::RepeatWait && m_state.delay > 0)
            tail = std::min(tail, m_state.delay / 2);
        startTail(tail);
        return;
    }
    recStat();
}

void Station::startTail(int milliseconds)
{
    if (milliseconds <= 0) {
        recStat();
        return;
    }
    m_tailTimer->start(milliseconds);
    if (m_state.stage == Stage::Idle)
        m_state.stage = Stage::Tail;
}

void Station::on(const StationEvents::TailTick &)
{
    recStat();
}

// ---- Lock and standby --------------------------------------------------------------------------

void Station::on(const StationEvents::LockClick &)
{
    if (m_state.lock) {
        m_state.lock = false;
        recStat();
        // A message that waits plays on without the transmitter: its audio need not wait.
        if (m_state.stage == Stage::Lead) {
            m_keyMessage = false;
            if (m_await == Await::Mute || m_await == Await::Keying || m_await == Await::LeadTime)
                startAudio();
        }
        return;
    }
    // Never on a transmitter that another program keyed, nor while something holds it back.
    if (const std::optional<Holdback> hold = heldBack();
        hold && hold->lockToo && !m_state.standby) {
        qCInfo(lcStation).noquote() << QStringLiteral("Lock not engaged: %1").arg(hold->who);
        refuse(hold->reason);
        return;
    }
    m_state.lock = true;
    if (!m_state.standby)
        sendStat();
}

void Station::on(const StationEvents::StandbyClick &)
{
    if (m_state.standby) {
        m_state.standby = false;
        // Keys again under Lock, or while a message is on the air (not in the wait before its
        // repeat: the transmitter would carry silence).
        if (!messageOnAir() && !m_state.lock)
            return;
        // Held back now (the other radio, another station): it stays released, Lock too.
        if (const std::optional<Holdback> hold = heldBack()) {
            qCInfo(lcStation).noquote() << QStringLiteral("not keyed again: %1").arg(hold->who);
            m_state.lock = false;
            m_keyMessage = false;
            refuse(hold->reason);
            return;
        }
        sendStat();
        return;
    }
    m_state.standby = true;
    recStat();
    // Under standby a message plays without the transmitter: its audio need not wait.
    if (m_state.stage == Stage::Lead
        && (m_await == Await::Mute || m_await == Await::Keying || m_await == Await::LeadTime
            || m_await == Await::Gate))
        startAudio();
}

// ---- The time-out ------------------------------------------------------------------------------

// The transmitter went from released to keyed: the count begins.
void Station::startTimeout()
{
    m_timeoutSeconds = m_settings.Ptt.TimeoutS;
    m_state.timeoutWarning = false;
    if (m_timeoutSeconds <= 0)
        return;
    const bool warned = m_timeoutSeconds >= WarnedTimeoutSeconds;
    m_timeoutTimer->start((m_timeoutSeconds - (warned ? WarningSeconds : 0)) * 1000);
}

// The transmitter was released: the count is over, and so is the warning.
void Station::stopTimeout()
{
    m_timeoutTimer->stop();
    m_state.timeoutWarning = false;
}

void Station::on(const StationEvents::TimeoutTick &)
{
    m_timeoutTimer->stop();
    if (!m_state.timeoutWarning && m_timeoutSeconds >= WarnedTimeoutSeconds) {
        m_state.timeoutWarning = true;
        m_timeoutTimer->start(WarningSeconds * 1000);
        return;
    }
    // Time is up: everything ends as the operator would end it.
    if (m_state.playing())
        stopMessage();
    m_state.lock = false;
    if (m_state.onAir)
        recStat();
    stopTimeout();
    refuse();
    qCWarning(lcStation).noquote()
        << QStringLiteral("the transmitter was keyed for %1 s without a break: released (time-out)")
               .arg(m_timeoutSeconds);
}

// ---- The keyer ---------------------------------------------------------------------------------

void Station::on(const StationEvents::KeyerSwap &event)
{
    if (event.keyer == m_keyer)
        return;
    // The keyer put aside lets go now; the new one takes the present state.
    if (m_keyer && m_state.onAir)
        m_keyer->setOnAir(false);
    followKeyer(event.keyer);
    m_confirmedOnAir = false;
    if (!m_keyer || m_shutDown)
        return;
    if (m_state.onAir)
        m_requests.push_back(true);
    // A message that waits for its keying waits for the new keyer's.
    if (m_await == Await::Keying) {
        m_confirmTimer->stop();
        if (m_keyer->link() != PttKeyer::Link::Ready)
            post(KeyingDone{});
        else if (m_keyer->answerTimeoutMs() > 0)
            m_confirmTimer->start(m_keyer->answerTimeoutMs() + ConfirmationMarginMs);
    }
}

void Station::followKeyer(PttKeyer *keyer)
{
    for (const QMetaObject::Connection &connection : m_keyerConnections)
        disconnect(connection);
    m_keyerConnections.clear();
    m_keyer = keyer;
    if (!keyer)
        return;
    // A keyer whose requests act at once is confirmed as the request is made; a rig's word is
    // awaited.
    m_keyerConnections.push_back(connect(keyer, &PttKeyer::confirmed, this, [this](bool onAir) {
        if (m_keyer && m_keyer->answerTimeoutMs() > 0)
            apply(Confirmed{onAir});
    }));
    m_keyerConnections.push_back(
        connect(keyer, &PttKeyer::statusChanged, this, [this] { apply(KeyerNews{}); }));
    m_keyerConnections.push_back(connect(keyer, &PttKeyer::releasedElsewhere, this, [this] {
        apply(ReleasedElsewhere{QStringLiteral("the rig reads released")});
    }));
}

// The keyer's link changed (what it says of it is read after every event). A message whose
// audio waits for a keying that can no longer be confirmed plays as it does when the keyer cannot
// key at its start; one that waits for its lead while nothing had confirmed its keying waits for
// the keyer that now answers to confirm it, and counts its lead from there. A message that plays
// on a transmitter it keyed stops when the keyer loses it: it would go on without the
// transmitter, or on one keyed by someone else.
void Station::on(const StationEvents::KeyerNews &)
{
    if (!m_keyer)
        return;
    const bool ready = m_keyer->link() == PttKeyer::Link::Ready;
    // What the keyer had confirmed is no longer known once its link is lost.
    const bool lost = m_state.keyer == PttKeyer::Link::Ready && !ready;
    const bool wasConfirmed = std::exchange(m_confirmedOnAir, m_confirmedOnAir && ready);
    if (lost && m_state.stage == Stage::Playing && m_keyMessage && m_state.onAir && wasConfirmed
        && m_keyer->answerTimeoutMs() > 0) {
        qCWarning(lcStation).noquote() << QStringLiteral(
            "the keyer lost the transmitter while a message played: the message is stopped");
        stopMessage();
        refuse();
        return;
    }
    if (m_state.stage != Stage::Lead)
        return;
    if (m_await == Await::Keying && !ready) {
        refuse();
        m_confirmTimer->stop();
        if (inhibited()) {
            stopMessage(); // never on a transmitter keyed by another program
            return;
        }
        keyingDone();
    } else if (m_await == Await::LeadTime && ready && m_state.onAir && !m_confirmedOnAir
               && m_keyer->answerTimeoutMs() > 0) {
        m_leadTimer->stop();
        m_await = Await::Keying;
        m_confirmTimer->start(m_keyer->answerTimeoutMs() + ConfirmationMarginMs);
    }
}

// The transmitter was released by something else while the station had it keyed: the message
// stops, Lock is released, and the refusal face says it.
void Station::on(const StationEvents::ReleasedElsewhere &event)
{
    m_confirmedOnAir = false;
    if (!m_state.onAir)
        return;
    const bool message = m_state.playing() && m_state.stage != Stage::RepeatWait;
    qCWarning(lcStation).noquote()
        << QStringLiteral("the transmitter was released elsewhere (%1): %2")
               .arg(event.by, message ? QStringLiteral("the message is stopped")
                                      : QStringLiteral("it is not keyed again"));
    if (m_state.playing())
        stopMessage();
    m_state.lock = false;
    if (m_state.onAir)
        recStat();
    refuse();
}

bool Station::inhibited() const
{
    return m_keyer && m_keyer->link() == PttKeyer::Link::KeyedElsewhere;
}

std::optional<Holdback> Station::heldBack() const
{
    if (inhibited())
        return Holdback{Answer::Reason::KeyedElsewhere, false, QStringLiteral("keyed elsewhere")};
    return gateHolds();
}

std::optional<Holdback> Station::gateHolds() const
{
    for (const KeyingGate &gate : m_gates)
        if (std::optional<Holdback> hold = gate())
            return hold;
    return std::nullopt;
}

// Whatever held the keying back is gone: a message that waited for it keys now.
void Station::on(const StationEvents::GateOpened &)
{
    if (m_state.stage != Stage::Lead || m_await != Await::Gate)
        return;
    m_await = Await::Nothing;
    key();
}

// What the keyer says of the transmitter: its link, and whether it is keyed as far as it knows.
void Station::readKeyer()
{
    const bool mayBeKeyed = m_keyer && m_keyer->mayBeKeyed();
    m_state.keyer = m_keyer ? m_keyer->link() : PttKeyer::Link::Ready;
    m_state.transmitting = m_confirmedOnAir || mayBeKeyed;
}

void Station::on(const StationEvents::LinesChanged &event)
{
    if (m_lineUse)
        m_lineUse->useChanged(event.takenIntoUse);
}

void Station::on(const StationEvents::Shutdown &)
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_state.onAir = false;
    m_state.timeoutWarning = false;
    m_requests.clear();
    m_confirmedOnAir = false;
    m_await = Await::Nothing;
    armRepeat(0);
    for (Timer *timer : {m_leadTimer.get(), m_tailTimer.get(), m_timeoutTimer.get(),
                         m_confirmTimer.get(), m_statusTimer.get()})
        timer->stop();
    if (m_keyer)
        m_keyer->shutdown(ShutdownWaitMs);
}
