// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The standard dialogs the station opens: a seam, so that tests answer them instead of an
// operator. The real ones (QtDialogs) open over the main window; all but notice() are modal.
class Dialogs
{
public:
    struct OpenFileRequest
    {
        QString title;
        QStringList filters; // "Wav Files (*.wav)", ...; the first one is preselected
        QString fileName; // initial file name
        QString directory; // the folder it opens in; empty: the dialog's own choice
        bool mustExist = true;
    };

    struct FontChoice
    {
        QString name;
        double pointSize = 0;
        bool bold = false;
        bool italic = false;
    };

    virtual ~Dialogs() = default;

    // File-open dialog; returns the chosen file's full path, or an empty text if cancelled.
    virtual QString openFile(const OpenFileRequest &request) = 0;
    // Font dialog preloaded with `preload`; returns the choice, or `preload` if cancelled.
    virtual FontChoice chooseFont(const FontChoice &preload) = 0;
    // Message box with the critical icon, an OK button and no caption of its own.
    virtual void critical(const QString &text) = 0;
    // Message box with an OK button, shown beside the main window without waiting for it: the
    // warning icon for a problem, the information icon for good news.
    virtual void notice(const QString &text, bool problem) = 0;
};
