#include "StationModel.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int Blue = 1;
constexpr int Red = 2;
constexpr int Green = 3;
constexpr int Yellow = 4;
constexpr int Orange = 5;

// A whole number nearest to value, an exact half going to the even neighbour.
qint64 roundHalfEven(double value)
{
    const double floor = std::floor(value);
    const double rest = value - floor;
    qint64 result = qint64(floor);
    if (rest > 0.5 || (rest == 0.5 && result % 2 != 0))
        ++result;
    return result;
}

// numerator / denominator (both positive) to the nearest whole number, halves to even.
qint64 divideHalfEven(qint64 numerator, qint64 denominator)
{
    qint64 quotient = numerator / denominator;
    const qint64 twice = 2 * (numerator % denominator);
    if (twice > denominator || (twice == denominator && quotient % 2 != 0))
        ++quotient;
    return quotient;
}

QString text(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

template<typename T>
QString text(const std::optional<T> &value)
{
    return value ? QString::number(int(*value)) : QStringLiteral("none");
}

} // namespace

QString StationModel::seconds(qint64 milliseconds)
{
    // Tenths, an exact half away from zero (the values are never negative).
    const qint64 tenths = (milliseconds + 50) / 100;
    return QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10);
}

StationModel::StationModel(const Settings &settings, const Doubles &doubles) : m_doubles(doubles)
{
    StationView &v = m_view;
    // The start-up sequence: the default file opened, no current memory, the slider at 4500
    // shown as " 4.5", the receive picture, then the settings file.
    v.deviceFile = doubles.defaultFile;
    v.deviceMode = Stopped;
    m_length = doubles.length;
    v.updateInterval = 0;
    v.CurMem = -1;
    v.slider = 4500;
    v.delayCaption = QStringLiteral(" 4.5");
    v.onAirPicture = false;
    v.gauge = 0;

    v.ComNum = settings.ComNum;
    v.RtsOn = settings.RtsOn;
    v.RtsPos = settings.RtsPos;
    v.DtrOn = settings.DtrOn;
    v.DtrPos = settings.DtrPos;
    for (int i = 0; i < 6; ++i) {
        v.MemFile[i] = settings.MemFile[i];
        v.repeatBox[i] = settings.repeat[i];
        v.MemDelay[i] = settings.MemDelay[i];
        v.memoryFace[i] = Blue;
    }
    v.panelFace = Blue;
    v.panelCaption = QStringLiteral("Idle");
    v.lockFace = Blue;
    v.standbyFace = Blue;
    v.standbyTag = QStringLiteral("B");
    transportFromMode();
}

StationModel::Line StationModel::line(LineId id)
{
    StationView &v = m_view;
    if (id == Rts)
        return {"RTS", v.RtsOn, v.RtsPos, v.rts, v.wireRts, m_keyedByCall[Rts]};
    return {"DTR", v.DtrOn, v.DtrPos, v.dtr, v.wireDtr, m_keyedByCall[Dtr]};
}

void StationModel::beginEvent()
{
    m_view.deviceLog.clear();
    m_view.wireLog.clear();
}

// ---- The memory bank -------------------------------------------------------------------------

void StationModel::leftClickMemory(int index)
{
    StationView &v = m_view;
    if (v.Playing) {
        if (v.CurMem != index) {
            showErr(); // another memory is busy
            return;
        }
        // The busy memory again: stop, also in the repeat wait.
        v.Playing = 0;
        repReset();
        disarmTimer1();
        stopMem();
        if (!v.LockOn)
            recStat();
        v.memoryFace[index] = Green;
        v.panelFace = Blue;
        return;
    }
    v.RepOn = v.repeatBox[index];
    setSlider(int(std::clamp<qint64>(roundHalfEven(v.MemDelay[index]), 0, 10000)));
    if (v.CurMem != -1)
        v.memoryFace[v.CurMem] = Blue;
    v.memoryFace[index] = Red;
    v.panelFace = v.RepOn ? Yellow : Orange;
    // A repeat timer armed by a late end of message must not restart this message.
    disarmTimer1();
    playMem(index);
    v.CurMem = index;
    if (!v.StdByOn)
        sendStat();
}

void StationModel::rightClickMemory(int index, const QString &answer)
{
    StationView &v = m_view;
    if (v.Playing && index == v.CurMem)
        return; // the busy memory keeps its file
    v.memoryYellow[index] = true;
    ++v.fileRequests;
    v.fileTitle = QStringLiteral("Choose The File For Memory %1").arg(index + 1);
    if (answer.isEmpty())
        return;
    v.MemFile[index] = answer;
}

// ---- The player ------------------------------------------------------------------------------

void StationModel::playMem(int index)
{
    StationView &v = m_view;
    v.PlayTime = 0;
    command(QStringLiteral("Close"));
    v.deviceFile = v.MemFile[index];
    command(QStringLiteral("Open ") + v.MemFile[index]);
    v.deviceLog << QStringLiteral("TimeFormat 0");
    setUpdateInterval(50);
    command(QStringLiteral("Play"));
    v.Playing = 1;
}

void StationModel::stopMem()
{
    setUpdateInterval(0);
    command(QStringLiteral("Stop"));
    command(QStringLiteral("Prev"));
    m_view.Playing = 0;
    m_view.gauge = 0;
}

void StationModel::done(int NotifyCode, bool deviceStops)
{
    StationView &v = m_view;
    if (deviceStops && v.deviceMode != NotReady) {
        v.deviceMode = Stopped;
        transportFromMode();
    }
    setUpdateInterval(0);
    if (v.deviceMode != Playing)
        command(QStringLiteral("Prev"));
    // A file that failed does not repeat: it would key the transmitter after every delay.
    if (v.RepOn && NotifyCode != Failure) {
        armTimer1();
        command(QStringLiteral("Back"));
    } else {
        disarmTimer1();
        v.Playing = 0;
        if (v.CurMem == -1 || NotifyCode == Failure)
            showErr();
        if (v.CurMem != -1)
            v.memoryFace[v.CurMem] = Green;
        v.panelFace = Blue;
    }
    if (!v.LockOn)
        recStat();
    repReset();
    v.gauge = 0;
}

void StationModel::statusReport()
{
    StationView &v = m_view;
    v.PlayTime += 55;
    if (m_length <= 0)
        return; // nothing to measure against: the panel stays as it is
    const qint64 elapsed = qint64(v.PlayTime);
    const qint64 percentage = divideHalfEven(elapsed * 100, m_length);
    if (percentage > 32767)
        return; // far past the end: the panel stays as it is
    v.panelCaption = seconds(elapsed);
    v.gauge = int(std::min<qint64>(100, percentage));
}

void StationModel::transportPlay()
{
    m_view.PlayTime = 0;
    setUpdateInterval(50);
    command(QStringLiteral("Play"));
}

void StationModel::transportPrev()
{
    setUpdateInterval(0);
    command(QStringLiteral("Prev"));
    command(QStringLiteral("Prev"));
}

void StationModel::transportStop()
{
    setUpdateInterval(0);
    command(QStringLiteral("Stop"));
    command(QStringLiteral("Prev"));
    command(QStringLiteral("Stop"));
}

void StationModel::transportPause()
{
    // The device holds its place; nothing else changes.
    command(QStringLiteral("Stop"));
}

void StationModel::transportNext()
{
    command(QStringLiteral("Next"));
}

void StationModel::showErr()
{
    m_view.refusalShown = true;
    m_view.timer3Running = true;
}

void StationModel::tickTimer3()
{
    m_view.timer3Running = false;
    m_view.refusalShown = false;
}

// The double's commands: what it logs and how its mode follows.
void StationModel::command(const QString &entry)
{
    StationView &v = m_view;
    const QString word = entry.section(QLatin1Char(' '), 0, 0);
    v.deviceLog << (word == QLatin1String("Open") ? entry : word);
    if (word == QLatin1String("Open")) {
        m_length = m_doubles.length;
        v.deviceMode = Stopped;
    } else if (word == QLatin1String("Close")) {
        m_length = 0;
        v.deviceMode = NotReady;
    } else if (word == QLatin1String("Play")) {
        if (v.deviceMode != NotReady)
            v.deviceMode = Playing;
    } else if (word == QLatin1String("Stop")) {
        if (v.deviceMode == Playing)
            v.deviceMode = Stopped;
    }
    transportFromMode();
}

void StationModel::setUpdateInterval(int milliseconds)
{
    m_view.updateInterval = milliseconds;
    m_view.deviceLog << QStringLiteral("UpdateInterval %1").arg(milliseconds);
}

void StationModel::transportFromMode()
{
    StationView &v = m_view;
    const bool ready = v.deviceMode != NotReady;
    const bool playing = v.deviceMode == Playing;
    v.transport = {ready, ready && !playing, playing, playing, ready};
}

// ---- The repeat cycle ------------------------------------------------------------------------

void StationModel::clickRepeatBox(int index)
{
    StationView &v = m_view;
    v.repeatBox[index] = !v.repeatBox[index];
    if (index == v.CurMem)
        v.RepOn = v.repeatBox[index];
}

void StationModel::setSlider(int value)
{
    if (value == m_view.slider)
        return; // no change, no new caption
    m_view.slider = value;
    m_view.delayCaption = seconds(value);
}

void StationModel::moveSlider(int value)
{
    setSlider(std::clamp(value, 0, 10000));
}

void StationModel::clickDelayButton()
{
    StationView &v = m_view;
    if (v.CurMem == -1) {
        showErr();
        return;
    }
    v.MemDelay[v.CurMem] = v.slider;
}

void StationModel::clickStatusPanel()
{
    showErr();
}

void StationModel::repReset()
{
    StationView &v = m_view;
    v.panelCaption = v.Playing == 1 && v.RepOn ? QStringLiteral("Pause") : QStringLiteral("Idle");
}

void StationModel::armTimer1()
{
    m_waiting = true;
    // A delay of 0 never ticks.
    m_view.timer1Interval = m_view.slider;
}

void StationModel::disarmTimer1()
{
    m_waiting = false;
    m_view.timer1Interval = 0;
}

void StationModel::tickTimer1()
{
    StationView &v = m_view;
    // One tick per arming.
    v.timer1Interval = 0;
    m_waiting = false;
    if (!v.Playing)
        return; // stopped meanwhile
    v.PlayTime = 0;
    setUpdateInterval(50);
    command(QStringLiteral("Prev"));
    command(QStringLiteral("Play"));
    if (!v.StdByOn)
        sendStat();
}

// ---- PTT keying ------------------------------------------------------------------------------

void StationModel::setLine(LineId id, bool level)
{
    Line l = line(id);
    l.requested = level;
    if (m_view.portOpen) {
        m_portsOwnLevel[id] = false;
        l.wire = level;
        m_view.wireLog << QStringLiteral("%1 %2").arg(QLatin1String(l.name)).arg(int(level));
    }
}

void StationModel::sendStat()
{
    m_view.onAirPicture = true;
    for (LineId id : {Rts, Dtr}) {
        Line l = line(id);
        if (l.on) {
            l.keyedByCall = true;
            setLine(id, l.positive);
        }
    }
}

void StationModel::recStat()
{
    m_view.onAirPicture = false;
    for (LineId id : {Rts, Dtr}) {
        Line l = line(id);
        if (l.on) {
            l.keyedByCall = false;
            setLine(id, !l.positive);
        }
    }
}

void StationModel::clickLock()
{
    StationView &v = m_view;
    if (v.LockOn) {
        v.LockOn = false;
        v.lockFace = Blue;
        recStat();
        return;
    }
    v.LockOn = true;
    v.lockFace = Red;
    if (!v.StdByOn)
        sendStat();
}

void StationModel::clickStandby()
{
    StationView &v = m_view;
    if (v.StdByOn) {
        v.StdByOn = false;
        v.timer2Interval = 0;
        v.standbyFace = Blue;
        v.standbyTag = QStringLiteral("B");
        // Keys again only when something is to be on the air: Lock, or a message that plays (in
        // the repeat wait nothing is on the air; the restart keys).
        if (messageOnAir() || v.LockOn)
            sendStat();
        return;
    }
    v.timer2Interval = 250;
    v.StdByOn = true;
    v.standbyFace = Green;
    v.standbyTag = QStringLiteral("R");
    recStat();
}

void StationModel::tickTimer2()
{
    StationView &v = m_view;
    if (!v.StdByOn)
        return;
    const bool green = v.standbyTag == QLatin1String("R");
    v.standbyFace = green ? Blue : Green;
    v.standbyTag = green ? QStringLiteral("B") : QStringLiteral("R");
}

// ---- The COM dialog --------------------------------------------------------------------------

// A line taken out of use while it keyed goes back to its receive level.
void StationModel::releaseUnusedLines()
{
    for (LineId id : {Rts, Dtr}) {
        Line l = line(id);
        if (!l.on && l.keyedByCall) {
            l.keyedByCall = false;
            setLine(id, !l.positive);
        }
    }
}

void StationModel::boxChanged(LineId id, bool ticked, bool positiveSelected, bool &optionsEnabled)
{
    Line l = line(id);
    const bool takenIntoUse = ticked && !l.on;
    l.on = ticked;
    if (ticked)
        l.positive = positiveSelected;
    optionsEnabled = ticked;
    releaseUnusedLines();
    // Ticking never keys: a line taken into use starts at its receive level.
    if (takenIntoUse) {
        l.keyedByCall = false;
        setLine(id, !l.positive);
    }
}

void StationModel::openComDialog()
{
    StationView &v = m_view;
    if (v.dialog == StationView::Unloaded) {
        // Loading: the polarity options, then the boxes (a box that becomes ticked counts as a
        // click), then the port option.
        v.option2Positive = v.RtsPos;
        v.option3Positive = v.DtrPos;
        v.option2Enabled = true;
        v.option3Enabled = true;
        v.check1 = false;
        v.check2 = false;
        if (v.RtsOn) {
            v.check1 = true;
            boxChanged(Rts, true, v.option2Positive, v.option2Enabled);
        }
        if (v.DtrOn) {
            v.check2 = true;
            boxChanged(Dtr, true, v.option3Positive, v.option3Enabled);
        }
        v.portOption = v.ComNum >= 1 && v.ComNum <= 8 ? v.ComNum - 1 : -1;
    }
    v.dialog = StationView::Shown;
}

void StationModel::clickRtsBox()
{
    StationView &v = m_view;
    v.check1 = !v.check1;
    boxChanged(Rts, v.check1, v.option2Positive, v.option2Enabled);
}

void StationModel::clickDtrBox()
{
    StationView &v = m_view;
    v.check2 = !v.check2;
    boxChanged(Dtr, v.check2, v.option3Positive, v.option3Enabled);
}

void StationModel::chooseRtsPolarity(bool positive)
{
    // No action of its own: read when the box becomes ticked.
    if (m_view.option2Enabled)
        m_view.option2Positive = positive;
}

void StationModel::chooseDtrPolarity(bool positive)
{
    if (m_view.option3Enabled)
        m_view.option3Positive = positive;
}

void StationModel::choosePort(int index)
{
    StationView &v = m_view;
    if (v.portOption == index)
        return;
    v.portOption = index;
    v.ComNum = qint16(index + 1);
}

void StationModel::clickOk(const QString &openError)
{
    StationView &v = m_view;
    v.dialog = StationView::Hidden;
    if (v.portOpen) {
        // The lines drop while the port is closed.
        for (LineId id : {Rts, Dtr}) {
            Line l = line(id);
            if (l.keyedByCall)
                setLine(id, !l.positive);
        }
        m_keyedWhenClosed = keyed(v, m_portEverOpened);
        v.portOpen = false;
    }
    const auto noDevice = [&v] {
        return QStringLiteral("Port %1: no such device").arg(v.ComNum);
    };
    if (v.ComNum < 1 || v.ComNum > 8) {
        v.messages << noDevice();
        return;
    }
    // Each enabled line at the level of the present state: on air only if the last keying call
    // keyed it. Opening never keys by itself.
    for (LineId id : {Rts, Dtr}) {
        Line l = line(id);
        if (l.on)
            setLine(id, l.keyedByCall ? l.positive : !l.positive);
    }
    if (v.ComNum > m_doubles.portsWithDevice) {
        v.messages << noDevice();
        return;
    }
    if (!openError.isEmpty()) {
        v.messages << openError;
        return;
    }
    v.portOpen = true;
    m_portEverOpened = true;
    if (m_doubles.raisesOnOpen) {
        v.wireRts = true;
        v.wireDtr = true;
    }
    // The levels asked for so far reach the wire.
    for (LineId id : {Rts, Dtr}) {
        Line l = line(id);
        m_portsOwnLevel[id] = !l.requested;
        if (l.requested) {
            l.wire = *l.requested;
            v.wireLog << QStringLiteral("%1 %2").arg(QLatin1String(l.name)).arg(int(l.wire));
        }
    }
}

void StationModel::closeComDialog()
{
    // Unloaded without touching the port; the next opening loads it afresh.
    m_view.dialog = StationView::Unloaded;
}

// ---- Checks ----------------------------------------------------------------------------------

bool StationModel::keyed(const StationView &view, bool portEverOpened) const
{
    if (!portEverOpened)
        return false;
    if (!view.portOpen)
        return m_keyedWhenClosed;
    return (view.RtsOn && !m_portsOwnLevel[Rts] && view.wireRts == view.RtsPos)
           || (view.DtrOn && !m_portsOwnLevel[Dtr] && view.wireDtr == view.DtrPos);
}

QStringList StationModel::safetyProblems(const StationView &actual, bool portEverOpened) const
{
    QStringList problems;
    const bool isKeyed = keyed(actual, portEverOpened);
    if (!portEverOpened && !actual.wireLog.isEmpty())
        problems << QStringLiteral("levels reached the wire before the port ever opened");
    if (isKeyed && actual.StdByOn)
        problems << QStringLiteral("keyed under standby");
    if (isKeyed && !actual.onAirPicture)
        problems << QStringLiteral("keyed while the station shows receive");
    if (actual.onAirPicture && actual.StdByOn)
        problems << QStringLiteral("on-air picture under standby");
    if (actual.onAirPicture && !actual.LockOn && !messageOnAir())
        problems << QStringLiteral("on air without Lock and without a message on the air");
    return problems;
}

QStringList StationView::differences(const StationView &a) const
{
    QStringList out;
    const auto check = [&out](const char *name, const QString &expected, const QString &found) {
        if (expected != found)
            out << QStringLiteral("%1: expected %2, found %3")
                       .arg(QLatin1String(name), expected, found);
    };
    const auto number = [](double value) {
        return QString::number(value, 'g', 17);
    };
    const auto list = [](const QStringList &l) {
        return QLatin1Char('[') + l.join(QStringLiteral(", ")) + QLatin1Char(']');
    };

    check("Playing", number(Playing), number(a.Playing));
    check("CurMem", number(CurMem), number(a.CurMem));
    check("RepOn", text(RepOn), text(a.RepOn));
    check("LockOn", text(LockOn), text(a.LockOn));
    check("StdByOn", text(StdByOn), text(a.StdByOn));
    check("PlayTime", number(PlayTime), number(a.PlayTime));
    for (int i = 0; i < 6; ++i) {
        const QByteArray n = QByteArray::number(i);
        check(("MemFile " + n).constData(), MemFile[i], a.MemFile[i]);
        check(("MemDelay " + n).constData(), number(MemDelay[i]), number(a.MemDelay[i]));
        check(("memory face " + n).constData(), number(memoryFace[i]), number(a.memoryFace[i]));
        check(("memory yellow " + n).constData(), text(memoryYellow[i]), text(a.memoryYellow[i]));
        check(("repeat box " + n).constData(), text(repeatBox[i]), text(a.repeatBox[i]));
    }
    check("ComNum", number(ComNum), number(a.ComNum));
    check("RtsOn", text(RtsOn), text(a.RtsOn));
    check("RtsPos", text(RtsPos), text(a.RtsPos));
    check("DtrOn", text(DtrOn), text(a.DtrOn));
    check("DtrPos", text(DtrPos), text(a.DtrPos));

    check("status face", number(panelFace), number(a.panelFace));
    check("status caption", panelCaption, a.panelCaption);
    check("progress", number(gauge), number(a.gauge));
    check("slider", number(slider), number(a.slider));
    check("delay caption", delayCaption, a.delayCaption);
    check("Lock face", number(lockFace), number(a.lockFace));
    check("StdBy face", number(standbyFace), number(a.standbyFace));
    check("StdBy tag", standbyTag, a.standbyTag);
    check("on-air picture", text(onAirPicture), text(a.onAirPicture));
    check("refusal shown", text(refusalShown), text(a.refusalShown));
    check("Timer1 interval", number(timer1Interval), number(a.timer1Interval));
    check("Timer2 interval", number(timer2Interval), number(a.timer2Interval));
    check("Timer3 running", text(timer3Running), text(a.timer3Running));
    static const char *const transportNames[] = {"Prev", "Play", "Pause", "Stop", "Next"};
    for (int i = 0; i < 5; ++i)
        check((QByteArray("transport ") + transportNames[i]).constData(), text(transport[i]),
              text(a.transport[i]));

    check("device mode", number(deviceMode), number(a.deviceMode));
    check("update interval", number(updateInterval), number(a.updateInterval));
    check("device file", deviceFile, a.deviceFile);
    check("device commands", list(deviceLog), list(a.deviceLog));
    check("file dialogs", number(fileRequests), number(a.fileRequests));
    check("file dialog title", fileTitle, a.fileTitle);

    check("RTS asked", ::text(rts), ::text(a.rts));
    check("DTR asked", ::text(dtr), ::text(a.dtr));
    check("port open", text(portOpen), text(a.portOpen));
    check("wire", list(wireLog), list(a.wireLog));
    check("RTS on the wire", text(wireRts), text(a.wireRts));
    check("DTR on the wire", text(wireDtr), text(a.wireDtr));
    check("messages", list(messages), list(a.messages));

    check("COM dialog", number(dialog), number(a.dialog));
    if (dialog != Unloaded && a.dialog != Unloaded) {
        check("RTS box", text(check1), text(a.check1));
        check("DTR box", text(check2), text(a.check2));
        check("RTS option", text(option2Positive), text(a.option2Positive));
        check("DTR option", text(option3Positive), text(a.option3Positive));
        check("RTS options enabled", text(option2Enabled), text(a.option2Enabled));
        check("DTR options enabled", text(option3Enabled), text(a.option3Enabled));
        check("port option", number(portOption), number(a.portOption));
    }
    return out;
}

QString StationView::summary() const
{
    const auto line = [](bool on, bool positive, bool wire) {
        return on ? QStringLiteral("%1 wire %2").arg(positive ? "+" : "-").arg(int(wire))
                  : QStringLiteral("off wire %1").arg(int(wire));
    };
    return QStringLiteral("Playing %1, CurMem %2, RepOn %3, Lock %4, StdBy %5, %6, port %7, "
                          "RTS %8, DTR %9")
        .arg(Playing)
        .arg(CurMem)
        .arg(int(RepOn))
        .arg(int(LockOn))
        .arg(int(StdByOn))
        .arg(onAirPicture ? "on air" : "receive")
        .arg(portOpen ? "open" : "closed")
        .arg(line(RtsOn, RtsPos, wireRts), line(DtrOn, DtrPos, wireDtr));
}
