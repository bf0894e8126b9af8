// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/HamlibSettings.h"
#include "ptt/SerialLines.h"

#include <QByteArray>
#include <QStringList>
#include <optional>

// What the program and its guard (voicevocta-guard) tell each other: one message a packet on their
// socket, in plain text ("rig\nmodel=2\n..."); the serial port itself travels as a descriptor
// beside its message. The socket is the one the guard inherits as descriptor 3 (a guard that is
// the program's child), or one the guard connects to by its name (a guard in a service unit of
// its own).
namespace GuardProtocol {

// The guard's end of the socket, in a guard that is the program's child.
constexpr int SocketDescriptor = 3;
// While the transmitter is keyed the guard asks every PingEveryMs whether the program answers;
// a program that has not answered for SilenceMs, or that stays keyed TimeoutMarginMs past its
// time-out, is taken for frozen and the guard releases the transmitter itself.
constexpr int PingEveryMs = 500;
constexpr int SilenceMs = 2000;
constexpr int TimeoutMarginMs = 2000;
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
        Sources, // the microphones the program muted (`sources`), to be put back should it die
        Keyed, // the transmitter is keyed now, with the program's time-out (`timeout` seconds)
        Released, // the transmitter is released
        Ping, // from the guard, while keyed: the program answers at once
        Pong, // the program's answer
        TookOver // from the guard: it released the transmitter itself (`reason`)
    };
    Kind kind = Kind::Goodbye;
    HamlibSettings rig;
    SerialLines::ReceiveLevels levels;
    QStringList sources;
    int timeout = 0; // Keyed: seconds, 0 for none
    QString reason; // TookOver

    static Message of(Kind kind)
    {
        Message message;
        message.kind = kind;
        return message;
    }
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
