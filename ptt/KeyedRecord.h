// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/HamlibSettings.h"

#include <QString>
#include <sys/types.h>

// What this program keyed: a small file per rig under $XDG_RUNTIME_DIR/voicevocta/keyed/, made
// before a keying is written to the rig and removed once its release is confirmed. It names the
// process that keyed (its id and start time), so that a rig found keyed is released only when this
// program left it so: the process that keys, or an earlier run of it that has ended. A rig keyed
// by another program (a logger, fldigi, a second copy on other settings) is left alone.
//
// Where the folder cannot be used (no runtime folder, not writable), every keying counts as this
// program's, as it did before there was a record: said once through problem().
class KeyedRecord
{
public:
    // `rig`: which rig; `owner`: the process that keys it (0: this one).
    explicit KeyedRecord(const HamlibSettings &rig, pid_t owner = 0);

    // Before a keying is written. False, with nothing written, when another copy of the program
    // that runs has the rig keyed: its record stays, and the keying is not to be written.
    bool mark();
    // Once the rig has confirmed a release.
    void clear();
    // Whether a keying found on the rig is this program's to release: the record names the
    // owner, or a process that no longer runs; or there is no record to go by.
    bool leftByUs() const;
    // Whether the record names another process that runs (another copy keyed the rig).
    bool heldByAnother() const;
    // Why the record cannot be kept, once, then empty.
    QString takeProblem();

    // The file of `rig`'s record.
    static QString fileOf(const HamlibSettings &rig);

private:
    enum class Holder { None, Owner, Another, Gone, Unreadable };
    Holder holder() const;

    QString m_file;
    pid_t m_owner;
    bool m_marked = false;
    bool m_usable = true;
    QString m_problem;
    bool m_problemTaken = false;
};
