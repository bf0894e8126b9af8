// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/KeyerAdaptor.h"
#include "remote/KeyerService.h"
#include "tests/support/StationFixture.h"
#include "tests/support/WindowKeys.h"

#include <QApplication>
#include <QRegularExpression>
#include <QTest>

// Listening to a memory before it is sent: Ctrl+F1..F6 and the bus's Preview play it on the
// operator's own output with a player of its own; nothing keys, the station stays as it was.
class TestMemoryPreview : public QObject
{
    Q_OBJECT

private slots:
    void previewNeverKeys();
    void previewRefused_data();
    void previewRefused();
    void messageEndsThePreview();
};

namespace {

// A station keyed through RTS, with a monitor output of its own and a preview player.
void setUp(StationFixture &f, FakeSoundPlayer &player)
{
    f.station->setPreviewPlayer(&player);
    f.state().Audio.AudioOutput = "rig";
    f.state().Audio.AudioMonitor = "speakers";
    f.state().Audio.MonitorLevel = 40;
    f.keyThroughRts();
    f.lines.clearLogs();
    f.device.clearLog();
}
} // namespace

void TestMemoryPreview::previewNeverKeys()
{
    StationFixture f;
    FakeSoundPlayer player;
    setUp(f, player);
    const StationState before = f.now();
    showActive(f);

    press(Qt::Key_F2, Qt::ControlModifier);
    QCOMPARE(player.commands(), (QStringList{"Close", "Open", "Play"}));
    QCOMPARE(player.fileName(), f.state().Memories.MemFile[1]);
    QCOMPARE(player.output(), QString("speakers"));
    QCOMPARE(player.level(), 40);
    // Esc stops it, and goes no further.
    press(Qt::Key_Escape);
    QCOMPARE(player.mode(), SoundPlayer::Mode::NotReady);

    // The bus's Preview likewise.
    KeyerService service(f.station->remote());
    service.adaptor().setPreview(
        [&f](int memory) { return f.station->memoryPreview()->preview(memory); });
    QVERIFY(service.adaptor().Preview(3));
    QCOMPARE(player.fileName(), f.state().Memories.MemFile[2]);
    QCOMPARE(player.mode(), SoundPlayer::Mode::Playing);
    player.finish();

    // Not one keying request, nothing on the station's player, the station as it was.
    QVERIFY(f.lines.log.isEmpty());
    QVERIFY(f.device.log.isEmpty());
    QCOMPARE(f.now(), before);
}

void TestMemoryPreview::previewRefused_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("monitor");
    QTest::addColumn<bool>("messagePlays");
    QTest::addColumn<QString>("said");
    QTest::newRow("while a message plays") << "rig"
                                           << "speakers" << true << "a message plays";
    QTest::newRow("both the default output") << ""
                                             << "" << false << "the transmitter's output";
    QTest::newRow("the monitor is the rig's") << "rig"
                                              << "rig" << false << "the transmitter's output";
}

void TestMemoryPreview::previewRefused()
{
    QFETCH(QString, output);
    QFETCH(QString, monitor);
    QFETCH(bool, messagePlays);
    QFETCH(QString, said);
    StationFixture f;
    FakeSoundPlayer player;
    setUp(f, player);
    f.state().Audio.AudioOutput = output;
    f.state().Audio.AudioMonitor = monitor;
    if (messagePlays)
        f.clickMemory(0);
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Preview of memory 2 refused: .*" + said));
    QVERIFY(!f.station->memoryPreview()->preview(2));
    QVERIFY(player.log.isEmpty());
}

void TestMemoryPreview::messageEndsThePreview()
{
    StationFixture f;
    FakeSoundPlayer player;
    setUp(f, player);
    QVERIFY(f.station->memoryPreview()->preview(1));
    f.clickMemory(0);
    QCOMPARE(f.now().playing(), 1);
    QVERIFY(player.mode() != SoundPlayer::Mode::Playing);
}

QTEST_MAIN(TestMemoryPreview)
#include "tst_memorypreview.moc"
