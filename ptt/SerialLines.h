// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <optional>

// The serial port as the station uses it: only its two modem-control outputs, RTS and DTR, which
// key the transmitter. No data is ever sent or read.
//
// The levels asked for while the port is closed are remembered and reach the wire when it opens;
// while it is open they act at once. A line never asked keeps whatever level the platform gives
// it on opening.
class SerialLines : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The port number that open() uses (1 for the first port).
    virtual void setPortNumber(int number) = 0;
    virtual int portNumber() const = 0;
    // A device by its path ("/dev/serial/by-id/usb-FTDI_...") that open() uses instead of the
    // port number's; empty: the port number's device.
    virtual void setDevicePath(const QString &path) = 0;
    virtual QString devicePath() const = 0;
    // The device a port number names ("/dev/ttyUSB0", "COM3"), or an empty text if it names none.
    virtual QString deviceName(int number) const = 0;

    // The line settings that open() uses: "baud,parity,data bits,stop bits", e.g. "9600,N,8,1".
    virtual void setSettings(const QString &settings) = 0;
    virtual QString settings() const = 0;

    // Opens the port; on failure it stays closed and errorString() says why.
    virtual bool open() = 0;
    // Releases the port, leaving the lines where they are if the platform allows it.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // The port layer's description of the last failure.
    virtual QString errorString() const = 0;

    // true asserts the line, false deasserts it.
    virtual void setRts(bool level) = 0;
    virtual void setDtr(bool level) = 0;
    // The level last asked for each line, if any.
    virtual std::optional<bool> rts() const = 0;
    virtual std::optional<bool> dtr() const = 0;

    // The level at which each line that keys the transmitter leaves it released (its receive
    // level); no value for a line that does not key it.
    struct ReceiveLevels
    {
        std::optional<bool> rts;
        std::optional<bool> dtr;
        bool operator==(const ReceiveLevels &) const = default;
    };
    // Told whenever a line's use or polarity changes, also while the port is closed. The port
    // layer uses it to keep the transmitter released where the program no longer can: when the
    // port is let go without being released, because the program died.
    virtual void setReceiveLevels(const ReceiveLevels &levels) = 0;
    virtual ReceiveLevels receiveLevels() const = 0;

signals:
    // The open port went away (a USB adapter unplugged). It counts as closed from now on; the
    // remembered levels stay for the next open.
    void vanished();
};
