// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/model/ModelEvent.h"

QString ModelEvent::describe() const
{
    switch (kind) {
    case LeftClick:
        return QStringLiteral("left click on memory %1").arg(arg + 1);
    case RightClick:
        return QStringLiteral("right click on memory %1, %2")
            .arg(arg + 1)
            .arg(answer.isEmpty() ? QStringLiteral("cancelled") : answer);
    case Lock:
        return QStringLiteral("Lock");
    case Standby:
        return QStringLiteral("StdBy");
    case RepeatBox:
        return QStringLiteral("repeat box %1").arg(arg + 1);
    case Slider:
        return QStringLiteral("slider to %1").arg(arg);
    case DelayButton:
        return QStringLiteral("delay button");
    case StatusPanel:
        return QStringLiteral("status panel");
    case Play:
        return QStringLiteral("transport Play");
    case Prev:
        return QStringLiteral("transport Prev");
    case Stop:
        return QStringLiteral("transport Stop");
    case Pause:
        return QStringLiteral("transport Pause");
    case Next:
        return QStringLiteral("transport Next");
    case DeviceEnds:
        return QStringLiteral("the play ends, Done %1").arg(arg);
    case LateDone:
        return QStringLiteral("late Done %1 of a play that was stopped or could not start")
            .arg(arg);
    case StrayDone:
        return QStringLiteral("stray Done %1").arg(arg);
    case Report:
        return QStringLiteral("status report");
    case Tick1:
        return QStringLiteral("Timer1 ticks");
    case Tick2:
        return QStringLiteral("Timer2 ticks");
    case Tick3:
        return QStringLiteral("Timer3 ticks");
    case ComOpen:
        return QStringLiteral("Setup > Com > Parameters");
    case ComRtsBox:
        return QStringLiteral("COM: RTS Enabled box");
    case ComDtrBox:
        return QStringLiteral("COM: DTR Enabled box");
    case ComRtsPolarity:
        return QStringLiteral("COM: RTS %1").arg(arg ? "Positive" : "Negative");
    case ComDtrPolarity:
        return QStringLiteral("COM: DTR %1").arg(arg ? "Positive" : "Negative");
    case ComPort:
        return QStringLiteral("COM: port %1").arg(arg + 1);
    case ComOk:
        return QStringLiteral("COM: OK%1")
            .arg(answer.isEmpty() ? QString()
                                  : QStringLiteral(", the port layer says \"%1\"").arg(answer));
    case ComClose:
        return QStringLiteral("COM: close box");
    case Time:
        return QStringLiteral("%1 ms pass").arg(arg);
    case KeyF:
        return QStringLiteral("key F%1 on %2").arg(arg + 1).arg(focusName());
    case KeyEscape:
        return QStringLiteral("key Esc on %1").arg(focusName());
    case KeyShiftF:
        return QStringLiteral("key Shift+F%1 on %2").arg(arg + 1).arg(focusName());
    case RemotePlay:
        return QStringLiteral("keyer Play(%1)").arg(arg);
    case RemoteStop:
        return QStringLiteral("keyer Stop()");
    case RemoteSetLock:
        return QStringLiteral("keyer SetLock(%1)").arg(arg ? "true" : "false");
    case RemoteSetStandby:
        return QStringLiteral("keyer SetStandby(%1)").arg(arg ? "true" : "false");
    case KindCount:
        break;
    }
    return QString();
}

QString ModelEvent::focusName() const
{
    if (target >= 1 && target <= 6)
        return QStringLiteral("memory button %1").arg(target);
    switch (target) {
    case 7:
        return QStringLiteral("a repeat box");
    case 8:
        return QStringLiteral("the slider");
    case 9:
        return QStringLiteral("the Lock button");
    default:
        return QStringLiteral("the window");
    }
}
