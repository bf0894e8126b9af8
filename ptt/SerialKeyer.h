// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/SerialLines.h"
#include "station/LineUse.h"
#include "station/PttKeyer.h"

#include <optional>

struct AppState;
class Dialogs;

// Keying through the serial port's RTS and DTR lines: each line that is in use (RtsOn, DtrOn)
// takes its on-air level (its polarity, RtsPos / DtrPos) on air and the opposite level on
// receive, RTS first; a line out of use is not touched.
//
// The port opens only by open() (the COM dialog's "OK"): until then the levels asked for are
// remembered and reach the wire when it opens. It is always ready: a port that is closed or
// failed takes the requests as the port layer remembers them.
class SerialKeyer : public PttKeyer, public LineUse
{
    Q_OBJECT
public:
    SerialKeyer(const AppState &state, SerialLines &MSComm1, Dialogs &dialogs,
                QObject *parent = nullptr);

    // (Re)opens port ComNum with "9600,N,8,1". A failure is shown in a message box and the port
    // stays closed. Opening never keys the transmitter by itself.
    void open() override;
    // The port is never opened from now on (another copy of the program owns the transmitter):
    // open() says `why` in its message box.
    void standDown(const QString &why) { m_standDown = why; }
    // RTS, then DTR, at their on-air or receive levels.
    void setOnAir(bool onAir) override;
    bool isReady() const override { return true; }
    // Whether the port is open now.
    bool isPortOpen() const { return m_lines.isOpen(); }
    QString statusText() const override;
    // The lines at their receive levels, then the port released.
    void shutdown(int milliseconds) override;

    // A line's use or polarity changed (the COM dialog, through the station): a line taken out
    // of use while it keyed goes back to its receive level, as the program no longer touches it;
    // a line taken into use starts at its receive level, as the level it has (the port's own on
    // opening, or one asked under the other polarity) may be its on-air level now. The port
    // layer learns the new receive levels here.
    void useChanged(int takenIntoUse) override;

private:
    QString m_standDown;
    enum class Line { Rts, Dtr };
    // What this keyer last asked of one line.
    struct LineRecord
    {
        bool onAir = false; // the last request was an on-air level
        bool level = false; // the level last asked
    };
    void setLine(Line line, bool onAir);
    void settleLine(Line line, bool keepOnAir);
    void dropLines();
    void writeLine(Line line, bool level);
    void tellReceiveLevels();
    void tellStatus();

    const AppState &m_state;
    SerialLines &m_lines;
    Dialogs &m_dialogs;
    LineRecord m_rts;
    LineRecord m_dtr;
    std::optional<SerialLines::ReceiveLevels> m_toldReceiveLevels;
};
