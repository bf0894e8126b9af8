// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/ptt/HamlibTesting.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/StationFixture.h"

#include "app/SecondRadio.h"
#include "playback/audio/PulseConnection.h"
#include "playback/audio/SoundDevice.h"
#include "ptt/KeyerChoice.h"
#include "tests/support/MonitorCapture.h"
#include "tests/support/PrivateSoundServer.h"
#include "ui/PttSet.h"
#include "ui/SoundSet.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <fcntl.h>

using namespace HamlibTesting;

// Two radios, each keyed through a rigctld of its own, and an OTRSP box on a pseudo-terminal, from
// the settings file as an operator writes it: never both transmitters keyed, while both rigs are
// polled all along; the box gets a radio's transmit focus before it is keyed. One stereo sound
// card split into the two radios' outputs by a private PulseAudio.
// The program started from `settings` (its vocta.ini), with the second radio they give it.
SecondRadio *startTwoRadios(StationFixture &f, const QByteArray &settings, SoundPlayer &player2,
                            SerialLines &lines2)
{
    QFile ini(f.programDir() + QStringLiteral("/vocta.ini"));
    if (!ini.open(QIODevice::WriteOnly) || ini.write(settings) != settings.size())
        return nullptr;
    ini.close();
    f.station->Form_Load();
    return f.station->addSecondRadio(player2, lines2, nullptr);
}

class TestTwoRadios : public QObject
{
    Q_OBJECT

private slots:
    void interlockedThroughTwoRigs();
    void stereoCardSplitInTwo();
    void sharedKeyingIsNotUsedNorLost();
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
    FakeSoundPlayer player2;
    FakeSerialLines lines2;
    SecondRadio *second = startTwoRadios(
        f,
        QStringLiteral("[PTT]\nMethod=CAT\nRigModel=2\nRigPort=%1\n"
                       "[PTT2]\nMethod=CAT\nRigModel=2\nRigPort=%2\n"
                       "[Audio2]\nOutput=radio2\n[SO2R]\nInterlock=wait\nOtrsp=%3\n")
            .arg(rig1.address(), rig2.address(), box.name())
            .toUtf8(),
        player2, lines2);
    QVERIFY(second);
    QFile ini(f.programDir() + QStringLiteral("/vocta.ini"));
    QCOMPARE(f.station->remote().status().radios, 2);
    QTRY_VERIFY_WITH_TIMEOUT(f.station->keyers().current().isReady(), WaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(second->keyers().current().isReady(), WaitMs);

    // Both rigs polled all along.
    bool both = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this,
            [&] { both = both || (rig1.ptt() == 1 && rig2.ptt() == 1); });
    poll.start(100);

    // Lock on radio 1, keyed once TX1 has left for the box; memory 1 asked on radio 2 waits, and
    // keys once radio 1's rig is released.
    f.leftClick(f.window().Command3d2());
    QVERIFY(f.station->station().lockWaiting() && !f.station->station().state().onAir);
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
    // Stereo listening from the menu, saved; the focus swap then moves it to radio 1.
    f.window().menuItem("Stereo")->trigger();
    QTRY_VERIFY(boxRead().contains("RX2S\r"));
    f.window().menuItem("FocusSwap")->trigger();
    QTRY_VERIFY(boxRead().contains("RX1S\r"));
    QVERIFY(ini.open(QIODevice::ReadOnly) && ini.readAll().contains("Stereo=1"));
    QVERIFY(f.station->radios().setFocus(2));
    player2.clearLog();
    f.clickMemory(2);
    QVERIFY(player2.log.contains(QStringLiteral("Open ") + f.state().Memories.MemFile[2]));
    QTRY_COMPARE_WITH_TIMEOUT(rig2.ptt(), 1, WaitMs);
    player2.finish(SoundPlayer::Outcome::Ended);

    // The PTT dialog shows radio 2 on request: its rig cannot be radio 1's; its OK keys radio 2
    // anew and saves [PTT2]. The Sound dialog sets radio 2's level on its player.
    f.station->pttSet().Ptt_Click();
    PttSet *ptt = f.station->pttSet().form();
    ptt->RadioCombo()->activated(1);
    QCOMPARE(ptt->RigPortEdit()->text(), rig2.address());
    ptt->RigPortEdit()->setText(rig1.address());
    ptt->OkButton()->click();
    QVERIFY(ptt->isVisible() && ptt->StatusLabel()->text().contains("Radio 2 cannot"));
    ptt->RigPortEdit()->setText(rig2.address());
    ptt->LeadSpin()->setValue(40);
    ptt->OkButton()->click();
    QVERIFY(!ptt->isVisible());
    QCOMPARE(second->settings().Ptt.LeadMs, 40);
    QCOMPARE(f.state().Ptt.LeadMs, 0);
    f.station->soundSet().Sound_Click();
    f.station->soundSet().form()->RadioCombo()->activated(1);
    f.station->soundSet().form()->HScroll1()->setValue(35);
    QCOMPARE(player2.level(), 35);
    f.station->soundSet().Command1_Click();
    ini.close();
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray saved = ini.readAll();
    QVERIFY2(saved.contains("[PTT2]") && saved.contains("LeadMs=40\n")
                 && saved.contains("Output=radio2\n") && saved.contains("Level=35\n"),
             saved.constData());
    f.station->Exit_Click();
    QCOMPARE(rig2.ptt(), 0);
    QCOMPARE(rig1.ptt(), 0);
    poll.stop();
    QVERIFY2(!both, "both transmitters were keyed at once");
}

void TestTwoRadios::stereoCardSplitInTwo()
{
    PrivateSoundServer server;
    QString error;
    if (!server.start(&error))
        QSKIP(qPrintable("No private PulseAudio server can start here: " + error));
    // The card's left channel is radio 1's output, its right one radio 2's.
    const auto load = [&](const QString &module) {
        return !server.pactl(("load-module " + module).split(' ')).isNull();
    };
    QVERIFY(load("module-null-sink sink_name=card norewinds=1"));
    for (const QString side : {"left", "right"})
        QVERIFY(load(QString("module-remap-sink sink_name=%1 master=card channels=2 remix=no "
                             "master_channel_map=front-%1,front-%1 "
                             "channel_map=front-left,front-right")
                         .arg(side)));
    PulseConnection connection;
    QTRY_COMPARE_WITH_TIMEOUT(connection.state(), PulseConnection::Ready, 30000);
    SoundDevice device1(connection), device2(connection);
    FakeSerialLines lines2;
    StationFixture f(device1, false);
    SecondRadio *second = startTwoRadios(
        f, "[Audio]\nOutput=left\n[Audio2]\nOutput=right\n[PTT2]\nMethod=None\n", device2, lines2);
    QVERIFY(second);
    MonitorCapture left("card.monitor", MonitorCapture::SampleRate, {}, 0);
    MonitorCapture right("card.monitor", MonitorCapture::SampleRate, {}, 1);
    QVERIFY2(left.start(&error) && right.start(&error), qPrintable(error));

    QVERIFY(f.station->remote().play(1, 2));
    QTRY_VERIFY_WITH_TIMEOUT(second->station().state().playing() == 0, 30000);
    QVERIFY(left.catchUp() && right.catchUp());
    const std::vector<float> heard = MonitorCapture::sound(right.samples());
    QVERIFY2(heard.size() > MonitorCapture::SampleRate / 10,
             qPrintable(QString::number(heard.size())));
    const std::vector<float> other = left.samples(); // silence, but for rounding
    QVERIFY(!other.empty() && std::all_of(other.begin(), other.end(), [](float s) {
        return std::abs(s) < 1e-4f;
    }));
}

// A second radio keyed through the first one's rigctld is not keyed at all; a save keeps what
// the operator wrote, so that the file is as it was once the rig is given one of its own.
void TestTwoRadios::sharedKeyingIsNotUsedNorLost()
{
    StationFixture f(false);
    FakeSoundPlayer player2;
    FakeSerialLines lines2;
    const QByteArray shared = "[PTT]\nMethod=CAT\nRigPort=127.0.0.1:9\n"
                              "[PTT2]\nMethod=CAT\nRigPort=127.0.0.1:9\n";
    SecondRadio *second = startTwoRadios(f, shared, player2, lines2);
    QVERIFY(second);
    QVERIFY(!second->keyers().hamlibKeyer()); // no rig connection of its own
    f.station->settings().WriteMem();
    QFile ini(f.programDir() + QStringLiteral("/vocta.ini"));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(ini.readAll().contains("[PTT2]\nMethod=CAT\nRigPort=127.0.0.1:9\n"));
}

QTEST_MAIN(TestTwoRadios)
#include "tst_tworadios.moc"
