// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsPlace.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cerrno>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The user's home: $HOME, or the password database's entry when that is unset or relative.
QString homeDir(const QProcessEnvironment &environment)
{
    const QString home = environment.value(QStringLiteral("HOME"));
    if (!home.isEmpty() && QDir::isAbsolutePath(home))
        return QDir::cleanPath(home);
    if (const passwd *entry = ::getpwuid(::geteuid()); entry && entry->pw_dir)
        return QDir::cleanPath(QFile::decodeName(entry->pw_dir));
    return QDir::rootPath();
}

// An XDG base folder: the variable's value when it is an absolute path (a relative one is
// ignored, as the base-directory rules ask), else the home folder with `fallback` appended.
QString baseDir(const QProcessEnvironment &environment, const char *variable, const char *fallback)
{
    const QString value = environment.value(QLatin1String(variable));
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return homeDir(environment) + QLatin1Char('/') + QLatin1String(fallback);
}

} // namespace

SettingsPlace SettingsPlace::choose(const QString &appDir, const QProcessEnvironment &environment)
{
    return choose(appDir, folderWritable(appDir), environment);
}

SettingsPlace SettingsPlace::choose(const QString &appDir, bool appDirWritable,
                                    const QProcessEnvironment &environment)
{
    // The paths beside the program are built by plain concatenation, as the start-up does.
    const QString separator = QDir::separator();
    SettingsPlace place;
    if (appDirWritable) {
        place.iniFile = appDir + separator + QLatin1String("vocta.ini");
        place.recordDir = appDir + separator + QLatin1String("Wav") + separator;
        place.kitDir = appDir + separator + QLatin1String("kit") + separator;
        return place;
    }
    place.portable = false;
    place.appDir = appDir;
    place.siteDefault = appDir + separator + QLatin1String("vocta.ini");
    place.iniFile = baseDir(environment, "XDG_CONFIG_HOME", ".config")
                    + QLatin1String("/voicevocta/vocta.ini");
    const QString data = baseDir(environment, "XDG_DATA_HOME", ".local/share");
    place.recordDir = data + QLatin1String("/voicevocta/Wav/");
    place.kitDir = data + QLatin1String("/voicevocta/kit/");
    return place;
}

bool SettingsPlace::folderWritable(const QString &dir)
{
    if (!QFileInfo(dir).isDir())
        return false;
    QTemporaryFile probe(dir + QLatin1String("/.vocta-write-XXXXXX"));
    return probe.open(); // removed again when `probe` goes
}

bool SettingsPlace::makeFolder(const QString &dir, QString *error)
{
    const QString clean = QDir::cleanPath(dir);
    if (QFileInfo(clean).isDir())
        return true;
    // Each missing folder from the top down, so that the reason names the one that failed.
    QStringList missing;
    for (QString at = clean; !at.isEmpty() && !QFileInfo::exists(at); at = QFileInfo(at).path()) {
        missing.prepend(at);
        if (at == QFileInfo(at).path())
            break;
    }
    for (const QString &folder : std::as_const(missing)) {
        if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST) {
            if (error)
                *error = QStringLiteral("cannot create the folder %1 (%2)")
                             .arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
    }
    if (QFileInfo(clean).isDir())
        return true;
    if (error)
        *error = QStringLiteral("cannot create the folder %1 (%2)")
                     .arg(clean, QStringLiteral("a file is in its place"));
    return false;
}

QString SettingsPlace::description() const
{
    if (portable)
        return QStringLiteral("Settings file: %1").arg(iniFile);
    QString text = QStringLiteral("Settings file: %1 (the program folder %2 is not writable)")
                       .arg(iniFile, appDir);
    if (!QFileInfo::exists(iniFile) && QFileInfo(siteDefault).isFile())
        text += QStringLiteral("; it starts from %1").arg(siteDefault);
    return text;
}
