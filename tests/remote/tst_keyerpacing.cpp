// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/PrivateBus.h"
#include "tests/support/StationFixture.h"

#include "remote/KeyerService.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingReply>
#include <QSemaphore>
#include <QTest>

#include <atomic>
#include <thread>

// A logger that floods the keyer with calls: the window gets its turn between them, and every
// call is still carried out, in order, and answered.
class TestKeyerPacing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void floodLeavesTheWindowItsTurn();

private:
    PrivateBus m_bus;
};

void TestKeyerPacing::initTestCase()
{
    if (!m_bus.start())
        QSKIP(qPrintable(m_bus.errorString() + " (tools/build.sh installs dbus)"));
}

void TestKeyerPacing::floodLeavesTheWindowItsTurn()
{
    StationFixture f;
    const QString stationName = QStringLiteral("station");
    KeyerService service(f.station->remote());
    QVERIFY(service.start(QDBusConnection::connectToBus(m_bus.address(), stationName)));
    int carriedOut = 0;
    connect(&f.station->remote(), &StationRemote::changed, this, [&] { ++carriedOut; });

    constexpr int Calls = 4000; // each a click on memory 1: it starts, then stops
    QSemaphore sent;
    std::atomic<int> answered = 0;
    std::atomic<int> answeredTrue = 0;
    std::thread logger([&] {
        const QString name = QStringLiteral("logger");
        {
            QDBusConnection client = QDBusConnection::connectToBus(m_bus.address(), name);
            const auto method = [](const char *interface, const char *member) {
                return QDBusMessage::createMethodCall(
                    QStringLiteral("org.voicevocta.Keyer"), QStringLiteral("/Keyer"),
                    QLatin1String(interface), QLatin1String(member));
            };
            std::vector<QDBusPendingCall> calls;
            for (int i = 0; i < Calls; ++i)
                calls.push_back(client.asyncCall(method("org.voicevocta.Keyer1", "Play") << 1));
            // The keyer's connection answers a ping itself, once it has handed every call
            // before it on to the window.
            client.call(method("org.freedesktop.DBus.Peer", "Ping"));
            sent.release();
            for (QDBusPendingCall &call : calls) {
                call.waitForFinished();
                answeredTrue += QDBusPendingReply<bool>(call).value() ? 1 : 0;
                ++answered;
            }
        }
        QDBusConnection::disconnectFromBus(name);
    });
    // The window is busy until every call waits for it; then an event of its own comes.
    sent.acquire();
    int carriedOutAtWindowEvent = -1;
    QMetaObject::invokeMethod(
        this, [&] { carriedOutAtWindowEvent = carriedOut; }, Qt::QueuedConnection);
    const bool allAnswered = QTest::qWaitFor([&] { return answered == Calls; }, 120000);
    logger.join();
    QVERIFY(allAnswered);
    QVERIFY2(carriedOutAtWindowEvent >= 0 && carriedOutAtWindowEvent < Calls / 2,
             qPrintable(QString::number(carriedOutAtWindowEvent)));
    QCOMPARE(carriedOut, Calls);
    QCOMPARE(answeredTrue.load(), Calls);
    QCOMPARE(f.state().Playing(), 0);
    service.stop();
    QDBusConnection::disconnectFromBus(stationName);
}

QTEST_MAIN(TestKeyerPacing)
#include "tst_keyerpacing.moc"
