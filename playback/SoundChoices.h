// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/SoundServer.h"

#include <QList>
#include <QString>

// The entries of a chooser of sound outputs or inputs, as the operator reads them.
namespace SoundChoices {

struct Entry
{
    QString name; // what the settings store; empty for the system's default
    QString caption;
    bool found = true; // false: the stored device that the server does not offer now
};

// First the system's default (caption defaultCaption, followed by the default device's
// description and name when the server names one of its devices: "Default output (USB Audio
// CODEC, usb2)"), then the server's devices by their descriptions (a description that two
// devices share gets the device's name added), and last, when the stored name is not among them,
// that name marked "(not found)": it stays the choice, never replaced by another device.
QList<Entry> entries(const QList<SoundEndpoint> &devices, const QString &defaultName,
                     const QString &stored, const QString &defaultCaption);

// The index of the entry that stands for the stored name.
qsizetype indexOf(const QList<Entry> &entries, const QString &stored);

// Whether what the operator listens to (the monitor output, empty: the default output) is apart
// from what goes to the transmitter (its output, empty: the default output), given the name of the
// default output as the sound server tells it (empty: unknown).
enum class Listening { Apart, OnTheTransmitter, Unknown };
Listening listening(const QString &monitor, const QString &transmitter,
                    const QString &defaultOutput);

} // namespace SoundChoices
