// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/SerialKeyer.h"

#include "ptt/SerialDevices.h"
#include "station/AppState.h"
#include "station/Dialogs.h"

#include <QMetaObject>

SerialKeyer::SerialKeyer(AppState &state, SerialLines &MSComm1, Dialogs &dialogs, QObject *parent)
    : PttKeyer(parent), m_state(state), m_lines(MSComm1), m_dialogs(dialogs)
{
    connect(&m_lines, &SerialLines::vanished, this, &SerialKeyer::tellStatus);
}

void SerialKeyer::setOnAir(bool onAir)
{
    tellReceiveLevels();
    if (m_state.Ptt.RtsOn)
        setLine(Line::Rts, onAir);
    if (m_state.Ptt.DtrOn)
        setLine(Line::Dtr, onAir);
    // The lines act at once.
    QMetaObject::invokeMethod(
        this, [this, onAir] { emit confirmed(onAir); }, Qt::QueuedConnection);
}

QString SerialKeyer::statusText() const
{
    // The devices are looked for only when one is named: listing them takes a while.
    if (m_lines.isOpen()) {
        const QString device = m_lines.deviceName(m_lines.portNumber());
        return QStringLiteral("Port %1 (%2) is open").arg(m_lines.portNumber()).arg(device);
    }
    return QStringLiteral("The serial port is closed: keying changes only the picture");
}

void SerialKeyer::tellStatus()
{
    emit statusChanged(statusText(), true);
}

void SerialKeyer::open()
{
    if (!m_standDown.isEmpty()) {
        m_dialogs.critical(m_standDown);
        return;
    }
    // The port layer knows them before the port opens, so that it can act on them at once.
    tellReceiveLevels();
    if (m_lines.isOpen()) {
        // The lines drop while the port is closed: a port that then fails to open again must
        // not leave the transmitter keyed out of the program's reach.
        dropLines();
        m_lines.close();
    }
    m_lines.setPortNumber(m_state.Ptt.ComNum);
    // A device chosen by its lasting name takes the place of the port number.
    m_lines.setDevicePath(m_state.Ptt.SerialDevice);
    m_lines.setSettings(QStringLiteral("9600,N,8,1"));
    // Only ports 1 to 8 can be chosen; another number (from a hand-edited settings file) is
    // answered like a port without a device.
    if (m_state.Ptt.SerialDevice.isEmpty() && (m_state.Ptt.ComNum < 1 || m_state.Ptt.ComNum > 8)) {
        m_dialogs.critical(SerialDevices::noSuchDevice(m_state.Ptt.ComNum));
        tellStatus();
        return;
    }
    // The port layer puts these levels on the wire as soon as the port is open: each enabled
    // line at the level of the present station state, so that opening never keys by itself.
    settleLine(Line::Rts, true);
    settleLine(Line::Dtr, true);
    if (!m_lines.open())
        m_dialogs.critical(m_lines.errorString());
    tellStatus();
}

void SerialKeyer::shutdown(int)
{
    settleLine(Line::Rts, false);
    settleLine(Line::Dtr, false);
    m_lines.close();
}

void SerialKeyer::useChanged(int takenIntoUse)
{
    tellReceiveLevels();
    if (!m_state.Ptt.RtsOn)
        settleLine(Line::Rts, false);
    if (!m_state.Ptt.DtrOn)
        settleLine(Line::Dtr, false);
    if (takenIntoUse & LineUse::Rts)
        setLine(Line::Rts, false);
    if (takenIntoUse & LineUse::Dtr)
        setLine(Line::Dtr, false);
}

// Puts each line that a keying call keyed at its receive level. The record of what the calls
// asked stays, so that a port that opens again takes the present levels.
void SerialKeyer::dropLines()
{
    for (Line line : {Line::Rts, Line::Dtr}) {
        const LineRecord &record = line == Line::Rts ? m_rts : m_dtr;
        if (record.onAir)
            writeLine(line, !record.level);
    }
}

void SerialKeyer::setLine(Line line, bool onAir)
{
    const bool positive = line == Line::Rts ? m_state.Ptt.RtsPos : m_state.Ptt.DtrPos;
    LineRecord &record = line == Line::Rts ? m_rts : m_dtr;
    record.onAir = onAir;
    record.level = onAir ? positive : !positive;
    writeLine(line, record.level);
}

// Puts one line where it belongs when the port opens (keepOnAir) or is released at the end:
// an enabled line at its present level (on air only if its last request was, and only when
// opening); a line no longer enabled that was last keyed goes back to the receive level it was
// keyed against, so that a port never comes up, nor is left, keying through a line the
// operator has taken out of use. Other lines keep the level the port layer remembers.
void SerialKeyer::settleLine(Line line, bool keepOnAir)
{
    const bool enabled = line == Line::Rts ? m_state.Ptt.RtsOn : m_state.Ptt.DtrOn;
    LineRecord &record = line == Line::Rts ? m_rts : m_dtr;
    if (enabled) {
        setLine(line, keepOnAir && record.onAir);
    } else if (record.onAir) {
        record.onAir = false;
        record.level = !record.level;
        writeLine(line, record.level);
    }
}

// The receive level of each enabled line, told to the port layer when it differs from what it
// was last told.
void SerialKeyer::tellReceiveLevels()
{
    SerialLines::ReceiveLevels levels;
    if (m_state.Ptt.RtsOn)
        levels.rts = !m_state.Ptt.RtsPos;
    if (m_state.Ptt.DtrOn)
        levels.dtr = !m_state.Ptt.DtrPos;
    if (m_toldReceiveLevels == levels)
        return;
    m_toldReceiveLevels = levels;
    m_lines.setReceiveLevels(levels);
}

void SerialKeyer::writeLine(Line line, bool level)
{
    if (line == Line::Rts)
        m_lines.setRts(level);
    else
        m_lines.setDtr(level);
}
