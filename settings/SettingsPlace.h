// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcessEnvironment>
#include <QString>

// Where the station keeps its settings file and its recordings.
//
// A program folder that can be written (a build folder, a copied or portable program folder)
// keeps everything beside the program: "vocta.ini" there, recordings in its "Wav/". An installed
// program folder that the user cannot write (/opt/voicevocta) keeps them in the user's own
// folders instead: $XDG_CONFIG_HOME/voicevocta/vocta.ini (~/.config/voicevocta/ by default) and
// $XDG_DATA_HOME/voicevocta/Wav/ (~/.local/share/voicevocta/Wav/ by default). There the first
// start begins from the program folder's "vocta.ini" if it has one (a site default).
struct SettingsPlace
{
    // Chooses the place for the program in `appDir` (the executable's folder, as reported).
    static SettingsPlace choose(const QString &appDir, const QProcessEnvironment &environment
                                                       = QProcessEnvironment::systemEnvironment());
    // The same with the answer to "can the program folder be written" given.
    static SettingsPlace choose(const QString &appDir, bool appDirWritable,
                                const QProcessEnvironment &environment);

    // Whether a file can be created in `dir` now: tried, not guessed from permission bits (the
    // administrator may write a folder without write permission; a read-only mount refuses
    // everyone). Leaves nothing behind.
    static bool folderWritable(const QString &dir);

    // Creates `dir` and its missing parents (new folders readable by their owner alone). False
    // with the reason in `error` when that fails.
    static bool makeFolder(const QString &dir, QString *error);

    // The one line that tells the operator which file holds the settings.
    QString description() const;

    QString iniFile; // the settings file
    QString recordDir; // where recordings go, ending with a separator
    // The voice kit's default folder, ending with a separator: "kit/" beside the program, or
    // $XDG_DATA_HOME/voicevocta/kit/ (~/.local/share/voicevocta/kit/ by default).
    QString kitDir;
    // Beside the program: everything as in a portable program folder. Otherwise the settings
    // file's folder is created when the settings are first saved.
    bool portable = true;
    // Not portable: the program folder's "vocta.ini", the settings to start from while
    // `iniFile` does not exist yet (it may not exist either). Empty when portable.
    QString siteDefault;
    // Not portable: the program folder that could not be written.
    QString appDir;
};
