// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/SerialLines.h"

#include <QStringList>
#include <functional>

// The serial lines of the tests. Every call is written to `log` in order ("Port 3",
// "Settings 9600,N,8,1", "RTS 1", "DTR 0", "Open", "Close"); the levels that reach the wire, only
// while the port is open, are written to `wire` ("RTS 1", ...); the receive levels told, to
// `receiveLog`. Opening can be made to fail with a given text, and an open port can be unplugged.
class FakeSerialLines : public SerialLines
{
    Q_OBJECT
public:
    using SerialLines::SerialLines;

    void setPortNumber(int number) override;
    int portNumber() const override { return m_portNumber; }
    // An explicit device is logged ("Device /dev/...") and opens while it is in `devices`.
    void setDevicePath(const QString &path) override;
    QString devicePath() const override { return m_devicePath; }
    QString deviceName(int number) const override { return devices.value(number - 1); }
    void setSettings(const QString &settings) override;
    QString settings() const override { return m_settings; }

    bool open() override;
    void close() override;
    bool isOpen() const override { return m_open; }
    QString errorString() const override { return m_error; }

    void setRts(bool level) override;
    void setDtr(bool level) override;
    std::optional<bool> rts() const override { return m_rts; }
    std::optional<bool> dtr() const override { return m_dtr; }
    void setReceiveLevels(const ReceiveLevels &levels) override;
    ReceiveLevels receiveLevels() const override { return m_receive; }

    // The device behind each port number, in port order.
    QStringList devices{"/dev/ttyUSB0", "/dev/ttyS0", "/dev/ttyS1"};
    // Opening fails with this text while it is not empty.
    QString openError;
    // Opening raises both lines before the remembered levels are applied, as Linux does.
    bool raisesOnOpen = true;

    // The adapter is pulled out: the open port goes away (and reports it), and opening fails
    // with "No such file or directory" until plugIn().
    void unplug();
    void plugIn() { openError.clear(); }

    QStringList log;
    QStringList wire;
    // The receive levels told, in order: "RTS 1, DTR -" (a dash: the line keys nothing).
    QStringList receiveLog;
    // The levels on the wire now; before the first opening the lines are down.
    bool wireRts = false;
    bool wireDtr = false;
    // Called with each entry as it is added to `log`.
    std::function<void(const QString &)> onLog;

    // The wire entries since the last opening (from the levels it applied on).
    QStringList wireSinceOpen() const { return wire.mid(m_wireAtOpen); }
    void clearLogs()
    {
        log.clear();
        wire.clear();
        receiveLog.clear();
        m_wireAtOpen = 0;
    }

private:
    void record(const QString &entry);
    void putOnWire(const char *line, bool level);

    QString m_devicePath;
    int m_portNumber = 0;
    QString m_settings;
    bool m_open = false;
    QString m_error;
    std::optional<bool> m_rts;
    std::optional<bool> m_dtr;
    ReceiveLevels m_receive;
    qsizetype m_wireAtOpen = 0;
};
