// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// The benchmark's results: one row per figure, printed as a table at the end.
class BenchReport
{
public:
    void add(const QString &section, const QString &measure, double milliseconds,
             const QString &target = QString());
    void note(const QString &text) { m_notes << text; }
    // The median and the worst of some figures; a negative one is a run without a result.
    // VVBENCH_VERBOSE=1 also notes every figure.
    void addSpread(const QString &section, const QString &measure, std::vector<double> values,
                   const QString &target = QString());
    QString table() const;

private:
    struct Row
    {
        QString section;
        QString measure;
        double milliseconds;
        QString target;
    };
    std::vector<Row> m_rows;
    QStringList m_notes;
};

// A part of the benchmark; each lives in its own file.
struct BenchSection
{
    const char *name;
    void (*run)(BenchReport &report);
    bool byDefault = true; // run when no section is named
};

// The sections.
void runDeviceBench(BenchReport &report);
void runStationBench(BenchReport &report);
void runRigBench(BenchReport &report);
void runServerBench(BenchReport &report);
void runRemoteBench(BenchReport &report);
void runKeyingBench(BenchReport &report);
void runSoakBench(BenchReport &report);
void runGuardBench(BenchReport &report);
// The keyer that the guard section starts and kills: "vvbench --guarded-keyer host:port".
int runGuardedKeyer(int argc, char **argv);
void runLoggerBench(BenchReport &report);
void runHeldKeyBench(BenchReport &report);
// The run on an X server of its own that the heldkey section starts: "vvbench --held-key".
int runHeldKeyChild(int argc, char **argv);
void runFootprintBench(BenchReport &report);
void runFirstSampleBench(BenchReport &report);
void runLoudnessBench(BenchReport &report);
void runNetworkBench(BenchReport &report);
void runRadiosBench(BenchReport &report);
