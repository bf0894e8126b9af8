#pragma once

#include "StationFixture.h"

#include <QColor>
#include <QImage>
#include <QLabel>
#include <QTest>

// What the memory bank, the player and the repeat timer do to the keying, by their rules: a call
// that keys is skipped under standby, a release at the end or stop of a message under Lock.
// The tests drive the station through these until the memories themselves can be clicked; each
// names the operator's action or the event it stands for.
namespace KeyingCallers {

// A left click on an idle memory: it plays, and keys unless standby.
inline void startMessage(StationFixture &f, bool repeat = false)
{
    f.state().RepOn = repeat;
    f.state().Playing = 1;
    if (!f.state().StdByOn)
        f.station->ptt().SendStat();
}

// The message reaches its end: with repeat it waits (still playing), else it is over; released
// unless Lock.
inline void messageEnds(StationFixture &f)
{
    if (!f.state().RepOn)
        f.state().Playing = 0;
    if (!f.state().LockOn)
        f.station->ptt().RecStat();
}

// The repeat delay runs out: the message plays again, keyed unless standby.
inline void repeatRestarts(StationFixture &f)
{
    if (f.state().Playing != 1)
        return;
    if (!f.state().StdByOn)
        f.station->ptt().SendStat();
}

// A left click on the playing or waiting memory stops it; released unless Lock.
inline void stopMessage(StationFixture &f)
{
    f.state().Playing = 0;
    if (!f.state().LockOn)
        f.station->ptt().RecStat();
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
    f.state().ComNum = qint16(port);
    f.station->ptt().OpenComPort();
    QVERIFY(f.lines.isOpen());
    f.lines.clearLogs();
}

} // namespace KeyingCallers
