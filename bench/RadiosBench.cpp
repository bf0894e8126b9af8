// SPDX-License-Identifier: GPL-3.0-or-later
// Two radios under their owner, on the event loop's clock, with players that answer at once and
// keyers that key at once: the memory's click to the play() of its first sample on the focus
// radio, the same after the focus swap to the other radio, and the interlock's decision (a click
// on a radio while the other is keyed, refused), beside a one-radio station's click.

#include "bench/BenchReport.h"
#include "station/AppState.h"
#include "station/Clock.h"
#include "station/PttKeyer.h"
#include "station/RadioPair.h"
#include "station/Station.h"

#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

const QString Section = QStringLiteral("radios");
constexpr int Runs = 501;

// A player whose output is ready at once, noting when play() was called.
class StampingPlayer : public SoundPlayer
{
public:
    OpenResult open(const QString &) override
    {
        m_mode = Mode::Stopped;
        return OpenResult::Opened;
    }
    void close() override { m_mode = Mode::NotReady; }
    void prepare() override { emit prepared(true); }
    void play() override
    {
        playedAt = std::chrono::steady_clock::now();
        m_mode = Mode::Playing;
    }
    void stop() override { m_mode = Mode::Stopped; }
    void rewind() override { }
    void stepBack() override { }
    void toEnd() override { }
    Mode mode() const override { return m_mode; }
    qint32 length() const override { return 1000; }
    std::chrono::steady_clock::time_point playedAt;

private:
    Mode m_mode = Mode::NotReady;
};

// Keys at once, as the serial lines do.
class InstantKeyer : public PttKeyer
{
public:
    void open() override { }
    void setOnAir(bool onAir) override { m_keyed = onAir; }
    bool isReady() const override { return true; }
    bool mayBeKeyed() const override { return m_keyed; }
    QString statusText() const override { return {}; }
    void shutdown(int) override { m_keyed = false; }

private:
    bool m_keyed = false;
};

struct Radio
{
    explicit Radio(Clock &clock) : station(settings, player, clock)
    {
        for (int i = 0; i < MemoryCount; ++i)
            settings.Memories.MemFile[i] = QStringLiteral("/bench%1.wav").arg(i + 1);
        station.setKeyer(&keyer);
        station.handle(StationEvents::StartUp{});
    }
    AppState settings;
    StampingPlayer player;
    InstantKeyer keyer;
    Station station;
};

// Milliseconds from the click to the play() of the first sample.
double clickToPlay(StationDoor &door, StampingPlayer &player)
{
    const auto before = std::chrono::steady_clock::now();
    door.handle(StationEvents::MemoryClick{0});
    const double ms = std::chrono::duration<double, std::milli>(player.playedAt - before).count();
    door.handle(StationEvents::MessageStop{});
    return ms >= 0 ? ms : std::nan(""); // not played: no figure
}

} // namespace

void runRadiosBench(BenchReport &report)
{
    SystemClock clock;
    Radio alone(clock);
    Radio one(clock), two(clock);
    RadioPair pair(one.station);
    pair.setSecond(&two.station, InterlockRule::Refuse);
    std::vector<double> single, focus, swapped, refused;
    for (int run = 0; run < Runs; ++run) {
        single.push_back(clickToPlay(alone.station, alone.player));
        focus.push_back(clickToPlay(pair, one.player));
        pair.swapFocus();
        swapped.push_back(clickToPlay(pair, two.player));
        pair.swapFocus();
        // Radio 2 keyed under Lock: a click on radio 1 is refused.
        pair.handleOn(2, StationEvents::LockClick{});
        QElapsedTimer decision;
        decision.start();
        const Answer answer = pair.handleOn(1, StationEvents::MemoryClick{0});
        refused.push_back(double(decision.nsecsElapsed()) / 1e6);
        pair.handleOn(2, StationEvents::LockClick{});
        if (answer.reason != Answer::Reason::Interlocked)
            report.note(
                QStringLiteral("radios: a click was not refused while the other radio was keyed"));
    }
    for (const std::vector<double> *spread : {&single, &focus, &swapped})
        if (std::any_of(spread->begin(), spread->end(), [](double ms) { return std::isnan(ms); }))
            report.note(QStringLiteral("radios: a click did not play"));
    report.addSpread(Section, QStringLiteral("one radio: click to play()"), single);
    report.addSpread(Section, QStringLiteral("two radios: click to play() on the focus radio"),
                     focus);
    report.addSpread(Section, QStringLiteral("focus swapped: click to play() on the other radio"),
                     swapped);
    report.addSpread(Section,
                     QStringLiteral("interlock: a click refused while the other radio is keyed"),
                     refused);
}
