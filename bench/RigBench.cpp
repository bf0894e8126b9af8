// SPDX-License-Identifier: GPL-3.0-or-later
// Keying through hamlib against a real rigctld with its dummy rig: how soon a keying request is
// answered by rigctld, how soon a rig that stops answering is noticed, and how long the UI
// thread is held while the rig does not answer (a server that never answers while the keyer
// opens, then a stopped rigctld while it keys).

#include "bench/BenchReport.h"
#include "ptt/HamlibKeyer.h"
#include "ptt/RigModule.h"
#include "tests/ptt/SlowLink.h"
#include "tests/support/Rigctld.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

const QString Section = QStringLiteral("rig");
constexpr int Keyings = 21;

double milliseconds(qint64 nanoseconds)
{
    return double(nanoseconds) / 1e6;
}

// Runs the event loop until `condition` holds; false after `timeoutMs`.
bool waitFor(const std::function<bool()> &condition, int timeoutMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

class RigBench
{
public:
    explicit RigBench(BenchReport &report) : m_report(report) { }

    void run()
    {
        if (Rigctld::program().isEmpty() || !m_rigctld.start()) {
            m_report.note(Section
                          + QStringLiteral(": rigctld cannot start (%1)")
                                .arg(Rigctld::program().isEmpty() ? QStringLiteral("not installed")
                                                                  : m_rigctld.error()));
            return;
        }
        HamlibKeyer keyer(m_rigs, settings(m_rigctld.address()));
        QObject::connect(&keyer, &PttKeyer::confirmed, [this](bool onAir) {
            m_confirmedAt = m_clock.nsecsElapsed();
            m_confirmed = onAir;
            ++m_confirmations;
        });
        m_clock.start();
        keyer.open();
        if (!waitFor([&] { return keyer.isReady() && m_confirmations > 0; })) {
            m_report.note(Section + ": the keyer does not reach rigctld: " + keyer.statusText());
            return;
        }

        std::vector<double> keying;
        std::vector<double> release;
        for (int i = 0; i < Keyings; ++i) {
            keying.push_back(answer(keyer, true));
            release.push_back(answer(keyer, false));
        }
        m_report.addSpread(Section, "request to rigctld's answer, keying", keying, "< 10");
        m_report.addSpread(Section, "request to rigctld's answer, release", release,
                           "~100 (hamlib waits 50 ms after a release, in rigctld too)");

        // A stopped rigctld: it takes the bytes and answers nothing.
        keyer.setOnAir(true);
        waitFor([&] { return m_confirmed; });
        m_rigctld.pause();
        const qint64 start = m_clock.nsecsElapsed();
        qint64 noticed = 0;
        QObject::connect(&keyer, &PttKeyer::statusChanged, &keyer,
                         [&](const QString &, bool ready) {
                             if (!ready && !noticed)
                                 noticed = m_clock.nsecsElapsed();
                         });
        double longestGap = watchWhile(&keyer, [&] {
            return noticed == 0 || m_clock.nsecsElapsed() < noticed + 1'000'000'000;
        });
        if (noticed)
            m_report.add(Section, "stopped rigctld noticed after", milliseconds(noticed - start),
                         QStringLiteral("~%1 (the chosen answer time-out)")
                             .arg(HamlibKeyer::AnswerTimeoutMs));
        m_rigctld.resume();
        keyer.shutdown(2000);

        // A server that takes the connection and never answers, while the keyer opens.
        SilentServer silent;
        HamlibKeyer hanging(m_rigs, settings(silent.address()));
        hanging.open();
        longestGap = std::max(longestGap, watchWhile(&hanging, [&] {
                                  return !hanging.statusText().startsWith("Cannot open");
                              }));
        QElapsedTimer shutdownClock;
        hanging.open();
        shutdownClock.start();
        waitFor([&] { return shutdownClock.elapsed() >= 100; }); // it hangs in the opening
        shutdownClock.start();
        hanging.shutdown(500);
        m_report.add(Section, "shutdown(500) while the rig hangs",
                     milliseconds(shutdownClock.nsecsElapsed()), "<= 500");

        slowLink(SlowLink::Way::Answers);
        slowLink(SlowLink::Way::Requests);

        m_report.add(Section, "longest keyer call while the rig does not answer", m_longestCall,
                     "< 5");
        m_report.add(Section, "longest UI-thread stall while the rig does not answer", longestGap,
                     "< 5");
        // The same watch for as long with nothing to do: what the machine itself holds back.
        QElapsedTimer idle;
        idle.start();
        m_report.add(Section, "longest UI-thread stall, the same watch idle",
                     watchWhile(nullptr, [&] { return idle.elapsed() < 3000; }),
                     "(the machine's own)");
    }

private:
    // Lock for 0.3 s through a link 1.5 s slow: how long the rig was keyed, beside the link's
    // delay (keyed no longer than the delay and a second is the aim).
    void slowLink(SlowLink::Way way)
    {
        constexpr int DelayMs = 1500;
        SlowLink link(m_rigctld.port(), way, std::chrono::milliseconds(DelayMs));
        HamlibKeyer keyer(m_rigs, settings(link.address()));
        keyer.open();
        const QString which = way == SlowLink::Way::Answers ? QStringLiteral("answers")
                                                            : QStringLiteral("requests");
        if (!waitFor([&] { return keyer.isReady(); }, 4 * DelayMs + 5000)) {
            m_report.note(Section
                          + QStringLiteral(": no keyer through the slow link (%1)").arg(which));
            return;
        }
        KeyedStretch stretch(m_rigctld.port());
        keyer.setOnAir(true);
        QElapsedTimer lock;
        lock.start();
        waitFor([&] { return lock.elapsed() >= 300; }, 1000);
        keyer.setOnAir(false);
        waitFor([&] { return !keyer.mayBeKeyed(); }, 4 * DelayMs + 5000);
        m_report.add(Section, QStringLiteral("rig keyed by a 0.3 s Lock, %1 1.5 s late").arg(which),
                     double(stretch.stop()),
                     QStringLiteral("<= %1 (the link's delay + 1 s)").arg(DelayMs + 1000));
        keyer.shutdown(4 * DelayMs);
    }

    static HamlibSettings settings(const QString &address)
    {
        HamlibSettings settings;
        settings.rigPort = address;
        return settings;
    }

    // From the request to the confirmation of rigctld's answer, on the UI thread.
    double answer(HamlibKeyer &keyer, bool onAir)
    {
        const int before = m_confirmations;
        const qint64 start = m_clock.nsecsElapsed();
        keyer.setOnAir(onAir);
        if (!waitFor([&] { return m_confirmations > before && m_confirmed == onAir; }))
            return -1;
        return milliseconds(m_confirmedAt - start);
    }

    // Turns the event loop with a 1 ms timer while `going` holds, and asks `keyer` (if any) for
    // a keying every 20 ms. Returns the longest gap between two ticks beyond the 1 ms; notes the
    // longest call into the keyer.
    double watchWhile(HamlibKeyer *keyer, const std::function<bool()> &going)
    {
        double longestGap = 0;
        QTimer ticks;
        ticks.setTimerType(Qt::PreciseTimer);
        qint64 last = m_clock.nsecsElapsed();
        int count = 0;
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            const qint64 now = m_clock.nsecsElapsed();
            longestGap = std::max(longestGap, milliseconds(now - last) - 1);
            last = now;
            if (keyer && ++count % 20 == 0) {
                const qint64 start = m_clock.nsecsElapsed();
                keyer->setOnAir(count % 40 == 0);
                (void)keyer->isReady();
                (void)keyer->statusText();
                m_longestCall
                    = std::max(m_longestCall, milliseconds(m_clock.nsecsElapsed() - start));
            }
        });
        ticks.start(1);
        QElapsedTimer limit;
        limit.start();
        while (going() && limit.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        return longestGap;
    }

    BenchReport &m_report;
    Rigctld m_rigctld;
    RigModule m_rigs{RigModule::locate(QStringLiteral(VV_PROGRAM_DIR))};
    QElapsedTimer m_clock;
    qint64 m_confirmedAt = 0;
    bool m_confirmed = false;
    int m_confirmations = 0;
    double m_longestCall = 0;
};

} // namespace

void runRigBench(BenchReport &report)
{
    RigBench bench(report);
    bench.run();
}
