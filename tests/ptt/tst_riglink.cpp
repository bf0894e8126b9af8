// SPDX-License-Identifier: GPL-3.0-or-later
// What the keyer says of the transmitter where the link to rigctld is slow, goes away or comes
// back, and where another program keyed the rig: a real rigctld, reached through a link that
// delays the requests or the answers, and read directly on a connection of the test's own.

#include "tests/ptt/HamlibTesting.h"
#include "tests/ptt/SlowLink.h"
#include "tests/support/StationFixture.h"
#include "tests/support/StderrCapture.h"

#include "ptt/KeyedRecord.h"
#include "ptt/KeyerChoice.h"

#include <QTemporaryDir>

using namespace HamlibTesting;
using namespace std::chrono_literals;

namespace {

// A runtime folder of the test's own, for the records of what was keyed.
class RuntimeFolder
{
public:
    RuntimeFolder() : m_before(qgetenv("XDG_RUNTIME_DIR"))
    {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_folder.path()));
    }
    ~RuntimeFolder() { qputenv("XDG_RUNTIME_DIR", m_before); }

private:
    QTemporaryDir m_folder;
    QByteArray m_before;
};

// Another program's request to the rig, on a connection of its own.
bool setPtt(quint16 port, bool keyed)
{
    const int fd = LocalSocket::connectTo(port);
    char answer[32] = {};
    const bool done = fd >= 0 && ::send(fd, keyed ? "T 1\n" : "T 0\n", 4, MSG_NOSIGNAL) == 4
                      && ::recv(fd, answer, 31, 0) > 0 && QByteArray(answer).startsWith("RPRT 0");
    if (fd >= 0)
        ::close(fd);
    return done;
}

} // namespace

class TestRigLink : public QObject
{
    Q_OBJECT

private slots:
    void slowLinkStillReleases_data();
    void slowLinkStillReleases();
    void lockFollowsARigctldThatComesBack();
    void rigKeyedByAnotherProgramIsLeftAlone();
};

void TestRigLink::slowLinkStillReleases_data()
{
    QTest::addColumn<SlowLink::Way>("way");
    QTest::addColumn<int>("delayMs");
    QTest::newRow("answers 1.5 s late") << SlowLink::Way::Answers << 1500;
    QTest::newRow("requests 1.5 s late") << SlowLink::Way::Requests << 1500;
    QTest::newRow("answers 3 s late") << SlowLink::Way::Answers << 3000;
    QTest::newRow("requests 3 s late") << SlowLink::Way::Requests << 3000;
}

// Lock for 0.3 s on a slow link: the release goes behind the keying on the same connection, so
// the rig is keyed no longer than the link's own delay and a second; the keyer says it may be
// keyed until the rig has confirmed the release.
void TestRigLink::slowLinkStillReleases()
{
    QFETCH(SlowLink::Way, way);
    QFETCH(int, delayMs);
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    SlowLink link(rigctld.port(), way, std::chrono::milliseconds(delayMs));
    // Its first answer is late, and said so, once: from then on the link's delay is allowed for.
    StderrCapture capture;
    HamlibKeyer keyer(rigModule(), cat(link.address()));
    QSignalSpy confirmed(&keyer, &PttKeyer::confirmed);
    keyer.open();
    QTRY_VERIFY_WITH_TIMEOUT(keyer.isReady() && lastConfirmed(confirmed, false),
                             4 * delayMs + WaitMs);

    KeyedStretch stretch(rigctld.port());
    keyer.setOnAir(true);
    QVERIFY(keyer.mayBeKeyed());
    QTest::qWait(300);
    keyer.setOnAir(false);
    QVERIFY(keyer.mayBeKeyed());
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, false) && !keyer.mayBeKeyed(),
                             3 * delayMs + WaitMs);
    QCOMPARE(rigctld.ptt(), 0);
    const qint64 keyed = stretch.stop();
    QVERIFY2(keyed > 0 && keyed <= delayMs + 1000, qPrintable(QString::number(keyed)));
    // A keying confirmed late still counts: the next one is confirmed too.
    keyer.setOnAir(true);
    QTRY_VERIFY_WITH_TIMEOUT(lastConfirmed(confirmed, true), 3 * delayMs + WaitMs);
    keyer.shutdown(3 * delayMs + WaitMs);
    QCOMPARE(rigctld.ptt(), 0);
    QVERIFY2(capture.text().count("voicevocta: ") <= 2, capture.text().constData());
}

// Lock across a rigctld that goes away and comes back: the keyer notices without a request,
// says so once, and keys the new rigctld again; across an outage of the link, the same.
void TestRigLink::lockFollowsARigctldThatComesBack()
{
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    SlowLink link(rigctld.port(), SlowLink::Way::Answers, 0ms);
    StationFixture f;
    f.state().Ptt.PttMethod = KeyingMethod::Cat;
    f.state().Ptt.RigPort = link.address();
    f.station->keyers().apply();
    const PttKeyer &keyer = f.station->keyers().current();
    QTRY_VERIFY_WITH_TIMEOUT(keyer.isReady(), WaitMs);
    StderrCapture capture;
    f.leftClick(f.window().Command3d2());
    QTRY_VERIFY_WITH_TIMEOUT(rigctld.ptt() == 1 && f.now().transmitting, WaitMs);

    rigctld.kill();
    QTRY_VERIFY_WITH_TIMEOUT(!keyer.isReady(), WaitMs);
    QVERIFY(f.now().lock);
    QVERIFY2(rigctld.start(rigctld.port()), qPrintable(rigctld.error()));
    QTRY_VERIFY_WITH_TIMEOUT(keyer.isReady() && rigctld.ptt() == 1, WaitMs);
    QTRY_VERIFY(f.now().transmitting);

    link.setStopped(true);
    QTRY_COMPARE_WITH_TIMEOUT(keyer.link(), PttKeyer::Link::NoAnswer, WaitMs);
    QVERIFY(f.now().transmitting); // it may be keyed: it is said so
    link.setStopped(false);
    QTRY_VERIFY_WITH_TIMEOUT(keyer.isReady(), WaitMs);
    f.leftClick(f.window().Command3d2());
    QTRY_VERIFY_WITH_TIMEOUT(rigctld.ptt() == 0 && !f.now().transmitting, WaitMs);
    const QByteArray said = capture.text();
    QCOMPARE(said.count("voicevocta: PTT: No answer from rigctld"), 2);
    QCOMPARE(said.count("answers again"), 2);
}

// A rig that another program keyed is left keyed, said so, and never keyed over; a keying that
// an earlier run of this program left is released.
void TestRigLink::rigKeyedByAnotherProgramIsLeftAlone()
{
    RuntimeFolder runtime;
    Rigctld rigctld;
    START_OR_SKIP(rigctld);
    QVERIFY(setPtt(rigctld.port(), true));
    StationFixture f;
    f.state().Ptt.PttMethod = KeyingMethod::Cat;
    f.state().Ptt.RigPort = rigctld.address();
    f.station->keyers().apply();
    const PttKeyer &keyer = f.station->keyers().current();
    QTRY_COMPARE_WITH_TIMEOUT(keyer.link(), PttKeyer::Link::KeyedElsewhere, WaitMs);
    QTRY_VERIFY(f.now().transmitting);
    const int refusals = f.now().refusals;
    f.leftClick(f.window().Command3d2()); // Lock
    QVERIFY(!f.now().lock && f.now().refusals > refusals);
    QTest::qWait(500);
    QCOMPARE(rigctld.ptt(), 1);

    QVERIFY(setPtt(rigctld.port(), false));
    QTRY_VERIFY_WITH_TIMEOUT(keyer.isReady() && !f.now().transmitting, WaitMs);
    f.station->keyers().shutdown();

    // An earlier run of this program that ended with the rig keyed.
    HamlibSettings settings = cat(rigctld.address());
    QFile record(KeyedRecord::fileOf(settings));
    QVERIFY(QDir().mkpath(QFileInfo(record).path()));
    QVERIFY(record.open(QIODevice::WriteOnly));
    record.write("999999999 1\n");
    record.close();
    QVERIFY(setPtt(rigctld.port(), true));
    HamlibKeyer again(rigModule(), settings);
    OPEN_ON(again, rigctld);
    QCOMPARE(rigctld.ptt(), 0);
    QVERIFY(!record.exists());
}

QTEST_MAIN(TestRigLink)
#include "tst_riglink.moc"
