// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where a rig is keyed through hamlib: its CAT connection, or a CM108 chip's GPIO pin.
struct HamlibSettings
{
    enum class Method {
        Cat, // the rig's CAT connection: directly on a serial port, or through rigctld
        Cm108 // a GPIO pin of a CM108-family USB sound chip
    };
    // hamlib's model numbers for its two rigs of its own.
    static constexpr int DummyModel = 1;
    static constexpr int NetworkModel = 2; // rigctld over the network
    // The GPIO pins a CM108-family chip may have.
    static constexpr int Cm108GpioMin = 1;
    static constexpr int Cm108GpioMax = 8;

    Method method = Method::Cat;
    // CAT: hamlib's rig model; the rig's port ("host:port" for rigctld, or a serial device);
    // the serial speed (0: the model's own).
    int rigModel = NetworkModel;
    QString rigPort = QStringLiteral("localhost:4532");
    int rigSpeed = 0;
    // CM108: the chip's HID device (/dev/hidraw*) and the GPIO pin wired to PTT.
    QString cm108Device;
    int cm108Gpio = 3;

    // Whether the rig is reached through rigctld, which the program speaks to directly; every
    // other rig (on its own port, a CM108 chip) is keyed through hamlib.
    bool throughRigctld() const { return method == Method::Cat && rigModel == NetworkModel; }

    // The rig's name before hamlib is asked about it: "rigctld at localhost:4532", "rig model
    // 3073 on /dev/ttyUSB0", "GPIO 3 of /dev/hidraw2".
    QString plainName() const;
    // Where a CAT rig is: " at host:port" over the network, " on /dev/ttyUSB0" otherwise.
    QString where() const;

    friend bool operator==(const HamlibSettings &, const HamlibSettings &) = default;
};
