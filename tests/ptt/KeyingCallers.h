// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/StationFixture.h"

#include <QCheckBox>
#include <QColor>
#include <QImage>
#include <QLabel>
#include <QTest>

// The operator's and the player's actions that key and release, played on memory 1.
namespace KeyingCallers {

// A left click on idle memory 1: it plays (with repeat when asked), and keys unless standby.
inline void startMessage(StationFixture &f, bool repeat = false)
{
    f.state().Memories.MemDelay[0] = 1000;
    f.window().Check3d1(0)->setChecked(repeat);
    f.clickMemory(0);
}

// The message reaches its end: with repeat it waits, else it is over; released unless Lock.
inline void messageEnds(StationFixture &f)
{
    f.device.finish();
}

// The repeat delay (1 s) runs out: the message plays again, keyed unless standby.
inline void repeatRestarts(StationFixture &f)
{
    f.clock.advance(1000);
}

// A left click on the playing or waiting memory stops it; released unless Lock.
inline void stopMessage(StationFixture &f)
{
    f.clickMemory(0);
}

inline void clickLock(StationFixture &f)
{
    f.leftClick(f.window().Command3d2());
}

inline void clickStandby(StationFixture &f)
{
    f.leftClick(f.window().Command3d3());
}

// Station pictures of known colours in the program folder: red on air, green on receive. Paint
// them before start-up: a picture once loaded is cached by its path and time.
inline void paintStationPictures(StationFixture &f)
{
    for (const auto &[name, colour] :
         {std::pair{"ontheair.bmp", Qt::red}, std::pair{"receive.bmp", Qt::green}}) {
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(colour);
        QVERIFY(image.save(f.programDir() + "/Images/" + name, "BMP"));
    }
}

// "on air", "receive" or "none": the station picture shown now.
inline QString stationPicture(StationFixture &f)
{
    const QImage shown = f.window().Image1()->pixmap().toImage();
    if (shown.isNull())
        return QStringLiteral("none");
    const QColor colour = shown.pixelColor(0, 0);
    if (colour == QColor(Qt::red))
        return QStringLiteral("on air");
    if (colour == QColor(Qt::green))
        return QStringLiteral("receive");
    return QStringLiteral("other");
}

// Opens the port as "OK" of the COM dialog does, and forgets what the fake lines saw so far.
inline void openPort(StationFixture &f, int port = 1)
{
    f.state().Ptt.ComNum = qint16(port);
    f.station->serialKeyer().open();
    QVERIFY(f.lines.isOpen());
    f.lines.clearLogs();
}

} // namespace KeyingCallers
