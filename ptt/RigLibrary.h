// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/HamlibSettings.h"
#include "ptt/PttDevices.h"

#include <QList>
#include <QString>
#include <chrono>
#include <memory>
#include <optional>

// What the program asks of hamlib, which lives in a module of its own (voicevocta-hamlib.so, see
// RigModule): a station keyed through its serial lines never loads hamlib and its backends.
// Nothing here names hamlib's own types, so the program is built without its headers.

// The link to one rig, as the keyer's thread uses it (see RigLink, which is what the module
// gives).
class RigConnection
{
public:
    using Clock = std::chrono::steady_clock;

    // Why a request failed.
    enum class Failure {
        None,
        NotConnected, // the rig cannot be reached, or the connection went away
        NoAnswer, // it was reached and did not answer, or answered what makes no sense
        Settings, // the settings cannot work; trying again changes nothing
        Unsupported // the rig cannot do what was asked; the connection stays
    };

    struct Result
    {
        Failure failure = Failure::None; // None: the rig is where asked
        QString text; // why not, in the operator's words
        bool mayBeKeyed = false; // a keying was written to the rig, or the rig said it is keyed
    };

    virtual ~RigConnection() = default;

    // One attempt to bring the transmitter to `onAir` and to have the rig confirm it. Blocks for
    // at most a few answer time-outs.
    virtual Result bring(bool onAir) = 0;
    // Whether the rig confirmed `onAir` and no read-back is due at `now`.
    virtual bool holds(bool onAir, Clock::time_point now) const = 0;
    bool holds(bool onAir) const { return holds(onAir, Clock::now()); }
    // When a read-back falls due, if one is to come.
    virtual std::optional<Clock::time_point> checkDue() const = 0;
    // The rig may be doing what was asked on a connection before: read it back first.
    virtual void assumeUnsure() = 0;
    // While bring() waits for the rig's answer, a readable `fd` cuts the wait short (-1: none).
    virtual void setInterrupt(int fd) = 0;
    virtual bool isOpen() const = 0;
    // What the operator knows the rig as, once it has opened.
    virtual QString name() const = 0;
    // Lets the rig go. It does not release the transmitter: bring(false) first.
    virtual void close() = 0;
};

// The module's offer. Its calls are made on the UI thread, except those of the connections it
// makes, which belong to the thread that uses them.
class RigLibrary
{
public:
    // Changes whenever these classes do: a module of another build is not used.
    static constexpr int Version = 1;
    // The module's one entry point: `RigLibrary *voicevocta_rig_library(int version)`, null when
    // it is not of `version`.
    static constexpr const char *EntryPoint = "voicevocta_rig_library";

    virtual ~RigLibrary() = default;

    // A link to the rig that `settings` name; nothing is opened yet.
    virtual std::unique_ptr<RigConnection> connect(const HamlibSettings &settings) = 0;
    // Every rig model that hamlib knows, by manufacturer and then model name.
    virtual QList<PttDevices::RigModel> models() = 0;
};
