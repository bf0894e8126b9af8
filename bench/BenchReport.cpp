// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/BenchReport.h"

#include <algorithm>

void BenchReport::add(const QString &section, const QString &measure, double milliseconds,
                      const QString &target)
{
    m_rows.push_back({section, measure, milliseconds, target});
}

QString BenchReport::table() const
{
    int sectionWidth = 7;
    int measureWidth = 7;
    for (const Row &row : m_rows) {
        sectionWidth = std::max(sectionWidth, int(row.section.size()));
        measureWidth = std::max(measureWidth, int(row.measure.size()));
    }
    QString text = QStringLiteral("%1  %2  %3  %4\n")
                       .arg(QStringLiteral("section"), -sectionWidth)
                       .arg(QStringLiteral("measure"), -measureWidth)
                       .arg(QStringLiteral("ms"), 9)
                       .arg(QStringLiteral("target"));
    text += QString(sectionWidth + measureWidth + 25, QLatin1Char('-')) + QLatin1Char('\n');
    for (const Row &row : m_rows) {
        text += QStringLiteral("%1  %2  %3  %4\n")
                    .arg(row.section, -sectionWidth)
                    .arg(row.measure, -measureWidth)
                    .arg(row.milliseconds, 9, 'f', 3)
                    .arg(row.target);
    }
    for (const QString &line : m_notes)
        text += QLatin1Char('\n') + line;
    return text;
}

void BenchReport::addSpread(const QString &section, const QString &measure,
                            std::vector<double> values, const QString &target)
{
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return v < 0; }),
                 values.end());
    if (values.empty()) {
        note(section + QStringLiteral(": no result for ") + measure);
        return;
    }
    if (qEnvironmentVariableIsSet("VVBENCH_VERBOSE")) {
        QStringList all;
        for (double value : values)
            all << QString::number(value, 'f', 2);
        note(measure + QStringLiteral(": ") + all.join(QLatin1Char(' ')));
    }
    std::sort(values.begin(), values.end());
    add(section, measure + QStringLiteral(", median"), values[values.size() / 2], target);
    add(section, measure + QStringLiteral(", worst"), values.back(), target);
}
