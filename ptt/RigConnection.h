// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <chrono>
#include <optional>

// The link to one rig, as the keyer's thread (or the guard) uses it: rigctld spoken to directly
// (RigctldLink), or a rig on its own port through hamlib (RigLink, from the hamlib module). Used
// by one thread, which it may block for a few answer time-outs at a time.
class RigConnection
{
public:
    using Clock = std::chrono::steady_clock;

    // Why a request failed.
    enum class Failure {
        None,
        NotConnected, // the rig cannot be reached, or the connection went away
        NoAnswer, // it was reached and did not answer in time, or answered what makes no sense
        Settings, // the settings cannot work; trying again changes nothing
        Unsupported, // the rig cannot do what was asked; the connection stays
        Waiting, // the answer has not come yet, and is not late: a new request cut the wait short
        KeyedElsewhere // the rig is keyed, not by this program: nothing is written to it
    };

    struct Result
    {
        Failure failure = Failure::None; // None: the rig is where asked
        QString text; // why not, in the operator's words
        bool mayBeKeyed = false; // a keying was written to the rig, or the rig said it is keyed
        // The rig reads released though this link keyed it and nothing asked for the release
        // here: someone else released it (the guard, another program, the rig's own panel).
        bool releasedElsewhere = false;
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
    // How long the rig may take now to answer a request before it counts as not answering.
    virtual int answerTimeoutMs() const { return 1000; }
    // Whether the rig was found keyed by another program: nothing is written to it until it is
    // released.
    virtual bool keyedElsewhere() const { return false; }
    // What the operator should know once about the link (the record of what this program keyed
    // cannot be kept), then empty.
    virtual QString takeProblem() { return {}; }
    // Lets the rig go. It does not release the transmitter: bring(false) first.
    virtual void close() = 0;
};
