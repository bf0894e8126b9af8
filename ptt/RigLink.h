// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/HamlibRig.h"
#include "ptt/KeyedRecord.h"

#include <QString>
#include <chrono>
#include <optional>

// The link to one rig on its own port (a CAT rig on a serial port, a CM108 chip) through hamlib,
// which brings its transmitter to the state asked and knows when the rig has confirmed it. Used
// by one thread that may block: the keyer's own thread, or the guard after the program has died.
// rigctld is spoken to directly instead (RigctldLink).
//
// No request is ever written while another one is unanswered: a request that fails drops its
// connection with what it had written (see HamlibRig), and the next attempt connects anew. A
// request that was written and not answered may still be carried out later, so after a dropped
// connection the link first reads back what the rig does, puts it right, and reads it back once
// more a second later. A new link reads the rig first too: a keying found there is released only
// when this program left it (see KeyedRecord), else the rig counts as keyed elsewhere and nothing
// is written to it until it is released. While the transmitter is keyed its state is read every
// second.
//
// The guard uses it directly; the program gets it from the hamlib module, as a RigConnection.
class RigLink : public RigConnection
{
public:
    // How long after a dropped connection the rig is read back once more; how often a keyed rig
    // is read, and one keyed by another program.
    static constexpr std::chrono::milliseconds CheckAgainAfter{1000};
    static constexpr std::chrono::milliseconds ReadEvery{1000};
    static constexpr std::chrono::milliseconds ReadElsewhereEvery{2000};

    // `owner`: the process whose keyings the link writes (0: this one).
    explicit RigLink(const HamlibSettings &settings, pid_t owner = 0);
    ~RigLink() override;
    RigLink(const RigLink &) = delete;
    RigLink &operator=(const RigLink &) = delete;

    // One attempt to bring the transmitter to `onAir` (keyed or released) and to have the rig
    // confirm it: opens the rig first when needed, reads it back when that is due. Blocks for
    // at most a few answer time-outs.
    Result bring(bool onAir) override;
    // Whether the rig confirmed `onAir` and no read-back is due at `now`.
    bool holds(bool onAir, Clock::time_point now) const override;
    using RigConnection::holds;
    // When a read-back falls due, if one is to come.
    std::optional<Clock::time_point> checkDue() const override;
    // The rig may be doing what someone else asked before (a program that died while a
    // request was on its way): it is read back before anything else, and once more later.
    void assumeUnsure() override
    {
        m_unsure = true;
        m_recheck = true;
    }

    // hamlib's waits are not cut short.
    void setInterrupt(int) override { }
    // Whether the rig is open now.
    bool isOpen() const override { return m_rig.isOpen(); }
    // What the operator knows the rig as, once it has opened: "Icom IC-7300 on /dev/ttyUSB0".
    QString name() const override { return m_rig.name(); }
    bool keyedElsewhere() const override { return m_elsewhere; }
    QString takeProblem() override { return m_record.takeProblem(); }
    // Lets the rig go. It does not release the transmitter: bring(false) first.
    void close() override;

private:
    Result fail(HamlibRig::Failure failure, const QString &text);
    Result readBack(bool onAir, Clock::time_point now);

    HamlibSettings m_settings;
    HamlibRig m_rig;
    KeyedRecord m_record;
    std::optional<bool> m_known; // what the rig confirmed on this connection
    bool m_ours = false; // a keying of the rig's is this program's
    bool m_unsure = true; // a request may still be carried out: read back first
    bool m_elsewhere = false; // keyed by another program
    bool m_recheck = false; // the read-back after a dropped connection is to come once more
    std::optional<Clock::time_point> m_readAt; // the rig is read then
    bool m_readIsRecheck = false; // that read is the one after a dropped connection
};
