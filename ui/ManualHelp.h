// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class Dialogs;

// The menu's Help: the program's manual page, where it was installed with the program, shown by
// the desktop's help browser (man:voicevocta(1)); else the README that comes with the program
// (beside it in a program folder, above it in a build folder, or installed in
// ../share/doc/voicevocta/); where there is none either, a message in the window says where the
// manual is.
class ManualHelp : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *ManualPage = "man:voicevocta(1)";

    // `showsManPages` tells whether the desktop shows man: addresses; by default the desktop's
    // own list of handlers is asked (xdg-mime).
    ManualHelp(Dialogs &dialogs, const QString &appDir,
               std::function<bool()> showsManPages = desktopShowsManPages);

    void Help_Click();

    // The README that comes with the program in `appDir`; empty when there is none.
    static QString readme(const QString &appDir);
    static bool desktopShowsManPages();

private:
    Dialogs &m_dialogs;
    QString m_appDir;
    std::function<bool()> m_showsManPages;
};
