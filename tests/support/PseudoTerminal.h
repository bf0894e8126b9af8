// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QString>
#include <optional>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

// A pseudo-terminal: a serial device without modem lines, which goes away when its other end is
// closed. The test holds the other end.
class PseudoTerminal
{
public:
    PseudoTerminal()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0)
            m_name = QString::fromLocal8Bit(::ptsname(m_master));
    }
    ~PseudoTerminal() { hangUp(); }
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    QString name() const { return m_name; }
    // The other end: it reads what the device's user writes, and writes what that one reads.
    int master() const { return m_master; }
    bool isValid() const { return !m_name.isEmpty(); }
    void hangUp()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    // Whether the device's last close drops RTS and DTR: "hupcl" or "-hupcl" in what `stty -a`
    // says of it; none when stty cannot tell. stty is given the other end as its terminal, which
    // shows the device's settings also while a port holds the device exclusively.
    std::optional<bool> hangsUpOnClose() const { return stty({QStringLiteral("-a")}); }
    // Sets or clears the flag with stty.
    bool setHangUpOnClose(bool on) const
    {
        stty({on ? QStringLiteral("hupcl") : QStringLiteral("-hupcl")});
        return hangsUpOnClose() == on;
    }

private:
    std::optional<bool> stty(const QStringList &arguments) const
    {
        QProcess process;
        const int master = m_master;
        process.setChildProcessModifier([master] { ::dup2(master, STDIN_FILENO); });
        process.start(QStringLiteral("stty"), arguments);
        if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit
            || process.exitCode() != 0)
            return std::nullopt;
        const QByteArrayList words
            = process.readAllStandardOutput().replace(';', ' ').simplified().split(' ');
        if (words.contains("hupcl"))
            return true;
        if (words.contains("-hupcl"))
            return false;
        return std::nullopt;
    }

    int m_master = -1;
    QString m_name;
};
