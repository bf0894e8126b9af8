// SPDX-License-Identifier: GPL-3.0-or-later
// The whole station against its reference model: random sequences of operator and device events
// are played on the real window (offscreen, with the test doubles), from random settings (lead,
// tail and time-out among them), and after every event the window, the shared state, the sound
// device, the serial lines and the keying's timers are compared with what StationModel says they
// must be; a few safety rules are checked on top (standby never keys, nothing keys without Lock,
// a message on the air or its tail, nothing reaches the wire before the port opened, no
// transmission outlasts the time-out). Time passes as an event of its own: the keying's timers
// tick when the model's clock says they fall due.
//
// Every sequence comes from its seed. A failure prints the seed, the events up to the failing one
// and the differences. Environment:
//   VV_MODEL_SEQUENCES=n   sequences to run (default 2000)
//   VV_MODEL_EVENTS=n      events per sequence (default 200)
//   VV_MODEL_FIRST=n       seed of the first sequence (default 1)
//   VV_MODEL_SEED=n        replay only the sequence with seed n, printing every event
//   VV_MODEL_KEEP_GOING=1  run every sequence to its first difference and list them all
//
// The long run, outside CTest (from the build folder):
//   VV_MODEL_SEQUENCES=100000 QT_QPA_PLATFORM=offscreen tests/model/tst_stationmodel
// and to replay a seed it printed:
//   VV_MODEL_SEED=4711 QT_QPA_PLATFORM=offscreen tests/model/tst_stationmodel

#include "tests/model/ModelSequence.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

namespace {

int environment(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

// Drops the warning a right click earns (a button takes only the left one).
QtMessageHandler g_previousHandler = nullptr;
void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // The station's word of a time-out is counted: one line per time-out.
    if (type == QtWarningMsg
        && message.contains(QLatin1String("without a break: released (time-out)"))) {
        ++ModelSequence::timeoutLinesSeen;
        return;
    }
    // Also the offscreen platform's word that it cannot raise the COM dialog.
    if (type == QtWarningMsg
        && (message.contains(QLatin1String("not accepted by receiving widget"))
            || message.contains(QLatin1String("does not support raise()"))))
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
    void initTestCase();
    void cleanupTestCase();
    void randomSequences_data();
    void randomSequences();

private:
    QTemporaryDir m_folder;
};

void TestStationModel::initTestCase()
{
    g_previousHandler = qInstallMessageHandler(quietHandler);
    QVERIFY(m_folder.isValid());
    // The program folder: station pictures of known colours. The sounds are never read.
    QVERIFY(QDir().mkpath(m_folder.filePath(QStringLiteral("Images"))));
    QVERIFY(QDir().mkpath(m_folder.filePath(QStringLiteral("Wav"))));
    for (const auto &[name, colour] : {std::pair{"ontheair.bmp", ModelSequence::OnAirColour},
                                       std::pair{"receive.bmp", ModelSequence::ReceiveColour}}) {
        QImage image(2, 2, QImage::Format_RGB32);
        image.fill(colour);
        QVERIFY(
            image.save(m_folder.filePath(QLatin1String("Images/") + QLatin1String(name)), "BMP"));
    }
}

void TestStationModel::cleanupTestCase()
{
    qInstallMessageHandler(g_previousHandler);
}

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
    const int sequences = environment("VV_MODEL_SEQUENCES", 2000);
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
    // Every sequence to its first difference, one line each, instead of stopping at the first.
    const bool keepGoing = qEnvironmentVariableIsSet("VV_MODEL_KEEP_GOING");

    QElapsedTimer clock;
    clock.start();
    QString firstReport;
    int failed = 0;
    Coverage coverage;
    for (int n = 0; n < count; ++n) {
        const quint32 seed = quint32(first + n);
        ModelSequence sequence(m_folder.path(), seed, verbose);
        for (int e = 0; e < events; ++e) {
            QString failure;
            if (sequence.step(failure, coverage))
                continue;
            ++failed;
            if (firstReport.isEmpty()) {
                firstReport = QStringLiteral("Sequence with seed %1 parted from the model at "
                                             "event %2 (replay: VV_MODEL_SEED=%1):\n")
                                  .arg(seed)
                                  .arg(e + 1);
                const QStringList &played = sequence.played();
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

QTEST_MAIN(TestStationModel)
#include "tst_stationmodel.moc"
