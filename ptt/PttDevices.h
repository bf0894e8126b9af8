// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

// What the machine offers for keying, for the operator to choose from: serial adapters by their
// lasting names and the sound chips whose GPIO pins can key. Each call reads the system afresh.
// The rigs that hamlib knows come from the hamlib module (RigLibrary::models()).
namespace PttDevices {

// A serial adapter's name in /dev/serial/by-id, which stays when other adapters come and go.
struct SerialName
{
    QString path; // "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"
    QString device; // what it names now: "/dev/ttyUSB0"
};
// The names in `folder`, in name order; none when the folder is missing.
QList<SerialName> serialByIdNames(const QString &folder = QStringLiteral("/dev/serial/by-id"));

// A HID device of a CM108-family sound chip (C-Media, or the SSS1621/1623 that hamlib takes).
struct Cm108Device
{
    QString path; // "/dev/hidraw2"
    QString name; // as the chip gives it: "C-Media Electronics Inc. USB Audio Device"
    quint16 vendor = 0;
    quint16 product = 0;
};
// The chips among the HID devices of `sysClass` (each entry's device/uevent tells its USB ids),
// named by their device in `devFolder`, in number order. Most machines have none.
QList<Cm108Device> cm108Devices(const QString &sysClass = QStringLiteral("/sys/class/hidraw"),
                                const QString &devFolder = QStringLiteral("/dev"));
// Whether USB ids `vendor`:`product` belong to a CM108-family chip.
bool isCm108Family(quint16 vendor, quint16 product);

// A rig model that hamlib knows.
struct RigModel
{
    int number = 0; // hamlib's model number, as RigModel= stores it
    QString manufacturer;
    QString model;
};

} // namespace PttDevices
