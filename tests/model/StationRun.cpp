// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/model/StationRun.h"

#include "station/LineUse.h"

namespace {

// The serial lines' keyer as the station sees it, writing each request into the run's log first,
// so that the order of the transmitter and the sound shows.
class LoggedKeyer : public PttKeyer
{
public:
    LoggedKeyer(PttKeyer &keyer, QStringList &log) : m_keyer(keyer), m_log(log) { }
    void open() override { m_keyer.open(); }
    void setOnAir(bool onAir) override
    {
        requests << onAir;
        m_log << (onAir ? QStringLiteral("Key") : QStringLiteral("Release"));
        m_keyer.setOnAir(onAir);
    }
    bool isReady() const override { return m_keyer.isReady(); }
    int answerTimeoutMs() const override { return m_keyer.answerTimeoutMs(); }
    QString statusText() const override { return m_keyer.statusText(); }
    void shutdown(int milliseconds) override { m_keyer.shutdown(milliseconds); }

    QList<bool> requests;

private:
    PttKeyer &m_keyer;
    QStringList &m_log;
};

std::unique_ptr<LoggedKeyer> g_logged; // one run at a time

bool enabledLineKeyed(bool on, bool positive, std::optional<bool> level)
{
    return on && level && *level == positive;
}

} // namespace

QString StationRun::kindName(Kind kind)
{
    static const char *const names[]
        = {"click",        "Lock",          "StdBy",          "repeat box",     "slider",
           "delay button", "status panel",  "transport Play", "transport Prev", "transport Stop",
           "play ends",    "late stop end", "stray end",      "prepared",       "output goes",
           "rig confirms", "link changes",  "time",           "recorder",       "bus Play",
           "bus Stop",     "bus SetLock",   "bus SetStandby", "COM line box",   "COM OK"};
    return QString::fromLatin1(names[kind]);
}

StationRun::StationRun(quint32 seed, bool verbose) : m_random(seed), m_verbose(verbose)
{
    randomSettings();
    m_station = std::make_unique<Station>(m_settings, m_player, m_clock);
    if (chance(50)) {
        m_serial = std::make_unique<SerialKeyer>(m_settings, m_lines, m_dialogs);
        g_logged = std::make_unique<LoggedKeyer>(*m_serial, m_player.log);
        m_station->setKeyer(g_logged.get());
        m_station->setLineUse(m_serial.get());
    } else {
        m_rig = std::make_unique<FakeKeyer>(1000, &m_player.log);
        m_station->setKeyer(m_rig.get());
    }
    m_remote = std::make_unique<StationRemote>(*m_station, m_clock, std::function<void(int)>());
    // When the station went from released to keyed, at the time of the tick that did it.
    QObject::connect(m_station.get(), &Station::changed, m_station.get(),
                     [this](const StationState &state) {
                         if (!state.onAir)
                             m_keyedSince = -1;
                         else if (m_keyedSince < 0)
                             m_keyedSince = m_clock.now();
                     });
    m_station->handle(StationEvents::StartUp{});
}

StationRun::~StationRun()
{
    m_remote.reset();
    m_station.reset();
    g_logged.reset();
}

void StationRun::randomSettings()
{
    const double delays[] = {4500, 0, 10000, 1000, 250, 12000, -40, 2500.5, 1.5, 1000, 2000};
    for (int i = 0; i < 6; ++i) {
        const int kind = pick(100);
        m_settings.Memories.MemFile[i] = kind < 10   ? QString()
                                : kind < 20 ? QStringLiteral("/text%1.wav").arg(i + 1)
                                            : QStringLiteral("/msg%1.wav").arg(i + 1);
        m_player.unopenable << QStringLiteral("/text%1.wav").arg(i + 1);
        m_settings.Memories.MemRepeat[i] = chance(50);
        m_settings.Memories.MemDelay[i] = chance(20) ? double(pick(10001)) : delays[pick(11)];
    }
    const int leads[] = {1, 20, 300, 2000};
    const int tails[] = {1, 50, 600, 2000, 6000};
    const int timeouts[] = {1, 5, 29, 30, 45};
    m_settings.Ptt.LeadMs = chance(50) ? 0 : leads[pick(4)];
    m_settings.Ptt.TailMs = chance(35) ? 0 : tails[pick(5)];
    m_settings.Ptt.TimeoutS = chance(55) ? 0 : timeouts[pick(5)];
    m_settings.Ptt.RtsOn = chance(60);
    m_settings.Ptt.RtsPos = chance(50);
    m_settings.Ptt.DtrOn = chance(40);
    m_settings.Ptt.DtrPos = chance(50);
    m_settings.Ptt.ComNum = qint16(1 + pick(2));
    const qint32 lengths[] = {3000, 1100, 1, 0};
    m_player.nextLength = lengths[pick(4)];
    m_player.holdPrepared = chance(50);
    m_lines.raisesOnOpen = chance(80);
}

StationRun::Kind StationRun::choose()
{
    const StationState &s = m_station->state();
    struct Choice
    {
        int weight;
        Kind kind;
    };
    std::vector<Choice> choices = {{16, Click},
                                   {s.lock ? 3 : 2, Lock},
                                   {s.standby ? 4 : 1, Standby},
                                   {4, RepeatBox},
                                   {2, Slider},
                                   {1, StoreDelay},
                                   {1, StatusPanel},
                                   {1, TransportPlay},
                                   {1, TransportPrev},
                                   {1, TransportStop},
                                   {1, StrayEnd},
                                   {1, OutputGoes},
                                   {8, Time},
                                   {1, Recording},
                                   {4, RemotePlay},
                                   {s.playing() ? 3 : 1, RemoteStop},
                                   {1, RemoteLock},
                                   {1, RemoteStandby}};
    if (m_player.mode() == SoundPlayer::Mode::Playing)
        choices.push_back({12, PlayEnds});
    if (m_pendingStops > 0)
        choices.push_back({5, LateStop});
    if (m_player.preparing())
        choices.push_back({10, Prepared});
    if (m_rig) {
        choices.push_back({10, Confirm});
        choices.push_back({1, LinkChange});
    } else {
        choices.push_back({2, LineBox});
        choices.push_back({2, PortOpen});
    }
    int total = 0;
    for (const Choice &c : choices)
        total += c.weight;
    int at = pick(total);
    for (const Choice &c : choices) {
        if (at < c.weight)
            return c.kind;
        at -= c.weight;
    }
    return Click;
}

// Plays the event; says what it was.
QString StationRun::play(Kind kind)
{
    const StationState &s = m_station->state();
    const int memory = s.memory >= 0 && chance(50) ? s.memory : pick(6);
    const bool wasPlaying = m_player.mode() == SoundPlayer::Mode::Playing;
    QString what = kindName(kind);
    switch (kind) {
    case Click:
        m_station->handle(StationEvents::MemoryClick{memory});
        what += QStringLiteral(" %1").arg(memory + 1);
        break;
    case Lock:
        m_station->handle(StationEvents::LockClick{});
        break;
    case Standby:
        m_station->handle(StationEvents::StandbyClick{});
        break;
    case RepeatBox:
        m_station->handle(StationEvents::RepeatBox{memory, !m_settings.Memories.MemRepeat[memory]});
        what += QStringLiteral(" %1").arg(memory + 1);
        break;
    case Slider: {
        const int value = chance(50) ? pick(10001) : (chance(50) ? 0 : 1000);
        m_station->handle(StationEvents::DelayMoved{value});
        what += QStringLiteral(" %1").arg(value);
        break;
    }
    case StoreDelay:
        m_station->handle(StationEvents::StoreDelay{});
        break;
    case StatusPanel:
        m_station->handle(StationEvents::Refuse{});
        break;
    case TransportPlay:
        m_station->handle(StationEvents::Transport{StationEvents::TransportButton::Play});
        break;
    case TransportPrev:
        m_station->handle(StationEvents::Transport{StationEvents::TransportButton::Prev});
        break;
    case TransportStop:
        m_station->handle(StationEvents::Transport{StationEvents::TransportButton::Stop});
        break;
    case PlayEnds: {
        m_heard = chance(85);
        what += m_heard ? QStringLiteral(" (heard)") : QStringLiteral(" (failed)");
        m_player.finish(m_heard ? SoundPlayer::Outcome::Ended : SoundPlayer::Outcome::Failed);
        break;
    }
    case LateStop:
        --m_pendingStops;
        m_player.deliverDone(SoundPlayer::Outcome::Stopped);
        break;
    case StrayEnd: {
        const SoundPlayer::Outcome outcomes[]
            = {SoundPlayer::Outcome::Ended, SoundPlayer::Outcome::Stopped,
               SoundPlayer::Outcome::Failed};
        const SoundPlayer::Outcome outcome = outcomes[pick(3)];
        m_heard = outcome == SoundPlayer::Outcome::Ended;
        m_player.deliverDone(outcome);
        break;
    }
    case Prepared:
        m_player.answerPrepare();
        break;
    case OutputGoes: {
        const int how = pick(4);
        m_player.outputAbsent = how == 1;
        m_player.playFails = how == 2;
        m_player.refusePlay = how == 3;
        what += QStringLiteral(" %1").arg(how);
        break;
    }
    case Confirm:
        if (!m_rig->requests.isEmpty())
            m_rig->confirm(m_rig->requests.last());
        break;
    case LinkChange: {
        const PttKeyer::Link links[]
            = {PttKeyer::Link::Ready, PttKeyer::Link::NotConnected, PttKeyer::Link::NoAnswer};
        m_rig->setLink(links[pick(3)]);
        break;
    }
    case Time: {
        const int steps[] = {1, 10, 50, 250, 1000, 2000, 5000, 15000, 30000};
        const int step = steps[pick(9)];
        m_clock.advance(step);
        what += QStringLiteral(" %1 ms").arg(step);
        break;
    }
    case Recording:
        m_station->handle(StationEvents::Recording{!s.recording});
        break;
    case RemotePlay: {
        const int number = chance(10) ? 7 : memory + 1;
        what += QStringLiteral(" %1: %2").arg(number).arg(m_remote->play(number));
        break;
    }
    case RemoteStop:
        what += QStringLiteral(": %1").arg(m_remote->stop());
        break;
    case RemoteLock:
        m_remote->setLock(!s.lock);
        break;
    case RemoteStandby:
        m_remote->setStandby(!s.standby);
        break;
    case LineBox: {
        // As the COM dialog's box: ticked with the polarity shown, unticked as it is.
        const bool rts = chance(50);
        bool &on = rts ? m_settings.Ptt.RtsOn : m_settings.Ptt.DtrOn;
        bool &positive = rts ? m_settings.Ptt.RtsPos : m_settings.Ptt.DtrPos;
        const bool taken = !on;
        on = !on;
        if (on)
            positive = chance(50);
        m_station->handle(
            StationEvents::LinesChanged{taken ? (rts ? LineUse::Rts : LineUse::Dtr) : 0});
        what += rts ? QStringLiteral(" RTS") : QStringLiteral(" DTR");
        break;
    }
    case PortOpen:
        m_lines.openError = chance(15) ? QStringLiteral("Permission denied") : QString();
        m_serial->open();
        m_portEverOpened = m_portEverOpened || m_lines.isOpen();
        break;
    case KindCount:
        break;
    }
    // A play that the player stopped owes its end; a file closed since drops it.
    if (m_player.log.contains(QStringLiteral("Close")))
        m_pendingStops = 0;
    else if (wasPlaying && m_player.mode() != SoundPlayer::Mode::Playing && kind != PlayEnds)
        ++m_pendingStops;
    return what;
}

bool StationRun::lastRequest() const
{
    const QList<bool> &requests = m_rig ? m_rig->requests : g_logged->requests;
    return !requests.isEmpty() && requests.last();
}

// The message in hand cannot sound: its file does not open, or its output is not there.
bool StationRun::cannotPlay() const
{
    return m_player.unopenable.contains(m_player.fileName()) || m_player.outputAbsent
           || m_player.playFails || m_player.refusePlay;
}

bool StationRun::step(QString &failure, Coverage &coverage)
{
    const Kind kind = choose();
    const StationState before = m_station->state();
    const QList<bool> requestsBefore = m_rig ? m_rig->requests : g_logged->requests;
    m_player.clearLog();
    m_played << play(kind);
    if (m_verbose)
        qInfo("%4lld  %s", qlonglong(m_played.size()), qPrintable(m_played.last()));
    const QList<bool> &all = m_rig ? m_rig->requests : g_logged->requests;
    const QList<bool> requests = all.mid(requestsBefore.size());

    const QStringList broken = problems(kind, before, m_player.log, requests);
    const StationState &s = m_station->state();
    if (m_verbose)
        qInfo("      stage %d, on air %d, Lock %d, standby %d, link %d, at %lld ms: %s",
              int(s.stage), s.onAir, s.lock, s.standby, int(s.keyer), qlonglong(m_clock.now()),
              qPrintable(m_player.log.join(QStringLiteral(", "))));
    ++coverage.events[kind];
    coverage.keyed += s.onAir;
    coverage.lead += s.stage == Stage::Lead;
    coverage.awaitingKeying += s.stage == Stage::Lead && s.onAir;
    coverage.tail += s.stage == Stage::Tail;
    coverage.repeatWait += s.stage == Stage::RepeatWait;
    coverage.pauseKeyed += s.stage == Stage::RepeatWait && s.onAir && !s.lock;
    coverage.lockUnderStandby += s.lock && s.standby;
    coverage.refusals += s.refusals > before.refusals;
    coverage.timeoutWarning += s.timeoutWarning;
    if (broken.isEmpty())
        return true;
    failure = broken.join(QLatin1Char('\n'));
    return false;
}

// The station's safety rules after an event.
QStringList StationRun::problems(Kind kind, const StationState &before, const QStringList &log,
                                 const QList<bool> &requests)
{
    QStringList out;
    const StationState &s = m_station->state();
    const qint64 now = m_clock.now();
    const bool requested = lastRequest();

    // The keyer is held to what the station shows, and standby keeps it released.
    if (requested != s.onAir)
        out << QStringLiteral("the keyer holds another state than the station picture shows");
    if (s.onAir && s.standby)
        out << QStringLiteral("on air under standby");

    // Nothing keys without Lock, a message on the air, or its tail: a tail no longer than its
    // setting, in the wait before a repeat no longer than half the delay.
    if ((kind == PlayEnds || kind == StrayEnd) && m_heard && before.onAir && s.onAir && !s.lock
        && s.stage != Stage::Playing && s.stage != Stage::Lead) {
        m_endedAt = now;
        m_allowedTail = s.stage == Stage::RepeatWait && s.delay > 0
                            ? std::min(m_settings.Ptt.TailMs, s.delay / 2)
                            : m_settings.Ptt.TailMs;
    }
    const bool messageOnAir = s.stage == Stage::Lead || s.stage == Stage::Playing;
    if (s.onAir && !s.lock && !messageOnAir
        && !(m_endedAt >= 0 && now - m_endedAt <= m_allowedTail))
        out << QStringLiteral("on air without Lock, a message or its tail");

    // A message that cannot sound is never keyed for.
    if ((kind == Click || kind == RemotePlay || kind == Prepared || kind == Time)
        && requests.contains(true) && !before.onAir && cannotPlay())
        out << QStringLiteral("keyed for a message that cannot play");

    // No transmission outlasts the time-out.
    if (requested && m_settings.Ptt.TimeoutS > 0 && now - m_keyedSince > m_settings.Ptt.TimeoutS * 1000)
        out << QStringLiteral("keyed longer than the time-out without a break");

    // No sample of a message before the key: a play of the station's own, for a message that
    // keys through a keyer that can key, comes after the keying is done or confirmed.
    const bool canKey = m_rig ? m_rig->link() == PttKeyer::Link::Ready : true;
    for (const QString &entry : log) {
        if (entry == QLatin1String("Key") && !m_rig)
            m_logKeyed = true;
        else if (entry == QLatin1String("Release") && !m_rig)
            m_logKeyed = false;
        else if (entry.startsWith(QLatin1String("Confirmed")))
            m_logKeyed = entry.endsWith(QLatin1Char('1'));
        else if (entry == QLatin1String("Play") && kind != TransportPlay && s.onAir && !s.standby
                 && canKey && !m_logKeyed)
            out << QStringLiteral("a message sounded before the transmitter was keyed");
    }
    // Nothing plays by itself.
    if (log.contains(QStringLiteral("Play")) && !before.playing() && kind != Click
        && kind != RemotePlay && kind != TransportPlay)
        out << QStringLiteral("a message played that nobody started");

    // A start whose output is absent changes nothing but the refusal face.
    if ((kind == Click || kind == RemotePlay) && !before.playing() && m_player.outputAbsent) {
        StationState expected = before;
        expected.refusals = s.refusals;
        expected.transportPlays = s.transportPlays; // the file it played was closed
        if (s != expected)
            out << QStringLiteral("a start without its output changed the station");
    }

    // The bus tells the truth about the transmitter and the keyer.
    const StationRemote::Status status = m_remote->status();
    const bool truth = m_rig ? m_rig->confirmedOnAir || m_rig->releasePending() : requested;
    if (status.onAir != truth)
        out << QStringLiteral("the bus says on air %1, the keyer %2").arg(status.onAir).arg(truth);
    if (m_rig && status.keyer != m_rig->link())
        out << QStringLiteral("the bus names another link than the keyer's");

    // The serial lines: nothing on the wire before the port opened, and the port layer knows the
    // receive levels to fall back to.
    if (serial()) {
        if (!m_portEverOpened && !m_lines.wire.isEmpty())
            out << QStringLiteral("levels reached the wire before the port ever opened");
        const auto receive = [](bool on, bool positive) {
            return on ? std::optional<bool>(!positive) : std::nullopt;
        };
        const SerialLines::ReceiveLevels told = m_lines.receiveLevels();
        if (m_lines.isOpen()
            && (told.rts != receive(m_settings.Ptt.RtsOn, m_settings.Ptt.RtsPos)
                || told.dtr != receive(m_settings.Ptt.DtrOn, m_settings.Ptt.DtrPos)))
            out << QStringLiteral("the port layer does not know the receive levels");
        const bool linesKeyed
            = enabledLineKeyed(m_settings.Ptt.RtsOn, m_settings.Ptt.RtsPos, m_lines.rts())
              || enabledLineKeyed(m_settings.Ptt.DtrOn, m_settings.Ptt.DtrPos, m_lines.dtr());
        if (linesKeyed && !s.onAir)
            out << QStringLiteral("a line keys while the station shows receive");
    }
    if (!out.isEmpty()) {
        out << QStringLiteral("stage %1, memory %2, on air %3, Lock %4, standby %5, now %6 ms")
                   .arg(int(s.stage))
                   .arg(s.memory + 1)
                   .arg(s.onAir)
                   .arg(s.lock)
                   .arg(s.standby)
                   .arg(now);
        out << QStringLiteral("this event: ") + log.join(QStringLiteral(", "));
    }
    return out;
}

QStringList StationRun::Coverage::states() const
{
    return {QStringLiteral("keyed %1").arg(keyed),
            QStringLiteral("lead %1").arg(lead),
            QStringLiteral("awaiting the keying %1").arg(awaitingKeying),
            QStringLiteral("tail %1").arg(tail),
            QStringLiteral("repeat wait %1").arg(repeatWait),
            QStringLiteral("tail in a repeat wait %1").arg(pauseKeyed),
            QStringLiteral("Lock under standby %1").arg(lockUnderStandby),
            QStringLiteral("refusals %1").arg(refusals),
            QStringLiteral("time-out warning %1").arg(timeoutWarning)};
}

QStringList StationRun::Coverage::missing() const
{
    QStringList out;
    for (int kind = 0; kind < KindCount; ++kind) {
        if (!events[kind])
            out << kindName(Kind(kind));
    }
    for (const QString &state : states()) {
        if (state.endsWith(QLatin1String(" 0")))
            out << state;
    }
    return out;
}
