// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// How port numbers name serial devices.
//
// On Linux port n is the n-th device of a stable list: the USB adapters first (/dev/ttyUSB*, then
// /dev/ttyACM*), then the built-in ports (/dev/ttyS*), each group in natural order (ttyUSB2 comes
// before ttyUSB10). On Windows port n is COMn.
namespace SerialDevices {

// The serial devices among `entries` (file names in /dev, such as "ttyUSB0"), as full paths in
// port order. Other names are left out.
QStringList order(const QStringList &entries);

// The serial devices of this machine in port order.
QStringList present();

// The device that port `number` names in `devices` (a list in port order), or an empty text.
QString forPort(int number, const QStringList &devices);

// What to tell the operator when port `number` names no device.
QString noSuchDevice(int number);

} // namespace SerialDevices
