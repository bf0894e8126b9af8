// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsLock.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

SettingsLock::Outcome SettingsLock::take(const QString &settingsFile)
{
    if (held() && m_file == settingsFile)
        return Outcome::Held;
    release();
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(lockFileOf(settingsFile));
    // Never inherited: a program this one starts does not hold the file for it.
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return Outcome::Unavailable;
    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        return Outcome::InUse;
    }
    // Taken; or a file system without locks, which cannot tell: this copy goes on as the only one.
    m_fd = fd;
    m_file = settingsFile;
#endif
    return Outcome::Held;
}

void SettingsLock::release()
{
#ifdef Q_OS_UNIX
    if (m_fd >= 0)
        ::close(m_fd);
#endif
    m_fd = -1;
    m_file.clear();
}
