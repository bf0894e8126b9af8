#include "ptt/PttControl.h"
#include "station/Log.h"

#include "ptt/SerialDevices.h"
#include "ptt/SerialLines.h"
#include "station/AppState.h"
#include "ui/Dialogs.h"
#include "ui/Form1.h"
#include "ui/PictureButton.h"

#include <QLabel>
#include <QPixmap>

namespace {
// ImageList1 faces of the Lock and StdBy buttons.
constexpr int Blue = 1;
constexpr int Red = 2;
constexpr int Green = 3;
// The StdBy blink: 250 ms per face.
constexpr int BlinkInterval = 250;
} // namespace

PttControl::PttControl(AppState &state, Form1 &form, SerialLines &MSComm1, Dialogs &dialogs)
    : m_state(state), m_form(form), m_lines(MSComm1), m_dialogs(dialogs)
{ }

void PttControl::SendStat()
{
    m_onAir = true;
    tellReceiveLevels();
    showPicture("ontheair.bmp");
    if (m_state.RtsOn)
        setLine(Line::Rts, true);
    if (m_state.DtrOn)
        setLine(Line::Dtr, true);
}

void PttControl::RecStat()
{
    m_onAir = false;
    tellReceiveLevels();
    showPicture("receive.bmp");
    if (m_state.RtsOn)
        setLine(Line::Rts, false);
    if (m_state.DtrOn)
        setLine(Line::Dtr, false);
}

void PttControl::Command3d2_Click()
{
    PictureButton *lock = m_form.Command3d2();
    if (m_state.LockOn) {
        m_state.LockOn = false;
        lock->setPicture(m_form.ImageList1().picture(Blue));
        RecStat();
        return;
    }
    m_state.LockOn = true;
    lock->setPicture(m_form.ImageList1().picture(Red));
    if (!m_state.StdByOn)
        SendStat();
}

void PttControl::Command3d3_Click()
{
    PictureButton *standby = m_form.Command3d3();
    if (m_state.StdByOn) {
        m_state.StdByOn = false;
        m_form.Timer2().setInterval(0);
        standby->setPicture(m_form.ImageList1().picture(Blue));
        standby->setTag(QStringLiteral("B"));
        const bool onAir = m_messageOnAir ? m_messageOnAir() : m_state.Playing == 1;
        if (onAir || m_state.LockOn)
            SendStat();
        return;
    }
    m_form.Timer2().setInterval(BlinkInterval);
    m_state.StdByOn = true;
    standby->setPicture(m_form.ImageList1().picture(Green));
    standby->setTag(QStringLiteral("R"));
    RecStat();
}

void PttControl::Timer2_Timer()
{
    if (!m_state.StdByOn)
        return;
    PictureButton *standby = m_form.Command3d3();
    if (standby->tag() == QLatin1String("R")) {
        standby->setPicture(m_form.ImageList1().picture(Blue));
        standby->setTag(QStringLiteral("B"));
    } else {
        standby->setPicture(m_form.ImageList1().picture(Green));
        standby->setTag(QStringLiteral("R"));
    }
}

void PttControl::OpenComPort()
{
    // The port layer knows them before the port opens, so that it can act on them at once.
    tellReceiveLevels();
    if (m_lines.isOpen()) {
        // The lines drop while the port is closed: a port that then fails to open again must
        // not leave the transmitter keyed out of the program's reach.
        dropLines();
        m_lines.close();
    }
    m_lines.setPortNumber(m_state.ComNum);
    m_lines.setSettings(QStringLiteral("9600,N,8,1"));
    // Only ports 1 to 8 can be chosen; another number (from a hand-edited settings file) is
    // answered like a port without a device.
    if (m_state.ComNum < 1 || m_state.ComNum > 8) {
        m_dialogs.critical(&m_form, SerialDevices::noSuchDevice(m_state.ComNum));
        return;
    }
    // The port layer puts these levels on the wire as soon as the port is open: each enabled
    // line at the level of the present station state, so that opening never keys by itself.
    settleLine(Line::Rts, true);
    settleLine(Line::Dtr, true);
    if (!m_lines.open())
        m_dialogs.critical(&m_form, m_lines.errorString());
}

void PttControl::ReleasePort()
{
    settleLine(Line::Rts, false);
    settleLine(Line::Dtr, false);
    m_lines.close();
}

void PttControl::releaseUnusedLines()
{
    tellReceiveLevels();
    if (!m_state.RtsOn)
        settleLine(Line::Rts, false);
    if (!m_state.DtrOn)
        settleLine(Line::Dtr, false);
}

void PttControl::takeIntoUse(Line line)
{
    tellReceiveLevels();
    setLine(line, false);
}

// Puts each line that a keying call keyed at its receive level. The record of what the calls
// asked stays, so that a port that opens again takes the present levels.
void PttControl::dropLines()
{
    for (Line line : {Line::Rts, Line::Dtr}) {
        const LineRecord &record = line == Line::Rts ? m_rts : m_dtr;
        if (record.onAir)
            writeLine(line, !record.level);
    }
}

void PttControl::setLine(Line line, bool onAir)
{
    const bool positive = line == Line::Rts ? m_state.RtsPos : m_state.DtrPos;
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
void PttControl::settleLine(Line line, bool keepOnAir)
{
    const bool enabled = line == Line::Rts ? m_state.RtsOn : m_state.DtrOn;
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
void PttControl::tellReceiveLevels()
{
    SerialLines::ReceiveLevels levels;
    if (m_state.RtsOn)
        levels.rts = !m_state.RtsPos;
    if (m_state.DtrOn)
        levels.dtr = !m_state.DtrPos;
    if (m_toldReceiveLevels == levels)
        return;
    m_toldReceiveLevels = levels;
    m_lines.setReceiveLevels(levels);
}

void PttControl::writeLine(Line line, bool level)
{
    if (line == Line::Rts)
        m_lines.setRts(level);
    else
        m_lines.setDtr(level);
}

void PttControl::showPicture(const char *fileName)
{
    const QString path = m_state.ImgDir + QLatin1String(fileName);
    QPixmap picture(path);
    if (picture.isNull() && !m_reported.contains(path)) {
        // Said once per picture and run: a keyer that keys all day must not flood the log.
        m_reported.insert(path);
        qCWarning(lcVocta).noquote() << "cannot load the picture" << path;
    }
    // The picture is shown at its own size; a missing one leaves the area empty.
    QLabel *image = m_form.Image1();
    image->setPixmap(picture);
    image->resize(picture.isNull() ? image->size() : picture.size());
}
