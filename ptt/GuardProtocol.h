// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/HamlibSettings.h"
#include "ptt/SerialLines.h"

#include <QByteArray>
#include <QStringList>
#include <optional>

// What the program tells its guard (voicevocta-guard): one message a packet on the socket that
// the guard inherits, in plain text ("rig\nmodel=2\n..."); the serial port itself travels as a
// descriptor beside its message.
namespace GuardProtocol {

// The guard's end of the socket, in the guard.
constexpr int SocketDescriptor = 3;
// The longest message.
constexpr int MaxMessage = 4096;

struct Message
{
    enum class Kind {
        Rig, // release this rig should the program die (`rig`)
        NoRig, // no rig is keyed through hamlib any more
        Port, // the serial port that keys the transmitter (a descriptor), and its `levels`
        Levels, // the receive levels of the port given before
        NoPort, // the port is given back: the program closes it
        Goodbye, // the program ends in order: the transmitter is released
        Sources // the microphones the program muted (`sources`), to be put back should it die
    };
    Kind kind = Kind::Goodbye;
    HamlibSettings rig;
    SerialLines::ReceiveLevels levels;
    QStringList sources;
};

QByteArray encode(const Message &message);
// The message in `bytes`; none when it makes no sense.
std::optional<Message> decode(const QByteArray &bytes);

// Sends one message, with `descriptor` (-1: none). False when the guard is gone.
bool send(int socket, const Message &message, int descriptor = -1);
// Receives one message into `bytes`, and the descriptor that came with it (or -1). Returns what
// recvmsg() returns: the message's length, 0 at the end (the other side has gone), or -1.
ssize_t receive(int socket, QByteArray &bytes, int *descriptor, int flags = 0);

} // namespace GuardProtocol
