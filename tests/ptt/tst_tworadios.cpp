// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/ptt/HamlibTesting.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/StationFixture.h"

#include "app/SecondRadio.h"
#include "ptt/KeyerChoice.h"

#include <QFile>
#include <QTimer>
#include <fcntl.h>

using namespace HamlibTesting;

// Two radios, each keyed through a rigctld of its own, and an OTRSP box on a pseudo-terminal, from
// the settings file as an operator writes it: never both transmitters keyed, while both rigs are
// polled all along; the box gets a radio's transmit focus before it is keyed.
class TestTwoRadios : public QObject
{
    Q_OBJECT

private slots:
    void interlockedThroughTwoRigs();
};

void TestTwoRadios::interlockedThroughTwoRigs()
{
    Rigctld rig1, rig2;
    START_OR_SKIP(rig1);
    START_OR_SKIP(rig2);
    PseudoTerminal box;
    QVERIFY(box.isValid());
    QByteArray boxGot;
    const auto boxRead = [&] {
        char buffer[256];
        ::fcntl(box.master(), F_SETFL, O_NONBLOCK);
        for (ssize_t n; (n = ::read(box.master(), buffer, sizeof buffer)) > 0;)
            boxGot.append(buffer, n);
        return boxGot;
    };
    StationFixture f(false);
    QFile ini(f.programDir() + QStringLiteral("/vocta.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[PTT]\nMethod=CAT\nRigModel=2\nRigPort=%1\n"
                             "[PTT2]\nMethod=CAT\nRigModel=2\nRigPort=%2\n"
                             "[Audio2]\nOutput=radio2\n[SO2R]\nInterlock=wait\nOtrsp=%3\n")
                  .arg(rig1.address(), rig2.address(), box.name())
                  .toUtf8());
    ini.close();
    f.station->Form_Load();
    FakeSoundPlayer player2;
    FakeSerialLines lines2;
    SecondRadio *second = f.station->addSecondRadio(player2, lines2, nullptr);
    QVERIFY(second);
    QCOMPARE(f.station->remote().status().radios, 2);
    QTRY_VERIFY_WITH_TIMEOUT(f.station->keyers().current().isReady(), WaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(second->keyers().current().isReady(), WaitMs);

    // Both rigs polled all along.
    bool both = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this,
            [&] { both = both || (rig1.ptt() == 1 && rig2.ptt() == 1); });
    poll.start(100);

    // Lock on radio 1; memory 1 asked on radio 2 waits, and keys once radio 1's rig is released.
    f.leftClick(f.window().Command3d2());
    QTRY_COMPARE_WITH_TIMEOUT(rig1.ptt(), 1, WaitMs);
    QVERIFY(f.station->remote().play(1, 2));
    QTest::qWait(600);
    QCOMPARE(rig2.ptt(), 0);
    QVERIFY(player2.log.contains(QStringLiteral("Prepare")));
    QVERIFY(!player2.log.contains(QStringLiteral("Play")));
    f.leftClick(f.window().Command3d2());
    QTRY_COMPARE_WITH_TIMEOUT(rig2.ptt(), 1, WaitMs);
    QVERIFY(boxRead().contains("TX2\r"));
    QCOMPARE(rig1.ptt(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(player2.log.contains(QStringLiteral("Play")), WaitMs);
    QCOMPARE(f.station->remote().status().radio, 2);

    // Now radio 1 is held back: its Lock is refused, and no such radio keys anything.
    f.leftClick(f.window().Command3d2());
    QVERIFY(!f.station->station().state().lock);
    for (int radio : {3, -1})
        QVERIFY(!f.station->remote().play(2, radio));
    player2.finish(SoundPlayer::Outcome::Ended);
    QTRY_COMPARE_WITH_TIMEOUT(rig2.ptt(), 0, WaitMs);

    // Pause gives radio 2 the focus: the next click plays there.
    QVERIFY(f.station->radios().setFocus(2));
    QTRY_VERIFY(boxRead().contains("RX2\r"));
    QVERIFY(boxGot.startsWith("?NAME\r"));
    player2.clearLog();
    f.clickMemory(2);
    QVERIFY(player2.log.contains(QStringLiteral("Open ") + f.state().Memories.MemFile[2]));
    QTRY_COMPARE_WITH_TIMEOUT(rig2.ptt(), 1, WaitMs);
    f.station->Exit_Click();
    QCOMPARE(rig2.ptt(), 0);
    QCOMPARE(rig1.ptt(), 0);
    poll.stop();
    QVERIFY2(!both, "both transmitters were keyed at once");
}

QTEST_MAIN(TestTwoRadios)
#include "tst_tworadios.moc"
