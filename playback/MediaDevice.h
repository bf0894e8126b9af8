// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

class QTimer;

// The multimedia device: one sound file open at a time, played on the sound output and driven by
// named commands like a transport control:
//   "Open"  opens FileName (closing any file that is open) at its start;
//   "Close" closes the open file;
//   "Play"  plays from the current position;
//   "Stop"  stops playing; the position stays where it is ("Pause" does the same);
//   "Prev"  moves the position to the start of the file;
//   "Next"  moves the position to the end of the file (a play then ends as at the end);
//   "Back"  steps the position back by one step (a tenth of a second), never before the start.
//
// Every member is called on the UI thread and every signal is emitted there. Done is always its
// own event: it is queued, never emitted inside the command that caused it.
//
// Done(NotifyCode):
//   Successful (1) when a "Play" runs to the end of the file, no earlier than when the last
//                  sample has left the output buffer;
//   Aborted (4)    when "Stop" interrupts a play;
//   Failure (8)    when "Play" cannot start (no file open, the file could not be decoded, no
//                  sound output), or the play cannot go on (the file stops decoding, the sound
//                  output goes away). A "Play" that cannot start leaves Mode() as it was: the
//                  caller keys the transmitter only when Mode() is Playing after "Play".
// "Close" (and the "Open" of another file) drops any Done still pending for the closed file.
class MediaDevice : public QObject
{
    Q_OBJECT
public:
    enum Mode { NotReady = 524, Stopped = 525, Playing = 526 };
    enum NotifyCode { Successful = 1, Superseded = 2, Aborted = 4, Failure = 8 };

    explicit MediaDevice(QObject *parent = nullptr);
    ~MediaDevice() override;

    // The file that the next "Open" opens.
    void setFileName(const QString &fileName) { m_fileName = fileName; }
    QString FileName() const { return m_fileName; }

    // Issues a command by name; an unknown name is ignored.
    void setCommand(const QString &command);

    // True: the next commands complete before the call returns. "Play" never blocks the UI
    // thread, whatever Wait says; the other commands always complete at once.
    void setWait(bool wait) { m_wait = wait; }
    bool Wait() const { return m_wait; }

    // The sound output that plays, by the sound server's name for it; empty: the system's default
    // output. A named output is never replaced by another: when it is absent at "Open" the file
    // does not open, and when it is absent at "Play" the play does not start (Mode() does not
    // become Playing and Done(Failure) follows); either is said once on standard error.
    virtual void setOutput(const QString &name) { m_output = name; }
    QString Output() const { return m_output; }

    // The level of what is played, in percent of full scale (linear amplitude, 0..100), applied
    // to the samples from the next buffer on, also during a play.
    virtual void setLevel(int percent) { m_level = qBound(0, percent, 100); }
    int Level() const { return m_level; }

    // StatusUpdate every interval milliseconds while the interval is not 0.
    void setUpdateInterval(int milliseconds);
    int UpdateInterval() const { return m_updateInterval; }

    // The time format of positions and Length; 0 (milliseconds) is the only one used.
    virtual void setTimeFormat(int format) { m_timeFormat = format; }
    int TimeFormat() const { return m_timeFormat; }

    // NotReady while no file is open, Playing while it plays, Stopped otherwise.
    virtual int Mode() const = 0;
    // Length of the open file in milliseconds; 0 when none is open.
    virtual qint32 Length() const = 0;

signals:
    void Done(int NotifyCode);
    void StatusUpdate();
    // Mode() changed; lets a transport bar enable its buttons.
    void modeChanged(int mode);

protected:
    // Runs the status reports for a new interval (0: none); the default uses a UI-thread timer.
    virtual void updateIntervalChanged(int milliseconds);

    virtual void open() = 0;
    virtual void close() = 0;
    virtual void play() = 0;
    virtual void stop() = 0;
    virtual void prev() = 0;
    virtual void back() = 0;
    virtual void next() = 0;

private:
    QString m_fileName;
    QString m_output;
    int m_level = 100;
    bool m_wait = false;
    int m_updateInterval = 0;
    int m_timeFormat = 0;
    QTimer *m_statusTimer = nullptr;
};
