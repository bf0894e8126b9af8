// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/faults/FaultWatch.h"
#include "tests/support/StationFixture.h"
#include "ui/ComSet.h"

#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>

using namespace FaultWatch;

// The serial port's adapter is pulled out while the transmitter is keyed: the port layer reports
// the port gone, as Qt SerialPort's resource error does. The message plays on, the station
// goes on asking for the right levels, and when the adapter is back the next "OK" puts the
// transmitter where the station is: released, unless Lock keeps it keyed.
class TestPortFaults : public QObject
{
    Q_OBJECT

private slots:
    void unpluggedWhileKeyed_data();
    void unpluggedWhileKeyed();
    void programEndsWhileUnplugged();
};

namespace {

// "OK" in the COM dialog.
void confirmComDialog(StationFixture &f)
{
    f.window().menuItem(QStringLiteral("Parameters"))->trigger();
    f.leftClick(f.station->comSet().form()->Command1());
}

} // namespace

void TestPortFaults::unpluggedWhileKeyed_data()
{
    QTest::addColumn<bool>("repeat");
    QTest::addColumn<bool>("lock");
    QTest::newRow("message") << false << false;
    QTest::newRow("message under Lock") << false << true;
    QTest::newRow("repeating message") << true << false;
    QTest::newRow("repeating message under Lock") << true << true;
}

void TestPortFaults::unpluggedWhileKeyed()
{
    QFETCH(bool, repeat);
    QFETCH(bool, lock);

    StationFixture f;
    keyThroughRts(f);
    const QByteArray saved = fileBytes(f.state().Places.IniFile);
    f.window().Check3d1(0)->setChecked(repeat);
    f.state().Memories.MemDelay[0] = 1000;
    if (lock)
        f.leftClick(f.window().Command3d2());
    f.clickMemory(0);
    QVERIFY(keyed(f));

    UiWatch watch;
    f.lines.unplug();
    QVERIFY(!f.lines.isOpen());
    QVERIFY(eventLoopAnswers());
    // The message plays on; nothing is said until the operator asks for the port again.
    QCOMPARE(f.now().playing(), 1);
    QCOMPARE(f.face(f.memory(0)), 2);
    QVERIFY(f.dialogs.messages.isEmpty());

    f.device.finish();
    if (repeat) {
        QCOMPARE(f.window().Panel3d1()->text(), QStringLiteral("Pause"));
        f.clock.advance(1000); // plays again, keying
        QVERIFY(f.onAirPictureShown());
        QCOMPARE(f.lines.rts(), std::optional<bool>(true));
        f.clickMemory(0); // the operator ends the cycle
    }
    QCOMPARE(f.now().playing(), 0);
    QCOMPARE(f.window().Panel3d1()->text(), QStringLiteral("Idle"));
    QCOMPARE(f.lines.rts(), std::optional<bool>(lock));

    // "OK" while the adapter is out says so, and leaves the port closed.
    confirmComDialog(f);
    QCOMPARE(f.dialogs.messages, QStringList{"No such file or directory"});
    QVERIFY(!f.lines.isOpen());

    // Plugged in again: the port opens at the station's level.
    f.lines.plugIn();
    confirmComDialog(f);
    QVERIFY(f.lines.isOpen());
    QCOMPARE(f.lines.wireSinceOpen(), QStringList{lock ? "RTS 1" : "RTS 0"});
    QCOMPARE(keyed(f), lock);

    // The operator goes on: another memory keys and releases.
    f.clickMemory(1);
    QVERIFY(keyed(f));
    f.device.finish();
    QCOMPARE(f.now().playing(), 0);
    QCOMPARE(keyed(f), lock);
    if (lock) {
        f.leftClick(f.window().Command3d2());
        QVERIFY(!keyed(f));
    }
    QCOMPARE(f.dialogs.messages.size(), 1);
    QVERIFY2(watch.longestGap() < ResponsiveMs, qPrintable(QString::number(watch.longestGap())));
    QCOMPARE(fileBytes(f.state().Places.IniFile), saved);
}

void TestPortFaults::programEndsWhileUnplugged()
{
    StationFixture f;
    keyThroughRts(f);
    f.clickMemory(0);
    QVERIFY(keyed(f));
    f.lines.unplug();
    f.lines.clearLogs();

    f.window().menuItem(QStringLiteral("Exit"))->trigger();
    // The receive level is asked for (it reaches the adapter if it comes back), the settings are
    // saved, and nothing is said.
    QCOMPARE(f.lines.log, QStringList({"RTS 0", "Close"}));
    QVERIFY(f.dialogs.messages.isEmpty());
    QVERIFY(fileBytes(f.state().Places.IniFile).contains("[MEMORY_6]"));
}

QTEST_MAIN(TestPortFaults)
#include "tst_portfaults.moc"
