// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/HamlibRig.h"

#include <QString>
#include <chrono>
#include <memory>
#include <optional>

// The link to one rig through hamlib, which brings its transmitter to the state asked and knows
// when the rig has confirmed it. Used by one thread that may block: the keyer's own thread, or
// the guard after the program has died.
//
// No request is ever written while another one is unanswered: a request that fails drops its
// connection with what it had written (see HamlibRig), and the next attempt connects anew. A
// request that was written and not answered may still be carried out later (rigctld reads what
// it had received before the connection went, once it goes on), so after a dropped connection
// the link first reads back what the rig does, puts it right, and reads it back once more a
// second later.
//
// A rigctld that took a connection and does not answer (stopped, or hung) is not given new
// connections one after the other: they would fill its queue of connections, and the next
// connection would then wait for minutes. One connection waits for its answer instead, and
// the rig is opened again as soon as that answer comes.
class RigLink
{
public:
    using Clock = std::chrono::steady_clock;
    // How long after a dropped connection the rig is read back once more.
    static constexpr std::chrono::milliseconds CheckAgainAfter{1000};

    struct Result
    {
        HamlibRig::Failure failure = HamlibRig::Failure::None; // None: the rig is where asked
        QString text; // why not, in the operator's words
        bool mayBeKeyed = false; // a keying was written to the rig, or the rig said it is keyed
    };

    explicit RigLink(const HamlibSettings &settings);
    ~RigLink();
    RigLink(const RigLink &) = delete;
    RigLink &operator=(const RigLink &) = delete;

    // One attempt to bring the transmitter to `onAir` (keyed or released) and to have the rig
    // confirm it: opens the rig first when needed, reads it back when that is due. Blocks for
    // at most a few answer time-outs.
    Result bring(bool onAir);
    // Whether the rig confirmed `onAir` and no read-back is due at `now`.
    bool holds(bool onAir, Clock::time_point now = Clock::now()) const;
    // When a read-back falls due, if one is to come.
    std::optional<Clock::time_point> checkDue() const { return m_checkAt; }
    // The rig may be doing what someone else asked before (a program that died while a
    // request was on its way): it is read back before anything else, and once more later.
    void assumeUnsure() { m_unsure = true; }

    // While bring() waits for rigctld's answer, a readable `fd` cuts the wait short (-1: none).
    void setInterrupt(int fd) { m_interrupt = fd; }
    // Whether the rig is open now.
    bool isOpen() const { return m_rig.isOpen(); }
    // What the operator knows the rig as, once it has opened: "rigctld at localhost:4532".
    QString name() const { return m_rig.name(); }
    // Lets the rig go. It does not release the transmitter: bring(false) first.
    void close();

private:
    class Probe;
    Result fail(HamlibRig::Failure failure, const QString &text);
    Result fail(const Result &result);

    HamlibSettings m_settings;
    HamlibRig m_rig;
    std::optional<bool> m_known; // what the rig confirmed on this connection
    bool m_unsure = false; // a request may still be carried out: read back first
    std::optional<Clock::time_point> m_checkAt; // read back once more then
    std::unique_ptr<Probe> m_probe; // a connection to rigctld that waits for its answer
    int m_interrupt = -1;
};
