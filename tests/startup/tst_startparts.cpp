// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/PrivateBus.h"
#include "tests/support/PrivateSoundServer.h"
#include "tests/support/ProgramProcess.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

// What the program has loaded once it has started: a station keyed through its serial lines, with
// a sound server that answers, has none of its optional parts in memory. Each is loaded when it
// is first used.
class TestStartParts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void optionalPartNotLoaded_data();
    void optionalPartNotLoaded();

private:
    PrivateSoundServer m_server;
    PrivateBus m_bus;
    std::unique_ptr<ProgramProcess> m_program;
    QByteArray m_maps; // of the program, once started
};

namespace {
constexpr int Wait = 60000; // ms, for a loaded machine
}

void TestStartParts::initTestCase()
{
    QString error;
    if (!m_bus.start())
        QSKIP(qPrintable(m_bus.errorString() + " (tools/build.sh installs dbus)"));
    if (!m_server.start(&error))
        QSKIP(qPrintable("No private PulseAudio server can start here: " + error));
    // The settings at their defaults: serial keying.
    m_program = std::make_unique<ProgramProcess>(m_bus.environment());
    QVERIFY(m_program->running());
    // Its name on the bus comes right before the window; a call answered comes from the running
    // event loop, once start-up is over.
    QDBusConnectionInterface *bus
        = QDBusConnection::connectToBus(m_bus.address(), "test").interface();
    QVERIFY2(QTest::qWaitFor(
                 [&] { return bus->isServiceRegistered("org.voicevocta.Keyer").value(); }, Wait),
             qPrintable(m_program->said()));
    QProcess status;
    status.setProcessEnvironment(m_bus.environment());
    status.start(QStringLiteral(VV_PROGRAM_DIR "/voicevocta-send"), {"status"});
    QVERIFY(status.waitForFinished(Wait));
    QCOMPARE(status.exitCode(), 0);

    QFile maps(QStringLiteral("/proc/%1/maps").arg(m_program->pid()));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    m_maps = maps.readAll();
    QVERIFY(m_maps.contains("libQt6Widgets.so"));
}

void TestStartParts::cleanupTestCase()
{
    if (m_program)
        QVERIFY(m_program->end());
}

void TestStartParts::optionalPartNotLoaded_data()
{
    QTest::addColumn<QByteArray>("library");
    QTest::newRow("hamlib") << QByteArray("/libhamlib.so");
    QTest::newRow("FluidSynth") << QByteArray("/libfluidsynth.so");
    QTest::newRow("SDL") << QByteArray("/libSDL2-2.0.so");
}

void TestStartParts::optionalPartNotLoaded()
{
    QFETCH(QByteArray, library);
    QVERIFY2(!m_maps.contains(library), library.constData());
}

QTEST_GUILESS_MAIN(TestStartParts)
#include "tst_startparts.moc"
