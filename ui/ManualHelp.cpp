// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ManualHelp.h"

#include "station/Dialogs.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

ManualHelp::ManualHelp(Dialogs &dialogs, const QString &appDir, std::function<bool()> showsManPages)
    : m_dialogs(dialogs), m_appDir(appDir), m_showsManPages(std::move(showsManPages))
{ }

QString ManualHelp::readme(const QString &appDir)
{
    // Beside it (a program folder), above it (a build folder in the source), or installed.
    for (const char *place :
         {"/README.md", "/../README.md", "/../share/doc/voicevocta/README.md"}) {
        const QFileInfo file(appDir + QLatin1String(place));
        if (file.isFile())
            return file.canonicalFilePath();
    }
    return QString();
}

bool ManualHelp::desktopShowsManPages()
{
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                             QStringLiteral("x-scheme-handler/man")});
    // A desktop that does not answer at once has no help browser worth waiting for.
    if (!query.waitForFinished(2000)) {
        query.kill();
        query.waitForFinished();
        return false;
    }
    return query.exitCode() == 0 && !query.readAllStandardOutput().trimmed().isEmpty();
}

void ManualHelp::Help_Click()
{
    // The manual page only where it was installed with the program.
    const QString manuals = m_appDir + QLatin1String("/../share/man/man1/voicevocta.1");
    const bool installed
        = QFileInfo::exists(manuals) || QFileInfo::exists(manuals + QLatin1String(".gz"));
    if (installed && m_showsManPages()
        && QDesktopServices::openUrl(QUrl(QLatin1String(ManualPage))))
        return;
    const QString file = readme(m_appDir);
    if (!file.isEmpty() && QDesktopServices::openUrl(QUrl::fromLocalFile(file)))
        return;
    m_dialogs.notice(tr("This desktop cannot show the manual. Run \"man voicevocta\" in a "
                        "terminal, or read README.md where Voice Vocta's source is."),
                     true);
}
