// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

// The sound player: one sound file open at a time, played on the sound output that feeds the
// transmitter (or, for the recorder's takes, the operator's own). Every member is called on the
// UI thread and returns at once; every signal is emitted there, queued, never inside the call
// that caused it.
//
//   open(path)  closes any open file and opens path at its start; says why it could not.
//   close()     closes the open file; a finished() still pending for it is dropped.
//   prepare()   makes the output ready for the next play(); prepared(ok) follows. After
//               prepared(true), play() sounds at once.
//   play()      plays from the position; finished() follows when the play ends.
//   stop()      stops playing (finished(Stopped) follows); the position stays.
//   rewind()    moves the position to the start of the file.
//   stepBack()  moves the position back by a tenth of a second, never before the start.
//   toEnd()     moves the position to the end (a play then ends as at the end).
class SoundPlayer : public QObject
{
    Q_OBJECT
public:
    enum class Mode {
        NotReady, // no file open
        Stopped,
        Playing,
    };
    Q_ENUM(Mode)

    // How a play ended.
    enum class Outcome {
        Ended, // it ran to the end of the file, its last sample heard
        Stopped, // stop() interrupted it
        Failed, // it could not start or go on (no file, an undecodable file, no output)
    };
    Q_ENUM(Outcome)

    // What open() found.
    enum class OpenResult {
        Opened,
        Unreadable, // the file is missing, unreadable or not a sound file
        OutputAbsent, // the chosen sound output is not there: nothing can play
    };
    Q_ENUM(OpenResult)

    using QObject::QObject;

    virtual OpenResult open(const QString &path) = 0;
    virtual void close() = 0;
    virtual void prepare() = 0;
    virtual void play() = 0;
    virtual void stop() = 0;
    virtual void rewind() = 0;
    virtual void stepBack() = 0;
    virtual void toEnd() = 0;

    virtual Mode mode() const = 0;
    // Length of the open file in milliseconds; 0 when none is open.
    virtual qint32 length() const = 0;
    // The file last given to open().
    QString fileName() const { return m_fileName; }

    // The sound output that plays, by the sound server's name for it; empty: the system's default
    // output. A named output is never replaced by another: where it is absent, open() answers
    // OutputAbsent and a play fails; either is said once on standard error.
    virtual void setOutput(const QString &name) { m_output = name; }
    QString output() const { return m_output; }

    // The level of what is played, in percent of full scale (linear amplitude, 0..100), applied
    // from the next buffer on, also during a play.
    virtual void setLevel(int percent) { m_level = qBound(0, percent, 100); }
    int level() const { return m_level; }

signals:
    void finished(SoundPlayer::Outcome outcome);
    void prepared(bool ok);
    void modeChanged(SoundPlayer::Mode mode);

protected:
    void setFileName(const QString &path) { m_fileName = path; }

private:
    QString m_fileName;
    QString m_output;
    int m_level = 100;
};
