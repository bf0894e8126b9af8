// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/AppState.h"
#include "station/Result.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

class ProfileText;

// The section "Network" of the settings file: the station network, where this station says when
// it transmits and hears the stations around it (RadioInfo datagrams over UDP).
//   RadioInfo     "host:port" entries separated by commas to send to; empty: send nothing
//   StationName   this station's name on the network; empty: the machine's host name
//   Listen        the UDP port to hear other stations on, 1 to 65535; empty: none
//   Interlock     off, band or all (in any case)
//   PeerTimeoutS  1 to 60 (5)
//   Role          run or sp (in any case)
//
// Each key is written only when its value differs from its default, or when the file already has
// it (then it is kept up to date); a key whose value the station still holds as it was read is
// left in the file byte for byte as it is.
namespace NetworkSettings {

using Values = NetworkValues;

constexpr int MinPeerTimeoutS = NetworkValues::MinPeerTimeoutS;
constexpr int MaxPeerTimeoutS = NetworkValues::MaxPeerTimeoutS;
// The longest station name, in characters.
constexpr int MaxStationName = 64;

// Where RadioInfo goes: a host (an IPv4 address, an IPv6 address, or a host name) and a UDP port.
struct Destination
{
    QString host;
    quint16 port = 0;
    bool operator==(const Destination &) const = default;
};

// The entries of a "RadioInfo=" list: "host:port" separated by commas, blanks around each allowed,
// an IPv6 address in brackets ("[fe80::1]:12060"), the port from 1 to 65535. An empty text is no
// destination. A failure, with the reason, when an entry is not one.
ResultOf<QList<Destination>> destinations(QStringView text);
// A UDP port to listen on: empty (blanks allowed) gives 0, none; else 1 to 65535.
ResultOf<int> listenPort(QStringView text);
// A station name as the settings take it (blanks around it removed): at most MaxStationName
// characters, no control characters. The empty name stands for the host name.
ResultOf<QString> stationName(QStringView text);
// The name this station uses on the network: its own, else the machine's host name.
QString effectiveStationName(const Values &values);

// The words of the file for the two choices.
QString interlockText(InterlockMode mode);
QString roleText(StationRole role);

// Reads the keys into the state; a missing file, section or key gives its default, and so does a
// value the key does not accept. Returns a line for each value that was not taken, saying what is
// used instead.
QStringList read(const ProfileText &file, AppState &state);

// Writes the keys that are due (see above); `asRead` is the state as read() left it. Returns
// "section/key" of each value the file cannot hold; those keep their old value in the file.
QList<QByteArray> write(ProfileText &file, const AppState &state, const AppState &asRead);

} // namespace NetworkSettings
