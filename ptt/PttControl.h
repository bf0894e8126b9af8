#pragma once

#include "ptt/SerialLines.h"

#include <QSet>
#include <QString>
#include <functional>
#include <optional>

struct AppState;
class Dialogs;
class Form1;

// Keying the transmitter: the on-air and receive states turned into the station picture and the
// levels of the serial port's RTS and DTR lines; the Lock and StdBy buttons that override keying;
// and opening the port.
class PttControl
{
public:
    PttControl(AppState &state, Form1 &form, SerialLines &MSComm1, Dialogs &dialogs);

    // Go on air: the on-air picture, then RTS, then DTR at their on-air levels.
    void SendStat();
    // Go to receive: the receive picture, then RTS, then DTR at their receive levels.
    void RecStat();
    // Whether the last of the two was SendStat: the station keys the transmitter.
    bool isOnAir() const { return m_onAir; }

    // The Lock button: keeps the transmitter keyed while engaged.
    void Command3d2_Click();
    // The StdBy button: keeps the transmitter released while engaged; its face blinks.
    void Command3d3_Click();
    // The blink of the StdBy button.
    void Timer2_Timer();

    // (Re)opens the port ComNum; a failure is shown in a message box and the port stays closed.
    // Opening never keys the transmitter by itself.
    void OpenComPort();

    // The end of the program: the lines at their receive levels, then the port released.
    void ReleasePort();

    // A line taken out of use while it keyed goes back to its receive level: the program no
    // longer touches it, so it must not be left keying the transmitter. Called whenever a line's
    // use or polarity has changed; the port layer learns the new receive levels here.
    void releaseUnusedLines();

    enum class Line { Rts, Dtr };
    // A line taken into use starts at its receive level: the level it has (the port's own on
    // opening, or one asked under the other polarity) may be its on-air level now.
    void takeIntoUse(Line line);

    // Tells whether a message is on the air now (playing, not waiting for its repeat); releasing
    // standby keys again only then, or under Lock.
    void setMessageOnAir(std::function<bool()> query) { m_messageOnAir = std::move(query); }

private:
    // What this class last asked of one line.
    struct LineRecord
    {
        bool onAir = false; // the last request was an on-air level
        bool level = false; // the level last asked
    };
    void showPicture(const char *fileName);
    void setLine(Line line, bool onAir);
    void settleLine(Line line, bool keepOnAir);
    void dropLines();
    void writeLine(Line line, bool level);
    void tellReceiveLevels();

    AppState &m_state;
    Form1 &m_form;
    SerialLines &m_lines;
    Dialogs &m_dialogs;
    LineRecord m_rts;
    LineRecord m_dtr;
    std::optional<SerialLines::ReceiveLevels> m_toldReceiveLevels;
    QSet<QString> m_reported;
    std::function<bool()> m_messageOnAir;
    bool m_onAir = false;
};
