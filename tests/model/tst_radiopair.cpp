// SPDX-License-Identifier: GPL-3.0-or-later
// Two radios under one owner, over random sequences of the operator's, other programs', the
// players' and the rigs' events: never two transmitters keyed at once, whatever comes.
#include "station/AppState.h"
#include "station/RadioPair.h"
#include "station/Station.h"
#include "tests/support/FakeKeyer.h"
#include "tests/support/FakeSoundPlayer.h"
#include "tests/support/VirtualClock.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

struct Radio
{
    explicit Radio(VirtualClock &clock, int answerMs)
        : keyer(answerMs), station(settings, player, clock)
    {
        for (int i = 0; i < 6; ++i)
            settings.Memories.MemFile[i] = QStringLiteral("/msg%1.wav").arg(i + 1);
        settings.Memories.MemRepeat[1] = true;
        settings.Memories.MemDelay[1] = 500;
        settings.Ptt.TailMs = 100;
        station.setKeyer(&keyer);
        station.handle(StationEvents::StartUp{});
    }
    // The transmitter may be keyed: asked last to key, or not yet confirmed released.
    bool mayTransmit() const
    {
        return (!keyer.requests.isEmpty() && keyer.requests.last()) || keyer.confirmedOnAir;
    }
    AppState settings;
    FakeSoundPlayer player;
    FakeKeyer keyer;
    Station station;
};

} // namespace

class TestRadioPair : public QObject
{
    Q_OBJECT
private slots:
    void neverTwoTransmittersAtOnce_data();
    void neverTwoTransmittersAtOnce();
    void refusedOrWaitingWhileTheOtherIsKeyed();
    void repeatsTakeTurns();
};

void TestRadioPair::neverTwoTransmittersAtOnce_data()
{
    QTest::addColumn<int>("rule");
    QTest::addColumn<int>("answerMs");
    QTest::addColumn<bool>("alternate");
    QTest::newRow("refuse, rigs that confirm") << int(InterlockRule::Refuse) << 1000 << false;
    QTest::newRow("wait, rigs that confirm") << int(InterlockRule::Wait) << 1000 << false;
    QTest::newRow("wait, lines that key at once") << int(InterlockRule::Wait) << 0 << false;
    QTest::newRow("refuse, taking turns") << int(InterlockRule::Refuse) << 1000 << true;
    QTest::newRow("wait, taking turns") << int(InterlockRule::Wait) << 0 << true;
}

void TestRadioPair::neverTwoTransmittersAtOnce()
{
    QFETCH(int, rule);
    QFETCH(int, answerMs);
    QFETCH(bool, alternate);
    int keyedEvents = 0;
    for (quint32 seed = 1; seed <= 300; ++seed) {
        QRandomGenerator random(seed);
        VirtualClock clock;
        Radio one(clock, answerMs), two(clock, answerMs);
        RadioPair pair(one.station);
        pair.setSecond(&two.station, InterlockRule(rule));
        pair.setAlternate(alternate);
        Radio *radios[] = {&one, &two};
        for (int e = 0; e < 300; ++e) {
            Radio &r = *radios[random.bounded(2)];
            const int memory = random.bounded(6);
            QString what;
            switch (random.bounded(12)) {
            case 0:
                pair.handle(StationEvents::MemoryClick{memory});
                what = "click";
                break;
            case 1:
                pair.handleOn(&r == &one ? 1 : 2, StationEvents::MemoryClick{memory});
                what = "play on";
                break;
            case 2:
                pair.handle(StationEvents::LockClick{});
                what = "Lock";
                break;
            case 3:
                pair.handle(StationEvents::StandbyClick{});
                what = "standby";
                break;
            case 4:
                pair.handle(StationEvents::MessageStop{});
                what = "stop";
                break;
            case 5:
                pair.swapFocus();
                what = "focus";
                break;
            case 6:
                r.player.answerPrepare();
                what = "prepared";
                break;
            case 7:
                r.player.finish();
                what = "ended";
                break;
            case 8:
            case 9:
                if (!r.keyer.requests.isEmpty())
                    r.keyer.confirm(r.keyer.requests.last());
                what = "confirm";
                break;
            default:
                clock.advance(QList<int>{10, 100, 600, 3000}[random.bounded(4)]);
                what = "time";
                break;
            }
            keyedEvents += one.mayTransmit() || two.mayTransmit();
            if (one.mayTransmit() && two.mayTransmit())
                QFAIL(qPrintable(
                    QStringLiteral("seed %1, event %2 (%3): both transmitters may be keyed")
                        .arg(seed)
                        .arg(e + 1)
                        .arg(what)));
        }
    }
    QVERIFY2(keyedEvents > 1000, "the sequences key the radios");
}

// The operator's view: the other radio's start is refused (the reason said) while the first one is
// keyed, or, with Interlock=wait, keys once the first one's release is confirmed.
void TestRadioPair::refusedOrWaitingWhileTheOtherIsKeyed()
{
    for (const InterlockRule rule : {InterlockRule::Refuse, InterlockRule::Wait}) {
        VirtualClock clock;
        Radio one(clock, 1000), two(clock, 1000);
        RadioPair pair(one.station);
        pair.setSecond(&two.station, rule);
        QCOMPARE(pair.handle(StationEvents::LockClick{}).outcome, Answer::Outcome::Done);
        one.keyer.confirm(true);
        QVERIFY(pair.keyed(1));
        const Answer answer = pair.handleOn(2, StationEvents::MemoryClick{0});
        two.player.answerPrepare();
        QVERIFY(!two.keyer.requests.contains(true));
        if (rule == InterlockRule::Refuse) {
            QCOMPARE(answer, Answer::refused(Answer::Reason::Interlocked));
            QVERIFY(!two.station.state().playing());
            QCOMPARE(pair.handleOn(2, StationEvents::LockClick{}),
                     Answer::refused(Answer::Reason::Interlocked));
            continue;
        }
        // Waiting: Lock released, the rig confirms the release, then radio 2 keys.
        QVERIFY(two.station.state().playing());
        pair.handleOn(1, StationEvents::LockClick{});
        QVERIFY(!two.keyer.requests.contains(true));
        one.keyer.confirm(false);
        QCOMPARE(two.keyer.requests.last(), true);
        QCOMPARE(pair.radio(), 2);
    }
}

// Dueling CQ: a repeating memory plays on radio 1, the delay, radio 2, the delay, radio 1 ...; a
// radio busy with a message of its own keeps it, and the turn stays where it is.
void TestRadioPair::repeatsTakeTurns()
{
    VirtualClock clock;
    Radio one(clock, 0), two(clock, 0);
    RadioPair pair(one.station);
    pair.setSecond(&two.station, InterlockRule::Wait);
    pair.setAlternate(true);
    pair.handle(StationEvents::MemoryClick{1}); // memory 2 repeats after 500 ms
    QCOMPARE(one.player.log.count(QStringLiteral("Play")), 1);
    one.player.finish();
    clock.advance(500);
    QVERIFY(!one.station.state().playing());
    QCOMPARE(two.player.log.count(QStringLiteral("Play")), 1);
    QCOMPARE(pair.radio(), 2);
    two.player.finish();
    clock.advance(500);
    QCOMPARE(one.player.log.count(QStringLiteral("Play")), 2);
    QVERIFY(!two.station.state().playing());
    // Radio 2 busy with memory 1 of its own: the turn stays on radio 1.
    pair.handleOn(2, StationEvents::MemoryClick{0});
    one.player.finish();
    clock.advance(500);
    QVERIFY(one.station.state().playing());
    QVERIFY(two.station.state().playing());
    QCOMPARE(two.station.state().memory, 0);
}

QTEST_GUILESS_MAIN(TestRadioPair)
#include "tst_radiopair.moc"
