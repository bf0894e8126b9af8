// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/HamlibSettings.h"
#include "ptt/RigLibrary.h"

#include <QString>
#include <chrono>
#include <optional>

struct s_rig;

// One rig opened through hamlib, as the keyer's thread (or the guard) uses it. open(), setPtt(),
// getPtt() and close() may block for as long as the rig takes to answer (about a second on a
// dead rig, two while opening): they never run on the UI thread.
class HamlibRig
{
public:
    // How long a rig may take to answer one request.
    static constexpr int AnswerTimeoutMs = 1000;

    // Why a call failed.
    using Failure = RigConnection::Failure;
    // What a call came to: its failure (None: done) and the words that tell the operator why.
    using Result = RigConnection::Result;

    HamlibRig() = default;
    ~HamlibRig() { close(); }
    HamlibRig(const HamlibRig &) = delete;
    HamlibRig &operator=(const HamlibRig &) = delete;

    // Opens the rig that `settings` name. On failure the rig stays closed and the text tells the
    // operator why ("Cannot open rigctld at localhost:4532: cannot connect").
    Result open(const HamlibSettings &settings);
    // Whether open() succeeded and the connection was not dropped since.
    bool isOpen() const { return m_rig != nullptr; }
    // Keys (true) or releases the transmitter; reads whether it is keyed (mayBeKeyed: the rig
    // says it is). On failure the text tells the operator ("No answer from rigctld at
    // localhost:4532") and the connection is dropped with what was written to it, so that
    // nothing asked now is carried out later on it: the next request needs a new open().
    Result setPtt(bool onAir);
    Result getPtt();
    // Lets the rig go. It does not release the transmitter: setPtt(false) first.
    void close();

    // Whether the rig is reached over the network (rigctld).
    bool isNetwork() const { return m_network; }
    // What the operator knows the rig as: "rigctld at localhost:4532", "Icom IC-7300 on
    // /dev/ttyUSB0", "GPIO 3 of /dev/hidraw2".
    QString name() const { return m_name; }

    // Sets the library up once per process: its debug output off, and the process's LC_NUMERIC
    // "C", as hamlib needs it. To be called first on the UI thread, as setlocale() is not safe
    // beside other threads.
    static void setUpLibrary();
    // Loads every rig model that hamlib has, for the list of models (about a millisecond).
    static void loadAllModels();
    // Whether hamlib knows rig model `model`. rig_init() must never see a model that it does
    // not know: when the model's family is already loaded it ends the whole process ("Hash
    // collision!!! Fatal error!!"). Only the model's family is loaded to find out.
    static bool knowsModel(int model);

private:
    // How long a lost connection to rigctld rests before it is made again.
    static constexpr std::chrono::milliseconds ReconnectPause{100};

    // Why an attempt to open the rig failed: the operator's words, and hamlib's (negative)
    // result, 0 for a fault of the settings themselves.
    struct OpenFault
    {
        QString why;
        int result = 0;
    };
    // One attempt to open the rig of m_settings: nothing when it opened.
    std::optional<OpenFault> openOnce();
    // Runs `call` (a hamlib request); a connection to rigctld that rigctld closed by mistake is
    // made again once. A failure drops the connection.
    template<typename Call>
    Result request(Call call);
    // Lets the rig go, discarding what was written to it and not yet read.
    void drop();

    s_rig *m_rig = nullptr;
    HamlibSettings m_settings;
    bool m_network = false; // the rig is reached over the network (rigctld)
    QString m_name;
};
