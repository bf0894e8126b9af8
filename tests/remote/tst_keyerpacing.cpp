// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/PrivateBus.h"
#include "tests/support/StationFixture.h"

#include "remote/KeyerService.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingReply>
#include <QSemaphore>
#include <QTest>

#include <atomic>
#include <thread>

// A logger floods the keyer with calls: the window's own event queued behind them comes before
// any of them, and every call is still carried out, in order, and answered.
class TestKeyerPacing : public QObject
{
    Q_OBJECT

private slots:
    void floodLeavesTheWindowItsTurn();
};

void TestKeyerPacing::floodLeavesTheWindowItsTurn()
{
    PrivateBus bus;
    if (!bus.start())
        QSKIP(qPrintable(bus.errorString() + " (tools/build.sh installs dbus)"));
    StationFixture f;
    KeyerService service(f.station->remote());
    QVERIFY(service.start(QDBusConnection::connectToBus(bus.address(), "station")));
    // Each call either starts the message or stops it: count the changes between the two.
    int carriedOut = 0;
    bool playing = false;
    connect(&f.station->remote(), &StationRemote::changed, this, [&] {
        const bool now = f.now().playing() != 0;
        carriedOut += now != playing ? 1 : 0;
        playing = now;
    });

    constexpr int Calls = 4000; // each a click on memory 1: it starts, then stops
    QSemaphore sent;
    std::atomic<int> answered = 0;
    std::thread logger([&] {
        {
            QDBusConnection client = QDBusConnection::connectToBus(bus.address(), "logger");
            const auto call = [](const char *interface, const char *member) {
                return QDBusMessage::createMethodCall("org.voicevocta.Keyer", "/Keyer", interface,
                                                      member);
            };
            std::vector<QDBusPendingCall> calls;
            for (int i = 0; i < Calls; ++i)
                calls.push_back(client.asyncCall(call("org.voicevocta.Keyer1", "Play") << 1));
            // The keyer's connection answers a ping itself, once it has handed every call
            // before it on to the window.
            client.call(call("org.freedesktop.DBus.Peer", "Ping"));
            sent.release();
            for (QDBusPendingCall &pending : calls)
                answered += QDBusPendingReply<bool>(pending).value() ? 1 : 0; // waits for it
        }
        QDBusConnection::disconnectFromBus("logger");
    });
    // The window is held until every call waits for it; then an event of its own comes.
    sent.acquire();
    int carriedOutAtWindowEvent = -1;
    QMetaObject::invokeMethod(
        this, [&] { carriedOutAtWindowEvent = carriedOut; }, Qt::QueuedConnection);
    const bool allAnswered = QTest::qWaitFor([&] { return answered == Calls; }, 120000);
    logger.join();
    QVERIFY(allAnswered); // each with true
    QCOMPARE(carriedOutAtWindowEvent, 0);
    QCOMPARE(carriedOut, Calls);
    QCOMPARE(f.now().playing(), 0);
}

QTEST_MAIN(TestKeyerPacing)
#include "tst_keyerpacing.moc"
