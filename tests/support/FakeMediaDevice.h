// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/MediaDevice.h"

#include <QStringList>

// The multimedia device of the tests: it plays nothing, records every command and setting in
// order, and lets the test deliver Done and StatusUpdate when it wants them.
class FakeMediaDevice : public MediaDevice
{
    Q_OBJECT
public:
    using MediaDevice::MediaDevice;

    void setTimeFormat(int format) override;
    int Mode() const override { return m_mode; }
    qint32 Length() const override { return m_length; }

    // What the device was told, in order: "Open <file>", "Close", "Play", "Stop", "Prev",
    // "Back", "Next", "UpdateInterval <n>", "TimeFormat <n>".
    QStringList log;
    // The commands only ("Open", "Play", ...), without settings and file names.
    QStringList commands() const;
    void clearLog() { log.clear(); }

    // Length the next opened file reports (milliseconds).
    qint32 nextLength = 3000;
    // Files that "Open" cannot open (a text renamed .wav): the device is left NotReady, so the
    // "Play" that follows cannot start.
    QStringList unopenable;
    // "Play" cannot start (the sound output is gone): the mode stays as it was. Like every Done
    // of this double, the Failure that the real device sends then is the test's to deliver.
    bool playFails = false;
    // "Play" cannot start (its output is absent): the mode stays, and Done(Failure) follows by
    // itself, queued, as the real device sends it.
    bool refusePlay = false;

    // The device's state, as a test wants it.
    void setMode(int mode);
    // The play ends by itself: the device stops and reports Done(code).
    void finish(int NotifyCode = Successful);
    // Delivers Done(code) without touching the mode.
    void deliverDone(int NotifyCode) { emit Done(NotifyCode); }
    // Delivers a status report.
    void report() { emit StatusUpdate(); }

protected:
    void updateIntervalChanged(int milliseconds) override;
    void open() override;
    void close() override;
    void play() override;
    void stop() override;
    void prev() override;
    void back() override;
    void next() override;

private:
    int m_mode = NotReady;
    qint32 m_length = 0;
};
