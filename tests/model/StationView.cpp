// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/model/StationView.h"

namespace {

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

    check("player", number(player), number(a.player));
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
    check("lead interval", number(leadInterval), number(a.leadInterval));
    check("tail interval", number(tailInterval), number(a.tailInterval));
    check("time-out interval", number(timeoutInterval), number(a.timeoutInterval));
    check("Lock blink interval", number(lockBlinkInterval), number(a.lockBlinkInterval));
    check("time-out lines", number(timeoutLines), number(a.timeoutLines));
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

    check("recorder's memory", number(recorderMemory), number(a.recorderMemory));
    check("keyer status", remoteStatus, a.remoteStatus);
    check("keyer Changed signals", number(changedSignals), number(a.changedSignals));
    check("keyer answer", answer, a.answer);

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
