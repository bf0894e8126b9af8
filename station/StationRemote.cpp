// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/StationRemote.h"

#include "station/AppState.h"
#include "station/Clock.h"
#include "station/FileNames.h"
#include "station/Log.h"
#include "station/LogText.h"
#include "station/RadioPair.h"
#include "station/Station.h"

#include <QFile>

namespace {
constexpr int FirstMemory = 1;
constexpr int LastMemory = MemoryCount;
} // namespace

StationRemote::StationRemote(StationDoor &station, Clock &clock,
                             std::function<void(int)> openRecorder, QObject *parent)
    : QObject(parent)
    , m_station(station)
    , m_clock(clock)
    , m_openRecorder(std::move(openRecorder))
    , m_said(status())
{
    connect(&m_station, &StationDoor::changed, this, &StationRemote::stationChanged);
}

void StationRemote::clickMemory(int number)
{
    if (number >= FirstMemory && number <= LastMemory)
        m_station.handle(StationEvents::MemoryClick{number - 1});
}

void StationRemote::clickLock()
{
    m_station.handle(StationEvents::LockClick{});
}

void StationRemote::clickStandby()
{
    m_station.handle(StationEvents::StandbyClick{});
}

void StationRemote::showRefusal()
{
    m_station.handle(StationEvents::Refuse{});
}

void StationRemote::openRecorder(int number)
{
    if (number >= FirstMemory && number <= LastMemory && m_openRecorder)
        m_openRecorder(number);
}

StationRemote::Status StationRemote::status() const
{
    const StationState &state = m_station.state();
    Status status;
    // The wait before a message's audio counts as playing: the message was started.
    if (state.stage == Stage::RepeatWait)
        status.state = PlayState::RepeatWait;
    else if (state.playing())
        status.state = PlayState::Playing;
    status.memory = state.memory >= 0 && state.memory < LastMemory ? state.memory + 1 : 0;
    status.onAir = state.transmitting;
    status.lock = state.lock;
    status.standby = state.standby;
    status.keyer = state.keyer;
    status.kind = state.kind;
    status.ending = state.ending;
    status.repeatDueAt = state.stage == Stage::RepeatWait ? state.repeatDueAt : 0;
    if (m_radios) {
        status.focus = m_radios->focus();
        status.radio = m_radios->radio();
        status.radios = m_radios->radios();
    }
    return status;
}

bool StationRemote::play(int number, int radio)
{
    // The click decides, as it does for the mouse: a busy memory is stopped, another one is
    // refused with the refusal face, an idle station starts the memory.
    return on(radio, StationEvents::MemoryClick{number - 1}).done();
}

void StationRemote::setRadios(RadioPair *radios)
{
    m_radios = radios;
    if (radios) {
        connect(radios, &RadioPair::radioChanged, this, &StationRemote::stationChanged);
        connect(radios, &RadioPair::radiosChanged, this, &StationRemote::stationChanged);
        connect(radios, &RadioPair::focusChanged, this, &StationRemote::stationChanged);
    }
}

bool StationRemote::setFocus(int radio)
{
    return m_radios ? m_radios->setFocus(radio) : radio == 1;
}

// An event for one radio (0: as the pair routes it). A radio that is not there refuses it, and
// nothing is keyed.
Answer StationRemote::on(int radio, const StationEvents::Event &event)
{
    if (radio == 0)
        return m_station.handle(event);
    if (m_radios)
        return m_radios->handleOn(radio, event);
    return radio == 1 ? m_station.handle(event) : Answer::refused(Answer::Reason::NoSuchMemory);
}

bool StationRemote::playFile(const QString &path, MessageKind kind, int radio)
{
    if (status().state != PlayState::Idle || kind == MessageKind::Memory) {
        showRefusal(); // another message is busy
        return false;
    }
    // Only a regular file is opened: a named pipe or a device may make the opening wait forever.
    QFile probe;
    if (const Result opened = FileNames::openForReading(probe, path); !opened) {
        qCWarning(lcStation).noquote()
            << QStringLiteral("Cannot play %1: %2").arg(LogText::quoted(path), opened.error);
        showRefusal();
        return false;
    }
    probe.close();
    return on(radio, StationEvents::MessageStart{path, kind}).done();
}

bool StationRemote::stop()
{
    return m_station.handle(StationEvents::MessageStop{}).done();
}

int StationRemote::repeatDue() const
{
    const qint64 due = status().repeatDueAt;
    if (due <= 0)
        return 0;
    // Due at once, but not passed yet: still 1.
    return int(std::max<qint64>(1, due - m_clock.now()));
}

void StationRemote::setLock(bool on)
{
    if (status().lock != on)
        clickLock();
}

void StationRemote::setStandby(bool on)
{
    if (status().standby != on)
        clickStandby();
}

void StationRemote::stationChanged()
{
    const Status now = status();
    if (now == m_said)
        return;
    m_said = now;
    emit changed();
}

QString StationRemote::stateName(PlayState state)
{
    switch (state) {
    case PlayState::Playing:
        return QStringLiteral("playing");
    case PlayState::RepeatWait:
        return QStringLiteral("repeat-wait");
    case PlayState::Idle:
        break;
    }
    return QStringLiteral("idle");
}

QString StationRemote::endingName(Ending ending)
{
    switch (ending) {
    case Ending::Ended:
        return QStringLiteral("ended");
    case Ending::Stopped:
        return QStringLiteral("stopped");
    case Ending::Failed:
        return QStringLiteral("failed");
    case Ending::None:
        break;
    }
    return QStringLiteral("none");
}

QString StationRemote::linkName(PttKeyer::Link link)
{
    switch (link) {
    case PttKeyer::Link::NotConnected:
        return QStringLiteral("not-connected");
    case PttKeyer::Link::NoAnswer:
        return QStringLiteral("no-answer");
    case PttKeyer::Link::KeyedElsewhere:
        return QStringLiteral("keyed-elsewhere");
    case PttKeyer::Link::Ready:
        break;
    }
    return QStringLiteral("ready");
}
