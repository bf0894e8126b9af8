// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/Result.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The command line of voicevocta-send, read into what to ask of the keyer.
struct SendArguments
{
    enum class Command { Play, Stop, Lock, Standby, File, Say, Status, Focus, Help };

    Command command = Command::Help;
    int memory = 0; // Play
    bool on = false; // Lock, Standby
    QString path; // File: absolute
    QString text; // Say: the words given, joined by blanks
    bool wait = false; // Play, File, Say: until the message's audio has ended
    int radio = 0; // Play, File, Say: on this radio (0: the one with the focus); Focus: to it

    // Reads the arguments after the program's name, as bytes. A failure, with the reason, for a
    // command line that asks nothing sensible.
    static Result parse(const QList<QByteArray> &arguments, SendArguments *result);

    static QString usage();
};
