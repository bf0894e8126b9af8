#pragma once

#include <QSet>
#include <QString>

struct AppState;
class QLabel;

// Keying the transmitter: the on-air and receive states turned into the station picture and the
// levels of the serial port's RTS and DTR lines.
class PttControl
{
public:
    PttControl(AppState &state, QLabel &Image1);

    // Go on air: the on-air picture, then RTS, then DTR at their on-air levels.
    void SendStat();
    // Go to receive: the receive picture, then RTS, then DTR at their receive levels.
    void RecStat();

private:
    void showPicture(const char *fileName);

    AppState &m_state;
    QLabel &m_Image1;
    QSet<QString> m_reported;
};
