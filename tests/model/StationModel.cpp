// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/model/StationModel.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace {

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

} // namespace

QString StationModel::seconds(qint64 milliseconds)
{
    // Tenths, an exact half away from zero (the values are never negative).
    const qint64 tenths = (milliseconds + 50) / 100;
    return QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10);
}

StationModel::StationModel(const Settings &settings, const Doubles &doubles)
    : m_doubles(doubles)
    , m_leadMs(settings.LeadMs)
    , m_tailMs(settings.TailMs)
    , m_timeoutS(settings.TimeoutS)
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
    m_view.answer.clear();
    m_remoteBefore = remoteStatus();
}

StationView StationModel::view() const
{
    StationView v = m_view;
    v.remoteStatus = remoteStatus();
    // One Changed for an event that changed what the interface reports, none otherwise.
    v.changedSignals = v.remoteStatus != m_remoteBefore ? 1 : 0;
    return v;
}

// ---- The memory bank -------------------------------------------------------------------------

void StationModel::leftClickMemory(int index)
{
    StationView &v = m_view;
    if (v.Playing) {
        if (v.CurMem != index)
            showErr(); // another memory is busy
        else
            operatorStop(index); // the busy memory again: stop, also in its lead or repeat wait
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
    start(false);
}

void StationModel::operatorStop(int index)
{
    StationView &v = m_view;
    setStage(Stage::Idle);
    repReset();
    disarmTimer1();
    stopMem();
    m_startFailed = false;
    disarm(Lead);
    if (!v.LockOn)
        recStat();
    v.memoryFace[index] = Green;
    v.panelFace = Blue;
}

void StationModel::setStage(Stage stage)
{
    m_stage = stage;
    m_view.player = int(stage);
    m_view.Playing = stage == Stage::Idle ? 0 : 1;
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
    setStage(Stage::Playing);
}

void StationModel::stopMem()
{
    setUpdateInterval(0);
    command(QStringLiteral("Stop"));
    command(QStringLiteral("Prev"));
    setStage(Stage::Idle);
    m_view.gauge = 0;
}

void StationModel::done(int NotifyCode, bool deviceStops)
{
    StationView &v = m_view;
    m_startFailed = false;
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
        if (m_stage != Stage::Idle)
            setStage(Stage::RepeatWait);
    } else {
        disarmTimer1();
        setStage(Stage::Idle);
        if (v.CurMem == -1 || NotifyCode == Failure)
            showErr();
        if (v.CurMem != -1)
            v.memoryFace[v.CurMem] = Green;
        v.panelFace = Blue;
    }
    keyingHearsTheEnd(NotifyCode);
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
    // The elapsed time takes the operator's decimal separator; the delay keeps its point.
    v.panelCaption = seconds(elapsed).replace(QLatin1Char('.'), QLocale().decimalPoint());
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
        const bool opens = !m_doubles.unopenable.contains(entry.section(QLatin1Char(' '), 1));
        m_length = opens ? m_doubles.length : 0;
        v.deviceMode = opens ? Stopped : NotReady;
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
    // A delay of 0 never ticks.
    m_view.timer1Interval = m_view.slider;
}

void StationModel::disarmTimer1()
{
    m_view.timer1Interval = 0;
}

void StationModel::tickTimer1()
{
    StationView &v = m_view;
    // One tick per arming.
    v.timer1Interval = 0;
    if (!v.Playing)
        return; // stopped meanwhile
    v.PlayTime = 0;
    start(true);
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
    if (actual.onAirPicture && !actual.LockOn && !messageOnAir() && !inTail())
        problems << QStringLiteral("on air without Lock and without a message on the air");
    if ((isKeyed || actual.onAirPicture) && !actual.LockOn && m_startFailed && !inTail())
        problems << QStringLiteral("on air for a message that could not start");
    if (actual.onAirPicture && m_timeoutS > 0 && m_now - m_keyedSince > m_timeoutS * 1000)
        problems << QStringLiteral("keyed longer than the time-out without a break");
    if (actual.onAirPicture && !actual.LockOn && !messageOnAir() && m_now - m_heardAt > m_tailMs)
        problems << QStringLiteral("keyed longer than the tail after the end");
    const auto receiveLevel = [](bool on, bool positive) {
        return on ? std::optional<bool>(!positive) : std::nullopt;
    };
    if (actual.portOpen
        && (actual.receiveRts != receiveLevel(actual.RtsOn, actual.RtsPos)
            || actual.receiveDtr != receiveLevel(actual.DtrOn, actual.DtrPos)))
        problems << QStringLiteral("the port layer does not know the receive levels");
    return problems;
}
