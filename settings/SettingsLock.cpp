// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsLock.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

SettingsLock::Outcome SettingsLock::take(const QString &settingsFile)
{
    if (held() && m_file == settingsFile)
        return Outcome::Held;
    release();
#ifdef Q_OS_UNIX
    m_problem.clear();
    const QByteArray path = QFile::encodeName(lockFileOf(settingsFile));
    // Never inherited (a program this one starts does not hold the file for it), never through a
    // link, never waiting on a named pipe.
    constexpr int Flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | Flags, 0644);
    // A lock file in a folder that turned read-only locks as well for reading.
    if (fd < 0 && (errno == EACCES || errno == EROFS))
        fd = ::open(path.constData(), O_RDONLY | Flags);
    struct stat status;
    if (fd < 0) {
        const int error = errno;
        // No lock file, in a folder that is missing or cannot be written: the saves say so.
        if (::lstat(path.constData(), &status) != 0)
            return Outcome::Unavailable;
        m_problem = S_ISLNK(status.st_mode) ? QStringLiteral("it is a symbolic link")
                                            : QString::fromLocal8Bit(std::strerror(error));
        return Outcome::Refused;
    }
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        m_problem = QStringLiteral("it is not a plain file");
        return Outcome::Refused;
    }
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
