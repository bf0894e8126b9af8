// SPDX-License-Identifier: GPL-3.0-or-later
// The station's safety rules over random sequences of events: the operator's clicks and the
// bus's calls, the player's ends and late answers, a keyer that keys at once or a rig that
// confirms late, never, or loses its link, the COM dialog's lines, and time, from random settings
// (lead, tail and time-out among them). After every event the rules must hold: the keyer holds
// what the station shows, standby never keys, nothing keys without Lock, a message on the air or
// its tail (cut half-way through a repeat's delay), a message that cannot sound is never keyed
// for and no message sounds before its key, no transmission outlasts the time-out, a start
// without its output changes nothing, the bus tells the keyer's truth, and nothing reaches the
// serial wire before the port opened.
//
// Every sequence comes from its seed. A failure prints the seed, the events up to the failing one
// and the differences. Environment:
//   VV_MODEL_SEQUENCES=n   sequences to run (default 10000)
//   VV_MODEL_EVENTS=n      events per sequence (default 200)
//   VV_MODEL_FIRST=n       seed of the first sequence (default 1)
//   VV_MODEL_SEED=n        replay only the sequence with seed n, printing every event
//   VV_MODEL_KEEP_GOING=1  run every sequence to its first difference and list them all
//
// The long run, outside CTest (from the build folder):
//   VV_MODEL_SEQUENCES=100000 QT_QPA_PLATFORM=offscreen tests/model/tst_stationmodel
// and to replay a seed it printed:
//   VV_MODEL_SEED=4711 QT_QPA_PLATFORM=offscreen tests/model/tst_stationmodel

#include "tests/model/StationRun.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

int environment(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

// The station's word of a time-out and of a keying never confirmed: expected, and kept off the
// test's output.
QtMessageHandler g_previousHandler = nullptr;
void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg
        && (message.contains(QLatin1String("without a break: released (time-out)"))
            || message.contains(QLatin1String("keying was not confirmed"))))
        return;
    g_previousHandler(type, context, message);
}

} // namespace

class TestStationModel : public QObject
{
    Q_OBJECT

public:
    // A long run takes hours, longer than the test library's own limit for one test function;
    // CTest's time limit guards the runs in CI.
    static void initMain()
    {
        if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
            qputenv("QTEST_FUNCTION_TIMEOUT", QByteArray::number(24 * 3600 * 1000));
    }

private slots:
    void initTestCase() { g_previousHandler = qInstallMessageHandler(quietHandler); }
    void cleanupTestCase() { qInstallMessageHandler(g_previousHandler); }
    void randomSequences_data();
    void randomSequences();
};

// The sequences in rows of at most 500, each with its line of figures; one row for a replayed
// seed.
void TestStationModel::randomSequences_data()
{
    QTest::addColumn<int>("first"); // seed of the row's first sequence
    QTest::addColumn<int>("count");

    bool replay = false;
    const int seed = qEnvironmentVariableIntValue("VV_MODEL_SEED", &replay);
    if (replay) {
        QTest::addRow("seed %d", seed) << seed << 1;
        return;
    }
    const int first = environment("VV_MODEL_FIRST", 1);
    const int sequences = environment("VV_MODEL_SEQUENCES", 10000);
    constexpr int RowSize = 500;
    for (int done = 0; done < sequences; done += RowSize) {
        const int count = std::min(RowSize, sequences - done);
        QTest::addRow("seeds %d to %d", first + done, first + done + count - 1)
            << first + done << count;
    }
}

void TestStationModel::randomSequences()
{
    QFETCH(int, first);
    QFETCH(int, count);
    const int events = environment("VV_MODEL_EVENTS", 200);
    const bool verbose = qEnvironmentVariableIsSet("VV_MODEL_SEED");
    // Every sequence to its first broken rule, one line each, instead of stopping at the first.
    const bool keepGoing = qEnvironmentVariableIsSet("VV_MODEL_KEEP_GOING");

    QElapsedTimer clock;
    clock.start();
    QString firstReport;
    int failed = 0;
    StationRun::Coverage coverage;
    for (int n = 0; n < count; ++n) {
        const quint32 seed = quint32(first + n);
        StationRun run(seed, verbose);
        for (int e = 0; e < events; ++e) {
            QString failure;
            if (run.step(failure, coverage))
                continue;
            ++failed;
            if (firstReport.isEmpty()) {
                firstReport = QStringLiteral("Sequence with seed %1 broke a rule at event %2 "
                                             "(replay: VV_MODEL_SEED=%1):\n")
                                  .arg(seed)
                                  .arg(e + 1);
                const QStringList &played = run.played();
                for (int i = 0; i < played.size(); ++i)
                    firstReport += QStringLiteral("%1  %2\n").arg(i + 1, 4).arg(played[i]);
                firstReport += failure;
            }
            if (!keepGoing)
                QFAIL(qPrintable(firstReport));
            qInfo("seed %u, event %d: %s", seed, e + 1,
                  qPrintable(failure.section(QLatin1Char('\n'), 0, 0)));
            break;
        }
    }
    qInfo("%d sequences of %d events in %lld ms; %s", count, events, qlonglong(clock.elapsed()),
          qPrintable(coverage.states().join(QStringLiteral(", "))));
    // A generator that no longer reaches every event and state would pass without testing it.
    if (count >= 100 && events >= 100 && !failed) {
        const QStringList missing = coverage.missing();
        QVERIFY2(missing.isEmpty(),
                 qPrintable(QStringLiteral("never came: ") + missing.join(", ")));
    }
    if (failed)
        QFAIL(qPrintable(
            QStringLiteral("%1 of %2 sequences failed; the first:\n").arg(failed).arg(count)
            + firstReport));
}

QTEST_GUILESS_MAIN(TestStationModel)
#include "tst_stationmodel.moc"
