// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/FakeSerialLines.h"

#include "ptt/SerialDevices.h"

void FakeSerialLines::record(const QString &entry)
{
    log.append(entry);
    if (onLog)
        onLog(entry);
}

void FakeSerialLines::putOnWire(const char *line, bool level)
{
    wire.append(QStringLiteral("%1 %2").arg(QLatin1String(line)).arg(int(level)));
    (qstrcmp(line, "RTS") == 0 ? wireRts : wireDtr) = level;
}

void FakeSerialLines::setPortNumber(int number)
{
    m_portNumber = number;
    record(QStringLiteral("Port %1").arg(number));
}

void FakeSerialLines::setSettings(const QString &settings)
{
    m_settings = settings;
    record(QStringLiteral("Settings ") + settings);
}

void FakeSerialLines::setDevicePath(const QString &path)
{
    if (path != m_devicePath)
        record(QStringLiteral("Device %1").arg(path));
    m_devicePath = path;
}

bool FakeSerialLines::open()
{
    record(QStringLiteral("Open"));
    if (m_open)
        return true;
    if (!m_devicePath.isEmpty() && !devices.contains(m_devicePath)) {
        m_error = QStringLiteral("The serial device \"%1\" is not present").arg(m_devicePath);
        return false;
    }
    if (m_devicePath.isEmpty() && deviceName(m_portNumber).isEmpty()) {
        m_error = SerialDevices::noSuchDevice(m_portNumber);
        return false;
    }
    if (!openError.isEmpty()) {
        m_error = openError;
        return false;
    }
    m_open = true;
    m_wireAtOpen = wire.size();
    if (raisesOnOpen) {
        wireRts = true;
        wireDtr = true;
    }
    if (m_rts)
        putOnWire("RTS", *m_rts);
    if (m_dtr)
        putOnWire("DTR", *m_dtr);
    return true;
}

void FakeSerialLines::close()
{
    record(QStringLiteral("Close"));
    m_open = false;
}

void FakeSerialLines::setRts(bool level)
{
    m_rts = level;
    record(QStringLiteral("RTS %1").arg(int(level)));
    if (m_open)
        putOnWire("RTS", level);
}

void FakeSerialLines::setDtr(bool level)
{
    m_dtr = level;
    record(QStringLiteral("DTR %1").arg(int(level)));
    if (m_open)
        putOnWire("DTR", level);
}

void FakeSerialLines::unplug()
{
    openError = QStringLiteral("No such file or directory");
    if (!m_open)
        return;
    m_open = false;
    emit vanished();
}

void FakeSerialLines::setReceiveLevels(const ReceiveLevels &levels)
{
    m_receive = levels;
    const auto text = [](std::optional<bool> level) {
        return level ? QString::number(int(*level)) : QStringLiteral("-");
    };
    receiveLog.append(QStringLiteral("RTS %1, DTR %2").arg(text(levels.rts), text(levels.dtr)));
}
