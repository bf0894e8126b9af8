// SPDX-License-Identifier: GPL-3.0-or-later
// Two radios under their owner, on the event loop's clock, with players that answer at once and
// keyers that key at once: the memory's click to the play() of its first sample on the focus
// radio, the same after the focus swap to the other radio, and the interlock's decision (a click
// on a radio while the other is keyed, refused), beside a one-radio station's click.
//
// Then the whole program on a private PulseAudio, radio 1 on the null sink "rig" and radio 2 on a
// null sink "radio2" of its own, neither keyed: a click to the first sample heard at a radio's
// sink, on the sink's clock (as in the firstsample section), with one radio and with two, and the
// Pause key (the focus swap) followed at once by a click, to the first sample at radio 2's sink.

#include "bench/BenchReport.h"
#include "bench/BenchSounds.h"
#include "bench/BenchStation.h"
#include "bench/PassiveCapture.h"
#include "station/AppState.h"
#include "station/Clock.h"
#include "station/PttKeyer.h"
#include "station/RadioPair.h"
#include "station/SettingsBook.h"
#include "station/Station.h"
#include "tests/support/PrivateSoundServer.h"
#include "tests/support/SetUp.h"
#include "ui/PictureButton.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

namespace {

const QString Section = QStringLiteral("radios");
constexpr int Runs = 501;
constexpr int ServerRuns = 21;

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
    explicit Radio(Clock &clock) : station(book, player, clock)
    {
        for (int i = 0; i < MemoryCount; ++i)
            settings.Memories.MemFile[i] = QStringLiteral("/bench%1.wav").arg(i + 1);
        station.setKeyer(&keyer);
        station.handle(StationEvents::StartUp{});
    }
    AppState settings;
    SettingsBook book{settings};
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

// The whole program on the private server, memory 1 the tone, radio 1 on the sink "rig" and,
// with two radios, radio 2 on its own sink, from [Audio2] and [PTT2] as main() adds it.
struct ServerProgram
{
    ServerProgram(PulseConnection &connection, const QString &tone, bool two) : device2(connection)
    {
        populateProgramFolder(folder.path());
        QFile ini(folder.filePath(QStringLiteral("vocta.ini")));
        ini.open(QIODevice::WriteOnly);
        ini.write("[PTT]\nMethod=None\n[Audio]\nOutput=rig\n");
        if (two)
            ini.write("[PTT2]\nMethod=None\n[Audio2]\nOutput=radio2\n");
        ini.close();
        s = std::make_unique<BenchStation>(connection, folder.path());
        s->station.Form_Load();
        setUp(s->station).Memories.MemFile[0] = tone;
        added = !two || s->station.addSecondRadio(device2, lines2, nullptr);
        s->station.window().show();
    }
    ~ServerProgram() { s->station.Form_Terminate(); }

    QTemporaryDir folder;
    SoundDevice device2;
    QtSerialLines lines2;
    std::unique_ptr<BenchStation> s;
    bool added = false;
};

// The Pause key, pressed and let go on the window.
void pressPause(QWidget *window)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Pause, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Pause, Qt::NoModifier);
    QApplication::sendEvent(window, &press);
    QApplication::sendEvent(window, &release);
}

// Memory 1 clicked (after the Pause key, with `swap`) and played to its end: milliseconds from
// the first of them to the first sample at radio `radio`'s sink, -1 for none; a sound at the
// other radio's sink is noted.
double firstSample(ServerProgram &p, const std::array<PassiveCapture *, 2> &sinks, int radio,
                   bool swap, BenchReport &report)
{
    for (PassiveCapture *sink : sinks)
        sink->reset();
    const PassiveCapture::Steady::time_point start = PassiveCapture::Steady::now();
    if (swap)
        pressPause(&p.s->station.window());
    click(p.s->station.window().Command3d1(0), Qt::LeftButton);
    const double heard = sinks[radio - 1]->fromTo(start);
    RadioPair &pair = p.s->station.radios();
    longestStallWhile(
        [&] {
            bool idle = true;
            for (int r = 1; r <= pair.radios(); ++r)
                idle = idle && pair.station(r).state().playing() == 0 && !pair.keyed(r);
            return idle;
        },
        10000);
    longestStallWhile([] { return false; }, 100);
    if (sinks[2 - radio]->firstSound() >= 0)
        report.note(
            Section
            + QStringLiteral(": radio %1's message was heard at the other sink").arg(radio));
    return std::isnan(heard) ? -1 : heard;
}

void measureOnServer(BenchReport &report, PulseConnection &connection, const QString &tone,
                     const std::array<PassiveCapture *, 2> &sinks)
{
    const QString on = QStringLiteral("PulseAudio, ");
    std::vector<double> single, first, swapped;
    {
        ServerProgram alone(connection, tone, false);
        firstSample(alone, sinks, 1, false, report); // waits for what loads in the background
        for (int run = 0; run < ServerRuns; ++run)
            single.push_back(firstSample(alone, sinks, 1, false, report));
    }
    ServerProgram pair(connection, tone, true);
    if (!pair.added) {
        report.note(Section + QStringLiteral(": radio 2 was not added"));
        return;
    }
    for (int run = -1; run < ServerRuns; ++run) { // the first round is not counted
        const double one = firstSample(pair, sinks, 1, false, report);
        const double two = firstSample(pair, sinks, 2, true, report);
        pressPause(&pair.s->station.window());
        if (run >= 0) {
            first.push_back(one);
            swapped.push_back(two);
        }
    }
    report.addSpread(Section, on + QStringLiteral("one radio: click to first sample"), single);
    report.addSpread(Section, on + QStringLiteral("two radios: click to first sample on radio 1"),
                     first);
    report.addSpread(Section,
                     on + QStringLiteral("focus swap (Pause) + click to first sample on radio 2"),
                     swapped);
}

void runOnServer(BenchReport &report)
{
    PrivateSoundServer server;
    QString error;
    if (!server.start(&error)) {
        report.note(Section + QStringLiteral(": no private PulseAudio: ") + error);
        return;
    }
    QTemporaryDir folder;
    const QString tone = folder.filePath(QStringLiteral("tone.wav"));
    if (server
            .pactl(QStringLiteral("load-module module-null-sink sink_name=radio2 norewinds=1")
                       .split(QLatin1Char(' ')))
            .isNull()
        || !BenchSounds::writeWav(tone, server.sampleRate(), 0.3)) {
        report.note(Section + QStringLiteral(": no sink for radio 2, or no test file"));
        return;
    }
    PassiveCapture rig(PrivateSoundServer::Rig + QStringLiteral(".monitor"), server.sampleRate());
    PassiveCapture radio2(QStringLiteral("radio2.monitor"), server.sampleRate());
    PulseConnection connection;
    longestStallWhile(
        [&] {
            return connection.state() == PulseConnection::Ready
                   && connection.hasSink(QStringLiteral("radio2"));
        },
        30000);
    if (!rig.start(&error) || !radio2.start(&error)
        || connection.state() != PulseConnection::Ready) {
        report.note(Section + QStringLiteral(": PulseAudio does not answer ") + error);
        return;
    }
    measureOnServer(report, connection, tone, {&rig, &radio2});
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
    report.note(Section
                + QStringLiteral(": on PulseAudio, a 0.3 s tone; its first sample heard at "
                                 "the sink's monitor, on the sink's clock, as firstsample's "
                                 "later message (these sinks never suspend); the first "
                                 "play on each radio not counted."));
    runOnServer(report);
}
