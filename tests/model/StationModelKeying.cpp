// SPDX-License-Identifier: GPL-3.0-or-later
// The model's PTT keying, with its lead, tail and time-out, and the COM dialog.

#include "tests/model/StationModel.h"

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

// Keyed on purpose (a tail ends here); from released, the time-out begins to count.
void StationModel::sendStat()
{
    disarm(Tail);
    const bool wasOnAir = m_view.onAirPicture;
    m_view.onAirPicture = true;
    for (LineId id : {Rts, Dtr}) {
        Line l = line(id);
        if (l.on) {
            l.keyedByCall = true;
            setLine(id, l.positive);
        }
    }
    if (!wasOnAir)
        startTimeout();
}

void StationModel::recStat()
{
    disarm(Tail);
    const bool wasOnAir = m_view.onAirPicture;
    m_view.onAirPicture = false;
    for (LineId id : {Rts, Dtr}) {
        Line l = line(id);
        if (l.on) {
            l.keyedByCall = false;
            setLine(id, !l.positive);
        }
    }
    if (wasOnAir)
        stopTimeout();
}

// A start or a restart: from released to keyed, with a file open, the transmitter first and the
// audio after the lead; otherwise the audio, then the key if it plays.
void StationModel::start(bool restart)
{
    StationView &v = m_view;
    if (m_leadMs > 0 && !v.StdByOn && !v.onAirPicture && v.deviceMode != NotReady) {
        setStage(Stage::Lead);
        m_leadRestart = restart;
        m_startFailed = false;
        sendStat();
        arm(Lead, m_leadMs);
        return;
    }
    startAudio(restart);
    // Keyed only when the device plays: a file that cannot play keys nothing.
    m_startFailed = v.deviceMode != Playing;
    if (!v.StdByOn && !m_startFailed)
        sendStat();
}

void StationModel::startAudio(bool restart)
{
    setUpdateInterval(50);
    if (restart)
        command(QStringLiteral("Prev"));
    command(QStringLiteral("Play"));
    setStage(Stage::Playing);
}

void StationModel::endLead()
{
    disarm(Lead);
    if (m_stage != Stage::Lead)
        return;
    startAudio(m_leadRestart);
    m_startFailed = m_view.deviceMode != Playing;
}

// The end of a play: released unless Lock; heard to its end, after the tail.
void StationModel::keyingHearsTheEnd(int NotifyCode)
{
    disarm(Lead);
    if (m_view.LockOn)
        return;
    if (NotifyCode == Successful && m_tailMs > 0 && m_view.onAirPicture) {
        m_heardAt = m_now;
        arm(Tail, m_tailMs);
        return;
    }
    recStat();
}

void StationModel::clickLock()
{
    StationView &v = m_view;
    if (v.LockOn) {
        v.LockOn = false;
        v.lockFace = Blue;
        recStat();
        // Released, a message in its lead need not wait for its audio.
        if (m_due[Lead].armed)
            endLead();
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
    if (m_due[Lead].armed)
        endLead();
}

// ---- The keying's timers -----------------------------------------------------------------

// What the view shows of each timer: its interval while it runs, else 0.
int &StationModel::shownInterval(KeyingTimer timer)
{
    switch (timer) {
    case Lead:
        return m_view.leadInterval;
    case Tail:
        return m_view.tailInterval;
    case Timeout:
        return m_view.timeoutInterval;
    default:
        return m_view.lockBlinkInterval;
    }
}

void StationModel::arm(KeyingTimer timer, int milliseconds)
{
    m_due[timer] = {true, m_now + milliseconds, milliseconds};
    shownInterval(timer) = milliseconds;
}

void StationModel::disarm(KeyingTimer timer)
{
    m_due[timer].armed = false;
    shownInterval(timer) = 0;
}

std::optional<StationModel::KeyingTimer> StationModel::nextDue(qint64 until) const
{
    std::optional<KeyingTimer> next;
    for (int timer = 0; timer < KeyingTimers; ++timer) {
        const Due &due = m_due[timer];
        if (due.armed && due.at <= until && (!next || due.at < m_due[*next].at))
            next = KeyingTimer(timer);
    }
    return next;
}

void StationModel::tick(KeyingTimer timer)
{
    m_now = m_due[timer].at;
    switch (timer) {
    case Lead:
        endLead();
        break;
    case Tail:
        disarm(Tail);
        recStat();
        break;
    case Timeout:
        timeoutTick();
        break;
    case LockBlink:
        // Every 250 ms while the warning lasts.
        m_due[LockBlink].at += m_due[LockBlink].interval;
        m_lockBlinkRed = !m_lockBlinkRed;
        showLockFace();
        break;
    case KeyingTimers:
        break;
    }
}

// ---- The time-out ------------------------------------------------------------------------

void StationModel::startTimeout()
{
    m_keyedSince = m_now;
    m_timeoutRunning = m_timeoutS;
    m_warning = false;
    if (m_timeoutRunning <= 0)
        return;
    // A time-out of 30 s or more warns during its last 15 s.
    arm(Timeout, (m_timeoutRunning - (m_timeoutRunning >= 30 ? 15 : 0)) * 1000);
}

void StationModel::stopTimeout()
{
    disarm(Timeout);
    if (!m_warning)
        return;
    m_warning = false;
    disarm(LockBlink);
    showLockFace();
}

void StationModel::timeoutTick()
{
    StationView &v = m_view;
    disarm(Timeout);
    if (!m_warning && m_timeoutRunning >= 30) {
        m_warning = true;
        arm(Timeout, 15000);
        m_lockBlinkRed = !v.LockOn;
        showLockFace();
        arm(LockBlink, 250);
        return;
    }
    // Time is up: what plays stops as the operator's click stops it, Lock and the transmitter
    // are released, the refusal face shows and one line says why.
    if (v.Playing)
        operatorStop(v.CurMem);
    if (v.LockOn) {
        v.LockOn = false;
        v.lockFace = Blue;
    }
    if (v.onAirPicture)
        recStat();
    stopTimeout();
    showErr();
    ++v.timeoutLines;
    ++m_timeouts;
}

void StationModel::showLockFace()
{
    const bool red = m_warning ? m_lockBlinkRed : m_view.LockOn;
    m_view.lockFace = red ? Red : Blue;
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

// ---- The keys and the keyer interface ----------------------------------------------------------

void StationModel::pressF(int index)
{
    leftClickMemory(index);
}

void StationModel::pressEscape()
{
    if (m_view.Playing)
        leftClickMemory(m_view.CurMem);
}

void StationModel::pressShiftF(int index)
{
    m_view.recorderMemory = index + 1;
}

void StationModel::remotePlay(int number)
{
    StationView &v = m_view;
    bool done = false;
    if (number < 1 || number > 6) {
        showErr();
    } else {
        // A busy memory stops; another one is refused by its click; idle starts.
        done = !v.Playing || v.CurMem == number - 1;
        leftClickMemory(number - 1);
    }
    v.answer = done ? QStringLiteral("true") : QStringLiteral("false");
}

void StationModel::remoteStop()
{
    const bool busy = m_view.Playing;
    pressEscape();
    m_view.answer = busy ? QStringLiteral("true") : QStringLiteral("false");
}

void StationModel::remoteSetLock(bool on)
{
    if (m_view.LockOn != on)
        clickLock();
}

void StationModel::remoteSetStandby(bool on)
{
    if (m_view.StdByOn != on)
        clickStandby();
}

QString StationModel::remoteStatus() const
{
    const StationView &v = m_view;
    const char *state = m_stage == Stage::Idle ? "idle"
                        : inRepeatWait()       ? "repeat-wait"
                                               : "playing";
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(QLatin1String(state))
        .arg(v.CurMem >= 0 ? v.CurMem + 1 : 0)
        .arg(int(v.onAirPicture))
        .arg(int(v.LockOn))
        .arg(int(v.StdByOn));
}
