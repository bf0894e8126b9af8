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

// The settings and recordings in the user's own folders.
SettingsPlace userFolders(const QString &appDir, const QProcessEnvironment &environment)
{
    SettingsPlace place;
    place.portable = false;
    place.appDir = appDir;
    place.iniFile = baseDir(environment, "XDG_CONFIG_HOME", ".config")
                    + QLatin1String("/voicevocta/vocta.ini");
    const QString data = baseDir(environment, "XDG_DATA_HOME", ".local/share");
    place.recordDir = data + QLatin1String("/voicevocta/Wav/");
    place.kitDir = data + QLatin1String("/voicevocta/kit/");
    return place;
}

} // namespace

SettingsPlace SettingsPlace::choose(const QString &appDir, const QProcessEnvironment &environment)
{
    const QString separator = QDir::separator();
    const auto besideProgram = [&](const char *name) {
        return appDir + separator + QLatin1String(name);
    };
    const bool images = QFileInfo(besideProgram("Images")).isDir();
    const bool sounds = QFileInfo(besideProgram("Wav")).isDir();
    const QString shareDir = QDir::cleanPath(appDir + QLatin1String("/../share/voicevocta"));
    const bool shared = QFileInfo(shareDir).isDir();

    // An installed program whose shared files are missing (a half-copied install) is still one
    // when it is in a "bin" folder; anything else is a program folder, whole or not.
    const bool inBin = QFileInfo(appDir).fileName() == QLatin1String("bin");
    if ((images && sounds) || (!shared && !inBin)) {
        SettingsPlace place = choose(appDir, folderWritable(appDir), environment);
        if (!images)
            place.missing.append(besideProgram("Images"));
        if (!sounds)
            place.missing.append(besideProgram("Wav"));
        return place;
    }
    SettingsPlace place = installedLayout(appDir, shareDir, environment);
    if (!shared) {
        place.missing.append(shareDir);
        return place;
    }
    for (const char *name : {"Images", "Wav"}) {
        const QString folder = shareDir + QLatin1Char('/') + QLatin1String(name);
        if (!QFileInfo(folder).isDir())
            place.missing.append(folder);
    }
    return place;
}

SettingsPlace SettingsPlace::choose(const QString &appDir, bool appDirWritable,
                                    const QProcessEnvironment &environment)
{
    // The paths beside the program are built by plain concatenation, as the start-up does.
    const QString separator = QDir::separator();
    SettingsPlace place;
    place.dataDir = appDir;
    if (appDirWritable) {
        place.iniFile = appDir + separator + QLatin1String("vocta.ini");
        place.recordDir = appDir + separator + QLatin1String("Wav") + separator;
        place.kitDir = appDir + separator + QLatin1String("kit") + separator;
        return place;
    }
    place = userFolders(appDir, environment);
    place.dataDir = appDir;
    place.siteDefault = appDir + separator + QLatin1String("vocta.ini");
    return place;
}

SettingsPlace SettingsPlace::installedLayout(const QString &appDir, const QString &dataDir,
                                             const QProcessEnvironment &environment,
                                             const QString &siteDefault)
{
    SettingsPlace place = userFolders(appDir, environment);
    place.installed = true;
    place.dataDir = dataDir;
    place.siteDefault = siteDefault;
    return place;
}

bool SettingsPlace::folderWritable(const QString &dir)
{
    if (!QFileInfo(dir).isDir())
        return false;
    QTemporaryFile probe(dir + QLatin1String("/.vocta-write-XXXXXX"));
    return probe.open(); // removed again when `probe` goes
}

Result SettingsPlace::makeFolder(const QString &dir)
{
    const QString clean = QDir::cleanPath(dir);
    if (QFileInfo(clean).isDir())
        return {};
    // Each missing folder from the top down, so that the reason names the one that failed.
    QStringList missing;
    for (QString at = clean; !at.isEmpty() && !QFileInfo::exists(at); at = QFileInfo(at).path()) {
        missing.prepend(at);
        if (at == QFileInfo(at).path())
            break;
    }
    for (const QString &folder : std::as_const(missing)) {
        if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST) {
            return Result::failure(QStringLiteral("cannot create the folder %1 (%2)")
                                       .arg(folder, QString::fromLocal8Bit(std::strerror(errno))));
        }
    }
    if (QFileInfo(clean).isDir())
        return {};
    return Result::failure(QStringLiteral("cannot create the folder %1 (%2)")
                               .arg(clean, QStringLiteral("a file is in its place")));
}

QString SettingsPlace::description(bool fromSiteDefault) const
{
    QString text = QStringLiteral("Settings file: %1").arg(iniFile);
    if (!portable && !installed)
        text += QStringLiteral(" (the program folder %1 is not writable)").arg(appDir);
    if (fromSiteDefault)
        text += QStringLiteral("; it starts from %1").arg(siteDefault);
    return text;
}

QString SettingsPlace::missingDescription() const
{
    if (missing.isEmpty())
        return {};
    return QStringLiteral("%1 %2 missing: the program looks for its pictures and shipped sounds "
                          "there")
        .arg(missing.join(QLatin1String(" and ")),
             QLatin1String(missing.size() == 1 ? "is" : "are"));
}
