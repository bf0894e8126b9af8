// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/Result.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Where the program finds its own files (the station pictures in "Images/", the shipped sounds in
// "Wav/"), and where it keeps its settings file and its recordings.
//
// A program folder holds "Images/" and "Wav/" beside the program (the build folder, a copied or
// portable folder, `cmake --install --prefix DIR`). If it can be written, everything stays
// beside the program: "vocta.ini" there, recordings in its "Wav/". If not, the settings and the
// recordings go to the user's own folders, $XDG_CONFIG_HOME/voicevocta/vocta.ini
// (~/.config/voicevocta/ by default) and $XDG_DATA_HOME/voicevocta/Wav/
// (~/.local/share/voicevocta/Wav/ by default), and the first start begins from the program
// folder's "vocta.ini" if it has one (a site default).
//
// An installed program (/usr/bin/voicevocta) finds its files in "../share/voicevocta/" relative
// to its folder and never writes beside itself or into its prefix, whoever runs it: its settings
// and recordings are always the user's own, and the site default is the administrator's
// /etc/voicevocta/vocta.ini.
struct SettingsPlace
{
    // The administrator's settings that an installed program's users start from.
    static constexpr const char *InstalledSiteDefault = "/etc/voicevocta/vocta.ini";

    // Chooses the place for the program in `appDir` (the executable's folder, as reported): a
    // program folder when "Images/" and "Wav/" are beside the program, else the installed
    // layout when "../share/voicevocta/" is there or the program is in a folder "bin" (an
    // install whose shared files are missing), else a program folder again. `missing` names
    // what is not there.
    static SettingsPlace choose(const QString &appDir, const QProcessEnvironment &environment
                                                       = QProcessEnvironment::systemEnvironment());
    // The program folder `appDir`, with the answer to "can it be written" given.
    static SettingsPlace choose(const QString &appDir, bool appDirWritable,
                                const QProcessEnvironment &environment);
    // The installed program in `appDir` with its files in `dataDir`, its site default in
    // `siteDefault`.
    static SettingsPlace installedLayout(const QString &appDir, const QString &dataDir,
                                         const QProcessEnvironment &environment,
                                         const QString &siteDefault
                                         = QLatin1String(InstalledSiteDefault));

    // Whether a file can be created in `dir` now: tried, not guessed from permission bits (the
    // administrator may write a folder without write permission; a read-only mount refuses
    // everyone). Leaves nothing behind.
    static bool folderWritable(const QString &dir);

    // Creates `dir` and its missing parents (new folders readable by their owner alone). A
    // failure says why.
    static Result makeFolder(const QString &dir);

    // The one line that tells the operator which file holds the settings; `fromSiteDefault`:
    // they start from the site default this time.
    QString description(bool fromSiteDefault) const;
    // The one line that names the program's files that are missing; empty when none is.
    QString missingDescription() const;

    QString dataDir; // the folder that holds "Images/" and "Wav/"
    QString iniFile; // the settings file
    QString recordDir; // where recordings go, ending with a separator
    // The voice kit's default folder, ending with a separator: "kit/" beside the program, or
    // $XDG_DATA_HOME/voicevocta/kit/ (~/.local/share/voicevocta/kit/ by default).
    QString kitDir;
    // Beside the program: everything as in a portable program folder. Otherwise the settings
    // file's folder is created when the settings are first saved.
    bool portable = true;
    // The installed layout: the program's files are in ../share/voicevocta.
    bool installed = false;
    // Not portable: the settings to start from while `iniFile` does not exist yet (it may not
    // exist either). Empty when portable.
    QString siteDefault;
    // Not portable: the program's folder.
    QString appDir;
    // The folders of the program's own files that are not there.
    QStringList missing;
};
