// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/KeyerAdaptor.h"
#include "station/AppState.h"
#include "station/Clock.h"
#include "station/Station.h"
#include "station/StationRemote.h"
#include "tests/support/FakeKeyer.h"
#include "tests/support/FakeSoundPlayer.h"
#include "tests/support/VirtualClock.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

// The station alone, without a window: the lead before a message's audio, the tail after it, the
// time-out, and the keying of the transmitter against a keyer that confirms at once, late, or
// never, on the test's clock. The player's log holds the keyer's requests too ("Key",
// "Release"), so that the order of the transmitter and the sound shows.
class TestStation : public QObject
{
    Q_OBJECT

private slots:
    void eventLoopTimerLetsTicksPass();
    void leadKeysBeforeTheAudio();
    void noLeadWhenAlreadyKeyedOrUnderStandby_data();
    void noLeadWhenAlreadyKeyedOrUnderStandby();
    void duringTheLead_data();
    void duringTheLead();
    void tailHoldsTheRelease();
    void duringTheTail_data();
    void duringTheTail();
    void endOfProgramReleasesAtOnce();
    void timeOutUnderLockWithRepeat();
    void timeOutWithoutWarning();
    void timeOutCountsWithoutABreak();

    void audioWaitsForTheKeying_data();
    void audioWaitsForTheKeying();
    void keyingThatIsNeverConfirmedStops();
    void repeatPauseReleasesHalfwayThroughTheDelay_data();
    void repeatPauseReleasesHalfwayThroughTheDelay();
    void keyerThatCannotKeyIsToldOnTheBus();
    void startWithoutItsOutputIsRefused();
};

namespace {

// A station with its doubles, keyed by `keyer`; memory n plays "/m<n>.wav".
struct Desk
{
    explicit Desk(int keyerTimeoutMs = 0) : keyer(keyerTimeoutMs, &player.log)
    {
        for (int i = 0; i < 6; ++i)
            settings.Memories.MemFile[i] = QStringLiteral("/m%1.wav").arg(i + 1);
        settings.Memories.MemDelay.fill(1000);
        station.setKeyer(&keyer);
        station.handle(StationEvents::StartUp{});
        player.clearLog();
        keyer.requests.clear();
    }

    // The player's calls and the keyer's requests since the last look.
    QStringList seen() { return std::exchange(player.log, {}); }
    const StationState &now() const { return station.state(); }
    void start(int memory = 0, bool repeat = false)
    {
        station.handle(StationEvents::RepeatBox{memory, repeat});
        station.handle(StationEvents::MemoryClick{memory});
    }

    AppState settings;
    VirtualClock clock;
    FakeSoundPlayer player;
    FakeKeyer keyer;
    Station station{settings, player, clock};
};

const QStringList start{"Close", "Open /m1.wav"};

} // namespace

// From released to keyed: the transmitter first, the audio LeadMs later; meanwhile the memory
// counts as playing. The same for a repeat's restart.
void TestStation::leadKeysBeforeTheAudio()
{
    Desk d;
    d.settings.Ptt.LeadMs = 300;
    d.start(0, true);
    QCOMPARE(d.seen(), start + QStringList({"Prepare", "Key"}));
    QCOMPARE(d.now().stage, Stage::Lead);
    QCOMPARE(d.now().playing(), 1);
    QVERIFY(d.now().onAir);
    d.clock.advance(299);
    QCOMPARE(d.seen(), QStringList());
    d.clock.advance(1);
    QCOMPARE(d.seen(), QStringList{"Play"});
    QCOMPARE(d.now().stage, Stage::Playing);

    // The end releases; the restart keys again, and its audio waits for the lead once more.
    d.player.finish();
    QCOMPARE(d.seen(), QStringList({"Rewind", "Back", "Release"}));
    d.clock.advance(1000);
    QCOMPARE(d.seen(), QStringList({"Prepare", "Key"}));
    QCOMPARE(d.now().stage, Stage::Lead);
    d.clock.advance(300);
    QCOMPARE(d.seen(), QStringList({"Rewind", "Play"}));
}

void TestStation::noLeadWhenAlreadyKeyedOrUnderStandby_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QStringList>("seen"); // what the start does
    const QStringList play = start + QStringList{"Play"};
    QTest::newRow("under Lock") << "lock" << play + QStringList{"Key"};
    QTest::newRow("within a tail") << "tail" << play + QStringList{"Key"};
    QTest::newRow("under standby") << "standby" << play;
    QTest::newRow("under Lock and standby") << "lock standby" << play;
}

// Already keyed, or not to be keyed at all: the audio starts at once, then the rules key.
void TestStation::noLeadWhenAlreadyKeyedOrUnderStandby()
{
    QFETCH(QString, before);
    QFETCH(QStringList, seen);
    Desk d;
    d.settings.Ptt.LeadMs = 500;
    d.settings.Ptt.TailMs = 500;
    if (before.contains("lock"))
        d.station.handle(StationEvents::LockClick{});
    if (before.contains("standby"))
        d.station.handle(StationEvents::StandbyClick{});
    if (before == "tail") {
        d.start();
        d.clock.advance(500);
        d.player.finish();
        QCOMPARE(d.now().stage, Stage::Tail);
    }
    d.seen();

    d.start();
    QCOMPARE(d.seen(), seen);
    QCOMPARE(d.now().stage, Stage::Playing);
    QCOMPARE(d.keyer.requests.last(), !before.contains("standby"));
    // Nothing waits: neither a lead nor a tail.
    d.clock.advance(2000);
    QCOMPARE(d.seen(), QStringList());
}

void TestStation::duringTheLead_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("seen"); // what the action does
    QTest::addColumn<Stage>("stage"); // afterwards
    QTest::addColumn<bool>("keyed");

    // A click on the memory stops it at once; no audio comes later.
    QTest::newRow("stop") << "stop" << QStringList{"Stop", "Rewind", "Release"} << Stage::Idle
                          << false;
    // Released, the message plays on without the transmitter: its audio need not wait.
    QTest::newRow("standby") << "standby" << QStringList{"Play", "Release"} << Stage::Playing
                             << false;
    QTest::newRow("Lock engaged") << "lock" << QStringList{"Key"} << Stage::Lead << true;
    QTest::newRow("Lock engaged and released")
        << "lock lock" << QStringList{"Key", "Play", "Release"} << Stage::Playing << false;
    // A failure reported meanwhile ends the message and releases at once.
    QTest::newRow("failure") << "failure" << QStringList{"Rewind", "Release"} << Stage::Idle
                             << false;
    // Heard to its end (a play of the transport bar's own): the tail, then the release.
    QTest::newRow("end heard") << "end" << QStringList{"Rewind"} << Stage::Tail << true;
}

void TestStation::duringTheLead()
{
    QFETCH(QString, action);
    QFETCH(QStringList, seen);
    QFETCH(Stage, stage);
    QFETCH(bool, keyed);
    Desk d;
    d.settings.Ptt.LeadMs = 1000;
    d.settings.Ptt.TailMs = 200;
    d.start();
    QCOMPARE(d.now().stage, Stage::Lead);
    d.seen();
    const int refusals = d.now().refusals;

    for (const QString &step : action.split(' ')) {
        if (step == "stop")
            d.station.handle(StationEvents::MemoryClick{0});
        else if (step == "standby")
            d.station.handle(StationEvents::StandbyClick{});
        else if (step == "lock")
            d.station.handle(StationEvents::LockClick{});
        else if (step == "failure")
            d.player.deliverDone(SoundPlayer::Outcome::Failed);
        else if (step == "end")
            d.player.deliverDone(SoundPlayer::Outcome::Ended);
    }
    QCOMPARE(d.seen(), seen);
    QCOMPARE(d.now().stage, stage);
    QCOMPARE(d.now().onAir, keyed);
    QCOMPARE(d.now().refusals > refusals, action == "failure");
    // Where the message went on, its audio came; a lead that was due does nothing.
    d.clock.advance(1000);
    const QStringList later = d.seen();
    QCOMPARE(later.contains("Play"), action == "lock");
    QCOMPARE(later.contains("Release"), action == "end");
}

// The window goes idle at the end as it always did; only the release waits.
void TestStation::tailHoldsTheRelease()
{
    Desk d;
    d.settings.Ptt.TailMs = 700;
    d.start();
    d.seen();
    d.player.finish();
    QCOMPARE(d.now().stage, Stage::Tail);
    QCOMPARE(d.now().playing(), 0);
    QVERIFY(d.now().onAir);
    d.clock.advance(699);
    QCOMPARE(d.seen(), QStringList{"Rewind"});
    d.clock.advance(1);
    QCOMPARE(d.seen(), QStringList{"Release"});
    QCOMPARE(d.now().stage, Stage::Idle);
    QVERIFY(!d.now().onAir);
}

void TestStation::duringTheTail_data()
{
    QTest::addColumn<bool>("repeat"); // the message waits for its repeat in the tail
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("keyed");

    // A new start keeps the transmitter keyed, without a lead.
    QTest::newRow("start") << false << "start" << true;
    QTest::newRow("repeat restart") << true << "restart" << true;
    // Every release but the end's comes at once.
    QTest::newRow("stop in the repeat wait") << true << "stop" << false;
    QTest::newRow("standby") << false << "standby" << false;
    QTest::newRow("failure") << false << "failure" << false;
    QTest::newRow("Lock engaged") << false << "lock" << true;
    QTest::newRow("Lock engaged and released") << false << "lock lock" << false;
    // A start whose file cannot be played keys nothing and releases as a failure does.
    QTest::newRow("start that cannot play") << false << "unplayable" << false;
}

void TestStation::duringTheTail()
{
    QFETCH(bool, repeat);
    QFETCH(QString, action);
    QFETCH(bool, keyed);
    Desk d;
    d.settings.Ptt.LeadMs = 400;
    d.settings.Ptt.TailMs = 600;
    d.settings.Memories.MemDelay[0] = 4000;
    d.start(0, repeat);
    d.clock.advance(400);
    d.player.finish();
    QVERIFY(d.now().onAir);
    d.keyer.requests.clear();
    d.seen();

    for (const QString &step : action.split(' ')) {
        if (step == "start") {
            d.start(1);
        } else if (step == "restart") {
            d.station.handle(StationEvents::RepeatTick{});
        } else if (step == "stop") {
            d.station.handle(StationEvents::MemoryClick{0});
        } else if (step == "standby") {
            d.station.handle(StationEvents::StandbyClick{});
        } else if (step == "failure") {
            d.player.deliverDone(SoundPlayer::Outcome::Failed);
        } else if (step == "lock") {
            d.station.handle(StationEvents::LockClick{});
        } else if (step == "unplayable") {
            d.player.unopenable << d.settings.Memories.MemFile[1];
            d.start(1);
        }
    }
    QCOMPARE(d.now().onAir, keyed);
    QVERIFY(!d.keyer.requests.isEmpty());
    QCOMPARE(d.keyer.requests.last(), keyed);
    if (action == "start" || action == "restart")
        QVERIFY(d.seen().contains("Play"));
    // The tail's end releases nothing more.
    d.keyer.requests.clear();
    d.clock.advance(600);
    QVERIFY(!d.keyer.requests.contains(false));
}

// The end of the program releases at once, in the lead or in the tail, and nothing keys or
// ticks after it.
void TestStation::endOfProgramReleasesAtOnce()
{
    for (const bool inTail : {false, true}) {
        Desk d;
        d.settings.Ptt.LeadMs = 2000;
        d.settings.Ptt.TailMs = 2000;
        d.settings.Ptt.TimeoutS = 60;
        d.start();
        if (inTail) {
            d.clock.advance(2000);
            d.player.finish();
        }
        d.keyer.requests.clear();
        d.station.handle(StationEvents::Shutdown{});
        QCOMPARE(d.keyer.shutDowns, 1);
        QVERIFY(!d.now().onAir);
        d.station.handle(StationEvents::LockClick{});
        d.clock.advance(100000);
        QCOMPARE(d.keyer.requests, QList<bool>());
        QVERIFY(!d.clock.nextDue());
    }
}

// Keyed for TimeoutS without a break under Lock, with a memory repeating: 15 s before, the
// warning; then the cycle ends as the operator's stop ends it, Lock is released and the
// transmitter with it, the refusal face shows and one line says why.
void TestStation::timeOutUnderLockWithRepeat()
{
    Desk d;
    d.settings.Ptt.TimeoutS = 40;
    d.station.handle(StationEvents::LockClick{});
    d.start(0, true);
    d.player.finish();
    d.clock.advance(1000); // the restart
    QCOMPARE(d.keyer.requests, QList<bool>({true, true, true}));
    d.clock.advance(23999 - 1000);
    QVERIFY(!d.now().timeoutWarning);
    d.clock.advance(1001);
    QVERIFY(d.now().timeoutWarning);
    QVERIFY(d.now().onAir);
    d.seen();

    const int refusals = d.now().refusals;
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("the transmitter was keyed for 40 s without a break"));
    d.clock.advance(15000);
    QCOMPARE(d.seen(), QStringList({"Stop", "Rewind", "Release"}));
    QCOMPARE(d.now().stage, Stage::Idle);
    QVERIFY(!d.now().lock);
    QVERIFY(!d.now().onAir);
    QVERIFY(!d.now().timeoutWarning);
    QCOMPARE(d.now().refusals, refusals + 1);
    d.clock.advance(10000);
    QCOMPARE(d.seen(), QStringList()); // no repeat comes

    // The operator goes on: the next message keys, and its time counts afresh.
    d.start();
    d.clock.advance(24999);
    QVERIFY(!d.now().timeoutWarning);
    d.clock.advance(1);
    QVERIFY(d.now().timeoutWarning);
}

// Below 30 s there is no warning: the time is up at once.
void TestStation::timeOutWithoutWarning()
{
    Desk d;
    d.settings.Ptt.TimeoutS = 29;
    d.start();
    d.keyer.requests.clear();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("keyed for 29 s without a break"));
    d.clock.advance(29000);
    QCOMPARE(d.now().playing(), 0);
    QCOMPARE(d.keyer.requests, QList<bool>{false});
    QVERIFY(!d.now().timeoutWarning);
}

// The count runs while the transmitter stays keyed: across Lock, a message, its tail and the
// next message. Any release ends it.
void TestStation::timeOutCountsWithoutABreak()
{
    Desk d;
    d.settings.Ptt.TimeoutS = 30;
    d.settings.Ptt.TailMs = 500;
    d.settings.Ptt.LeadMs = 100;
    d.station.handle(StationEvents::LockClick{});
    d.clock.advance(15000);
    QVERIFY(d.now().timeoutWarning);
    d.station.handle(StationEvents::LockClick{}); // released: the count is over
    QVERIFY(!d.now().timeoutWarning);
    QVERIFY(!d.clock.nextDue());

    d.start(); // keyed again: counts afresh
    d.clock.advance(14999);
    QVERIFY(!d.now().timeoutWarning);
    d.clock.advance(1);
    QVERIFY(d.now().timeoutWarning);
    // Within its tail the next message keeps the transmitter keyed, and the warning goes on.
    d.player.finish();
    d.start(1);
    QVERIFY(d.now().timeoutWarning);
    // Standby breaks it.
    d.station.handle(StationEvents::StandbyClick{});
    QVERIFY(!d.now().timeoutWarning);
    d.clock.advance(60000);
    QVERIFY(d.now().onAir == false);
}

void TestStation::audioWaitsForTheKeying_data()
{
    QTest::addColumn<int>("answerMs"); // the keyer's time-out; 0: done as it is asked
    QTest::addColumn<int>("confirmAfter"); // when the rig confirms
    QTest::addColumn<int>("lead");
    QTest::newRow("serial lines") << 0 << 0 << 0;
    QTest::newRow("serial lines, lead 100") << 0 << 0 << 100;
    QTest::newRow("slow rig") << 1000 << 200 << 0;
    QTest::newRow("slow rig, lead 100") << 1000 << 200 << 100;
}

// No sample before the key: the audio of every start and every repeat's restart comes after the
// keying request, after its confirmation when the rig confirms, and LeadMs after that.
void TestStation::audioWaitsForTheKeying()
{
    QFETCH(int, answerMs);
    QFETCH(int, confirmAfter);
    QFETCH(int, lead);
    Desk d(answerMs);
    d.settings.Ptt.LeadMs = lead;
    d.start(0, true);
    for (int round = 0; round < 3; ++round) {
        if (round > 0) {
            d.player.finish();
            if (answerMs)
                d.keyer.confirm(false);
            d.seen();
            d.clock.advance(1000); // the restart
        }
        QStringList seen = d.seen();
        d.clock.advance(confirmAfter);
        if (answerMs) {
            QVERIFY(!d.now().transmitting);
            seen += d.seen();
            QVERIFY(!seen.contains("Play"));
            d.keyer.confirm(true);
            QVERIFY(d.now().transmitting);
        }
        if (lead) {
            d.clock.advance(lead - 1);
            seen += d.seen();
            QVERIFY(!seen.contains("Play"));
            d.clock.advance(1);
        }
        seen += d.seen();
        QCOMPARE(seen.filter(QRegularExpression("^(Key|Play)$")), QStringList({"Key", "Play"}));
        QCOMPARE(d.now().stage, Stage::Playing);
    }
}

// A rig that never confirms the keying: the message stops as a failed keying, with the refusal
// face, released; no sample goes out.
void TestStation::keyingThatIsNeverConfirmedStops()
{
    Desk d(1000);
    d.start();
    const int refusals = d.now().refusals;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("keying was not confirmed"));
    d.clock.advance(5000);
    QCOMPARE(d.now().stage, Stage::Idle);
    QVERIFY(!d.now().onAir);
    QCOMPARE(d.now().refusals, refusals + 1);
    QVERIFY(!d.player.log.contains("Play"));
    QCOMPARE(d.keyer.requests.last(), false);
    // A confirmation that comes after all starts nothing.
    d.keyer.confirm(true);
    QVERIFY(!d.player.log.contains("Play"));
}

void TestStation::repeatPauseReleasesHalfwayThroughTheDelay_data()
{
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("tail");
    QTest::addColumn<int>("released"); // after the end, in ms
    QTest::newRow("tail shorter than half the delay") << 4000 << 500 << 500;
    QTest::newRow("tail as long as the delay") << 1000 << 1000 << 500;
    QTest::newRow("tail longer than the delay") << 1000 << 2000 << 500;
}

// The transmitter is released in the wait before a repeat at the latest half-way through the
// delay: the pause stays a pause, whatever the tail.
void TestStation::repeatPauseReleasesHalfwayThroughTheDelay()
{
    QFETCH(int, delay);
    QFETCH(int, tail);
    QFETCH(int, released);
    Desk d;
    d.settings.Ptt.TailMs = tail;
    d.settings.Memories.MemDelay[0] = delay;
    d.start(0, true);
    for (int round = 0; round < 2; ++round) {
        d.player.finish();
        d.keyer.requests.clear();
        d.clock.advance(released - 1);
        QVERIFY(d.now().onAir);
        d.clock.advance(1);
        QVERIFY(!d.now().onAir);
        QCOMPARE(d.keyer.requests, QList<bool>{false});
        d.clock.advance(delay - released); // the restart keys again
        QVERIFY(d.now().onAir);
        QCOMPARE(d.now().stage, Stage::Playing);
    }
}

// While the keyer cannot key, a message still plays with the refusal face, but the bus says that
// the transmitter is not keyed and that the keyer is not ready, and Play answers false. On the
// air follows the rig's confirmation, and a release it has not confirmed keeps it true.
void TestStation::keyerThatCannotKeyIsToldOnTheBus()
{
    Desk d(1000);
    StationRemote remote(d.station, d.clock, {});
    QObject object;
    KeyerAdaptor bus(&object, remote);
    d.keyer.setLink(PttKeyer::Link::NotConnected);
    QCOMPARE(bus.keyer(), QString("not-connected"));

    const int refusals = d.now().refusals;
    QVERIFY(!bus.Play(1));
    QVERIFY(d.now().refusals > refusals);
    QVERIFY(d.player.log.contains("Play"));
    QCOMPARE(bus.state(), QString("playing"));
    QVERIFY(!bus.onAir());
    QVERIFY(bus.Stop());

    d.keyer.setLink(PttKeyer::Link::Ready);
    QCOMPARE(bus.keyer(), QString("ready"));
    QVERIFY(bus.Play(1));
    QVERIFY(!bus.onAir());
    d.keyer.confirm(true);
    QVERIFY(bus.onAir());
    d.keyer.pendingRelease = true;
    QVERIFY(bus.Stop());
    QVERIFY(bus.onAir());
    d.keyer.setLink(PttKeyer::Link::NoAnswer);
    QCOMPARE(bus.keyer(), QString("no-answer"));
    QVERIFY(bus.onAir());
    d.keyer.pendingRelease = false;
    d.keyer.confirm(false);
    QVERIFY(!bus.onAir());
}

// A start whose output is absent is refused: the refusal face, Play answers false, nothing plays
// or keys, and the state never passes through "playing".
void TestStation::startWithoutItsOutputIsRefused()
{
    Desk d;
    StationRemote remote(d.station, d.clock, {});
    QObject object;
    KeyerAdaptor bus(&object, remote);
    QSignalSpy changes(&bus, &KeyerAdaptor::Changed);
    d.player.outputAbsent = true;
    d.keyer.requests.clear();

    QVERIFY(!bus.Play(2));
    QCOMPARE(d.now().refusals, 1);
    QCOMPARE(d.now().stage, Stage::Idle);
    QCOMPARE(d.now().memory, -1);
    QVERIFY(changes.isEmpty());
    QVERIFY(!d.player.log.contains("Play"));
    QCOMPARE(d.keyer.requests, QList<bool>());
}

// The program's own timer: a tick that lets the next four pass is followed by the sixth.
void TestStation::eventLoopTimerLetsTicksPass()
{
    SystemClock clock;
    QElapsedTimer since;
    std::vector<qint64> ticks;
    std::unique_ptr<Timer> timer;
    timer = clock.timer([&] { ticks.push_back(since.elapsed()), timer->skip(4); }, true);
    since.start();
    timer->start(20);
    QTRY_VERIFY_WITH_TIMEOUT(ticks.size() >= 3, 20000);
    QVERIFY2(ticks[1] >= 20 * 6 && ticks[2] >= 20 * 11, qPrintable(QString::number(ticks[2])));
}

QTEST_MAIN(TestStation)
#include "tst_station.moc"
