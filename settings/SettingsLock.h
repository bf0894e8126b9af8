// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Keeps a settings file to one running copy of the program: an exclusive lock on the file
// "<settings file>.lock" beside it, held while the copy runs. The system lets go of it when the
// copy ends, however it ends (a crash, SIGKILL), so a lock is never left behind; the lock file
// itself stays, empty.
class SettingsLock
{
public:
    enum class Outcome {
        Held, // this copy holds it
        InUse, // another running copy holds it
        Unavailable, // the lock file cannot be made (its folder is missing or read-only)
        Refused, // something else has the lock file's name (a link, a folder): problem() says
    };

    SettingsLock() = default;
    SettingsLock(const SettingsLock &) = delete;
    SettingsLock &operator=(const SettingsLock &) = delete;
    ~SettingsLock() { release(); }

    // Takes the lock for `settingsFile`, letting go of one held before for another file.
    Outcome take(const QString &settingsFile);
    bool held() const { return m_fd >= 0; }
    // Why the last take() was Refused.
    QString problem() const { return m_problem; }
    void release();

    static QString lockFileOf(const QString &settingsFile)
    {
        return settingsFile + QStringLiteral(".lock");
    }

private:
    int m_fd = -1;
    QString m_file;
    QString m_problem;
};
