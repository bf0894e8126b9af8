// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/SerialLines.h"

#include <QStringList>
#include <functional>
#include <memory>

class CrashRelease;
class PttGuard;
class QSerialPort;

// The serial lines of a real port, over Qt SerialPort.
//
// A line that cannot be set (a port without modem lines, such as a pseudo-terminal) leaves the
// program running; it is said once per opening on standard error. A port that goes away while
// open (an unplugged USB adapter) counts as closed at once and is said on standard error.
//
// The receive levels keep the transmitter released after the program has died: the port is
// left to drop its lines at the last close (the tty flag HUPCL) only when every line that keys
// the transmitter is released by a low level, and a crash release, when one is given, puts the
// lines at their receive levels on a fatal signal. The guard, when one is given, holds a
// descriptor of the open port and puts the lines at their receive levels after any end of the
// program that was not in order, SIGKILL included.
class QtSerialLines : public SerialLines
{
    Q_OBJECT
public:
    // `devices` lists the serial devices in port order; port n is its n-th entry (Windows: COMn).
    using DeviceList = std::function<QStringList()>;
    explicit QtSerialLines(DeviceList devices = {}, QObject *parent = nullptr);
    ~QtSerialLines() override;

    void setPortNumber(int number) override { m_portNumber = number; }
    int portNumber() const override { return m_portNumber; }
    void setDevicePath(const QString &path) override { m_devicePath = path; }
    QString devicePath() const override { return m_devicePath; }
    QString deviceName(int number) const override;

    void setSettings(const QString &settings) override { m_settings = settings; }
    QString settings() const override { return m_settings; }

    bool open() override;
    void close() override;
    bool isOpen() const override;
    QString errorString() const override { return m_error; }

    void setRts(bool level) override;
    void setDtr(bool level) override;
    std::optional<bool> rts() const override { return m_rts; }
    std::optional<bool> dtr() const override { return m_dtr; }

    void setReceiveLevels(const ReceiveLevels &levels) override;
    ReceiveLevels receiveLevels() const override { return m_receive; }

    // The crash release that is told about the open port and its receive levels (null: none);
    // these lines take a slot of their own in it, until they go or are given another.
    void setCrashRelease(CrashRelease *crash);
    // The guard that is told about the open port and its receive levels (null: none).
    void setGuard(PttGuard *guard);

    // The device of the open port; empty while closed.
    QString openDevice() const { return isOpen() ? m_device : QString(); }

private:
    enum class Line { Rts, Dtr };
    void write(Line line, bool level);
    void portError(int error);
    void release();
    void applyReceiveLevels();

    DeviceList m_devices;
    std::unique_ptr<QSerialPort> m_port;
    int m_portNumber = 0;
    QString m_devicePath;
    QString m_settings;
    QString m_device;
    QString m_error;
    std::optional<bool> m_rts;
    std::optional<bool> m_dtr;
    ReceiveLevels m_receive;
    CrashRelease *m_crash = nullptr;
    int m_crashSlot = -1;
    PttGuard *m_guard = nullptr;
    bool m_gone = false;
    bool m_lineFailureSaid = false;
};
