// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/KeyedRecord.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The start time of process `pid` in clock ticks since boot (field 22 of /proc/<pid>/stat), or
// an empty text when it does not run.
QByteArray startTimeOf(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = stat.read(4096);
    // The name in parentheses may hold blanks: the fields are counted after its end.
    const int nameEnd = text.lastIndexOf(')');
    if (nameEnd < 0)
        return {};
    const QList<QByteArray> fields = text.mid(nameEnd + 2).split(' ');
    return fields.size() > 19 ? fields.at(19) : QByteArray();
}

QByteArray recordOf(pid_t pid)
{
    return QByteArray::number(qint64(pid)) + ' ' + startTimeOf(pid) + '\n';
}

// Makes `path` a folder of this user's alone, without following a link put in its place.
bool makeFolder(const QByteArray &path)
{
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat status = {};
    return ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode)
           && status.st_uid == ::getuid();
}

} // namespace

KeyedRecord::KeyedRecord(const HamlibSettings &rig, pid_t owner)
    : m_file(fileOf(rig)), m_owner(owner > 0 ? owner : ::getpid())
{
    if (m_file.isEmpty()) {
        m_usable = false;
        m_problem = QStringLiteral("no runtime folder ($XDG_RUNTIME_DIR)");
    }
}

QString KeyedRecord::fileOf(const HamlibSettings &rig)
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (runtime.isEmpty())
        return {};
    QByteArray name;
    if (rig.method == HamlibSettings::Method::Cm108)
        name = "cm108 " + rig.cm108Device.toUtf8() + ' ' + QByteArray::number(rig.cm108Gpio);
    else
        name = "cat " + QByteArray::number(rig.rigModel) + ' ' + rig.rigPort.toUtf8();
    return QFile::decodeName(runtime) + QStringLiteral("/voicevocta/keyed/")
           + QString::fromLatin1(name.toPercentEncoding(" ", "/").replace(' ', '_'));
}

bool KeyedRecord::mark()
{
    if (m_marked || !m_usable)
        return true;
    if (holder() == Holder::Another)
        return false;
    const QByteArray file = QFile::encodeName(m_file);
    const QByteArray keyed = file.left(file.lastIndexOf('/'));
    const QByteArray folder = keyed.left(keyed.lastIndexOf('/'));
    const QByteArray record = recordOf(m_owner);
    int fd = -1;
    if (makeFolder(folder) && makeFolder(keyed))
        fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    const bool written
        = fd >= 0
          && ::write(fd, record.constData(), size_t(record.size())) == ssize_t(record.size());
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (!written) {
        m_usable = false;
        m_problem = QStringLiteral("cannot write %1: %2")
                        .arg(m_file, QString::fromLocal8Bit(std::strerror(error)));
        return true;
    }
    m_marked = true;
    return true;
}

void KeyedRecord::clear()
{
    if (m_file.isEmpty())
        return;
    // Only a record of this owner's goes: another copy's stays.
    if (m_marked || leftByUs())
        ::unlink(QFile::encodeName(m_file).constData());
    m_marked = false;
}

bool KeyedRecord::leftByUs() const
{
    if (!m_usable)
        return true;
    const Holder found = holder();
    return found != Holder::None && found != Holder::Another;
}

bool KeyedRecord::heldByAnother() const
{
    return m_usable && holder() == Holder::Another;
}

KeyedRecord::Holder KeyedRecord::holder() const
{
    const int fd = ::open(QFile::encodeName(m_file).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? Holder::None : Holder::Unreadable;
    char text[128] = {};
    const ssize_t length = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    const QList<QByteArray> fields
        = QByteArray(text, int(std::max<ssize_t>(0, length))).trimmed().split(' ');
    bool numeric = false;
    const pid_t pid = pid_t(fields.value(0).toLongLong(&numeric));
    if (!numeric || pid <= 0)
        return Holder::Unreadable; // a record that makes no sense was not another program's
    if (pid == m_owner)
        return Holder::Owner;
    // An earlier run: its process has ended, or another has its number now.
    const QByteArray started = startTimeOf(pid);
    return started.isEmpty() || started != fields.value(1) ? Holder::Gone : Holder::Another;
}

QString KeyedRecord::takeProblem()
{
    if (m_problemTaken || m_problem.isEmpty())
        return {};
    m_problemTaken = true;
    return m_problem;
}
