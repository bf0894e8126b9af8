// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/BenchStation.h"
#include "ptt/RigModule.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

#include <algorithm>

BenchStation::BenchStation(const QString &folder)
    : BenchStation(std::make_unique<PulseConnection>(), nullptr, folder)
{ }

BenchStation::BenchStation(PulseConnection &connection, const QString &folder)
    : BenchStation(nullptr, &connection, folder)
{ }

BenchStation::BenchStation(std::unique_ptr<PulseConnection> own, PulseConnection *shared,
                           const QString &folder)
    : ownConnection(std::move(own))
    , connection(shared ? *shared : *ownConnection)
    , device(connection)
    , server(connection)
    , input(connection)
    , preview(connection)
    , station(device, lines, dialogs, server, input, preview, folder)
{ }

void populateProgramFolder(const QString &folder)
{
    const QDir source(QStringLiteral(VV_PROGRAM_DIR));
    for (const QString &name : {QStringLiteral("Images"), QStringLiteral("Wav")}) {
        QDir().mkpath(folder + QLatin1Char('/') + name);
        const QDir from(source.filePath(name));
        for (const QString &file : from.entryList(QDir::Files))
            QFile::copy(from.filePath(file),
                        folder + QLatin1Char('/') + name + QLatin1Char('/') + file);
    }
    // The hamlib module, which the station finds beside the program.
    QFile::link(source.filePath(QLatin1String(RigModule::FileName)),
                folder + QLatin1Char('/') + QLatin1String(RigModule::FileName));
}

void click(QWidget *widget, Qt::MouseButton button)
{
    const QPointF position = QRectF(widget->rect()).center();
    const QPointF global = widget->mapToGlobal(position);
    QMouseEvent press(QEvent::MouseButtonPress, position, global, button, button, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, position, global, button, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QApplication::sendEvent(widget, &release);
}

double longestStallWhile(const std::function<bool()> &done, int timeoutMs)
{
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    qint64 longest = 0;
    QTimer turn;
    turn.setTimerType(Qt::PreciseTimer);
    QObject::connect(&turn, &QTimer::timeout, &loop, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
        if (done() || clock.elapsed() > timeoutMs)
            loop.quit();
    });
    turn.start(1);
    loop.exec();
    return double(longest) / 1e6;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double worst(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}
