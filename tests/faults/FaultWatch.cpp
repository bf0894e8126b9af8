// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/faults/FaultWatch.h"

#include "tests/support/StationFixture.h"
#include "ui/ComSet.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace FaultWatch {

namespace {
// Nanoseconds the calling thread has waited, runnable, for a processor; 0 where it is not known.
qint64 waitedForProcessorNs()
{
    QFile stats(QStringLiteral("/proc/thread-self/schedstat"));
    if (!stats.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = stats.readAll().split(' ');
    return fields.size() >= 2 ? fields.at(1).toLongLong() : 0;
}
} // namespace

void OwnClock::start()
{
    m_wall.start();
    m_waitedAtStart = waitedForProcessorNs();
}

qint64 OwnClock::elapsed() const
{
    const qint64 waitedMs = (waitedForProcessorNs() - m_waitedAtStart) / 1000000;
    return std::max<qint64>(0, m_wall.elapsed() - waitedMs);
}

UiWatch::UiWatch()
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &UiWatch::tick);
    restart();
}

void UiWatch::restart()
{
    m_clock.start();
    m_lastTick = 0;
    m_longest = 0;
    m_timer.start(5);
}

void UiWatch::tick()
{
    const qint64 now = m_clock.elapsed();
    m_longest = std::max(m_longest, now - m_lastTick);
    m_lastTick = now;
}

qint64 UiWatch::longestGap() const
{
    return std::max(m_longest, m_clock.elapsed() - m_lastTick);
}

bool eventLoopAnswers(int boundMs)
{
    bool arrived = false;
    const OwnClock clock;
    QTimer::singleShot(0, [&arrived] { arrived = true; });
    (void)QTest::qWaitFor([&] { return arrived || clock.elapsed() > boundMs; }, 60000);
    return arrived && clock.elapsed() <= boundMs;
}

void keyThroughRts(StationFixture &f)
{
    f.state().Ptt.RtsPos = true;
    f.window().menuItem(QStringLiteral("Parameters"))->trigger();
    ComSet *dialog = f.station->comSet().form();
    f.leftClick(dialog->Option2(0));
    if (!dialog->Check1()->isChecked())
        f.leftClick(dialog->Check1());
    f.leftClick(dialog->Option1(0));
    f.leftClick(dialog->Command1());
}

bool keyed(const StationFixture &f)
{
    return f.lines.wireRts;
}

void chooseFile(StationFixture &f, int index, const QString &path)
{
    f.dialogs.fileAnswer = path;
    f.rightClick(f.memory(index));
    f.dialogs.fileAnswer.clear();
}

QByteArray fileBytes(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.readAll();
    if (bytes.isNull())
        bytes = QByteArray(""); // an empty file is not "no file"
    return bytes;
}

} // namespace FaultWatch
