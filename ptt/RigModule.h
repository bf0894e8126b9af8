// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <memory>

class RigLibrary;

// The program's hamlib module, voicevocta-hamlib.so (see RigLibrary), loaded the first time it
// is wanted: when a rig is keyed through CAT or a CM108 chip, or the PTT dialog lists the rig
// models. A station keyed through its serial lines never loads hamlib. Once loaded the module
// stays for the rest of the program, as a keyer's thread may still release a rig after its keyer
// has gone. Used on the UI thread.
//
// A module that cannot be loaded (missing, of another build, without hamlib beside it) is said
// once on standard error and by problem(); it is tried again the next time it is wanted.
class RigModule
{
public:
    static constexpr const char *FileName = "voicevocta-hamlib.so";

    // `file`: the module (see locate()).
    explicit RigModule(const QString &file);
    ~RigModule();
    RigModule(const RigModule &) = delete;
    RigModule &operator=(const RigModule &) = delete;

    // Where the module of a program in `executableDir` is: beside it, else in
    // ../lib/<multiarch triplet>/voicevocta/ (the layout of a system's installation).
    static QString locate(const QString &executableDir);

    // The module's library, loaded now if it is not yet; null when it cannot be loaded. A keyer's
    // thread keeps it while it runs.
    std::shared_ptr<RigLibrary> library();
    // Why the module cannot be loaded ("cannot load hamlib (...: No such file or directory)"),
    // or an empty text.
    QString problem() const { return m_problem; }

private:
    QString m_file;
    std::shared_ptr<RigLibrary> m_library;
    QString m_problem;
};
