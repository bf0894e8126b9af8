// SPDX-License-Identifier: GPL-3.0-or-later
// The guard (voicevocta-guard) against a real rigctld with its dummy rig: how soon after a
// SIGKILL of the program the rig is released, and how often the guard wakes while it watches.
//
// The program is this benchmark itself, started again as a small keyer ("vvbench
// --guarded-keyer host:port"): a hamlib keyer and its guard, as the program has them, which keys
// the rig and says so. It is killed with SIGKILL; a connection of the benchmark's own reads the
// rig's PTT as fast as rigctld answers until it reads the release.

#include "bench/BenchReport.h"
#include "ptt/HamlibKeyer.h"
#include "ptt/PttGuard.h"
#include "ptt/RigModule.h"
#include "tests/support/Rigctld.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const QString Section = QStringLiteral("guard");
constexpr int Runs = 9;
constexpr int IdleSeconds = 10;

// A count from /proc/PID/status ("voluntary_ctxt_switches"), or -1.
qint64 statusCount(qint64 pid, const QByteArray &name)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().toLongLong();
    }
    return -1;
}

qint64 switches(qint64 pid)
{
    return statusCount(pid, "voluntary_ctxt_switches")
           + statusCount(pid, "nonvoluntary_ctxt_switches");
}

// A keyer that keys the rig: its process and its guard's process id.
struct Keyer
{
    QProcess process;
    qint64 guard = 0;

    bool start(const QString &address)
    {
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(QCoreApplication::applicationFilePath(), {"--guarded-keyer", address});
        if (!process.waitForStarted(10000) || !process.waitForReadyRead(20000))
            return false;
        const QByteArray said = process.readLine().trimmed();
        guard = said.startsWith("keyed ") ? said.mid(6).toLongLong() : 0;
        return guard > 0;
    }
};

} // namespace

void runGuardBench(BenchReport &report)
{
    Rigctld rigctld;
    if (Rigctld::program().isEmpty() || !rigctld.start()) {
        report.note(Section + QStringLiteral(": rigctld cannot start"));
        return;
    }
    std::vector<double> released;
    for (int run = 0; run < Runs; ++run) {
        Keyer keyer;
        PttReader reader(rigctld.port());
        if (!keyer.start(rigctld.address()) || reader.read() != 1) {
            report.note(Section + QStringLiteral(": the keyer did not key the rig"));
            return;
        }
        if (run == 0) {
            QThread::sleep(1); // the guard's start behind it, on a loaded machine too
            const qint64 before = switches(keyer.guard);
            QThread::sleep(IdleSeconds);
            report.add(Section,
                       QStringLiteral("guard's wake-ups while it watches %1 s (count, not ms)")
                           .arg(IdleSeconds),
                       double(switches(keyer.guard) - before), "0");
        }
        const auto killed = Clock::now();
        ::kill(pid_t(keyer.process.processId()), SIGKILL);
        double took = -1;
        while (Clock::now() - killed < std::chrono::seconds(10)) {
            if (reader.read() == 0) {
                took = std::chrono::duration<double, std::milli>(Clock::now() - killed).count();
                break;
            }
        }
        released.push_back(took);
        keyer.process.waitForFinished(5000);
        // Its work done, the guard ends: the next run starts from a rig that nobody holds.
        for (int i = 0; i < 500 && QFile::exists(QStringLiteral("/proc/%1").arg(keyer.guard)); ++i)
            QThread::msleep(10);
    }
    report.addSpread(Section, "SIGKILL of the program to the rig released", released, "< 1000");
}

// The keyer that the benchmark starts and kills.
int runGuardedKeyer(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    PttGuard guard(QStringLiteral(VV_PROGRAM_DIR "/voicevocta-guard"));
    HamlibSettings settings;
    settings.rigPort = QString::fromLocal8Bit(argv[2]);
    RigModule rigs(RigModule::locate(QStringLiteral(VV_PROGRAM_DIR)));
    HamlibKeyer keyer(rigs, settings);
    guard.watchRig(settings);
    QObject::connect(&keyer, &PttKeyer::confirmed, &application, [&guard](bool onAir) {
        if (!onAir)
            return;
        std::printf("keyed %lld\n", static_cast<long long>(guard.processId()));
        std::fflush(stdout);
    });
    keyer.open();
    keyer.setOnAir(true);
    return application.exec();
}
