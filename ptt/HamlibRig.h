// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/HamlibKeyer.h"

#include <QString>
#include <chrono>

struct s_rig;

// One rig opened through hamlib, as the keyer's thread uses it. open(), setPtt() and close() may
// block for as long as the rig takes to answer (about a second on a dead rig, more while
// opening): they never run on the UI thread.
class HamlibRig
{
public:
    HamlibRig() = default;
    ~HamlibRig() { close(); }
    HamlibRig(const HamlibRig &) = delete;
    HamlibRig &operator=(const HamlibRig &) = delete;

    // Opens the rig that `settings` name. On failure the rig stays closed and `failure` tells
    // the operator why ("Cannot open rigctld at localhost:4532: cannot connect").
    bool open(const HamlibSettings &settings, QString *failure);
    // Whether open() succeeded. A connection to rigctld lost since is made again by the next
    // setPtt().
    bool isOpen() const { return m_opened; }
    // Keys (true) or releases the transmitter. On failure `failure` tells the operator ("No
    // answer from rigctld at localhost:4532").
    bool setPtt(bool onAir, QString *failure);
    // Lets the rig go. It does not release the transmitter: setPtt(false) first.
    void close();

    // What the operator knows the rig as: "rigctld at localhost:4532", "Icom IC-7300 on
    // /dev/ttyUSB0", "GPIO 3 of /dev/hidraw2".
    QString name() const { return m_name; }

    // The name of the rig that `settings` give, before hamlib is asked about it.
    static QString plainName(const HamlibSettings &settings);

    // Sets the library up once per process: its debug output off, its rig list loaded, and the
    // process's LC_NUMERIC "C", as hamlib needs it. To be called first on the UI thread, as
    // setlocale() is not safe beside other threads.
    static void setUpLibrary();

private:
    // How long a lost connection to rigctld rests before it is made again.
    static constexpr std::chrono::milliseconds ReconnectPause{100};

    // One attempt to open the rig of m_settings: RIG_OK, or a negative code with `failure`.
    int openOnce(QString *failure);
    // Whether a failure may be a connection that rigctld closed by mistake.
    static bool transient(int result);
    // Lets the rig go, keeping the settings for the next attempt.
    void disconnect();

    s_rig *m_rig = nullptr;
    HamlibSettings m_settings;
    bool m_opened = false;
    bool m_network = false; // the rig is reached over the network (rigctld)
    QString m_name;
};
