#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

class QWidget;

// The standard dialogs the station opens: a seam, so that tests answer them instead of an
// operator.
class Dialogs
{
public:
    struct OpenFileRequest
    {
        QString title;
        QStringList filters; // "Wav Files (*.wav)", ...; the first one is preselected
        QString fileName; // initial file name
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

    // Modal file-open dialog; returns the chosen file's full path, or an empty text if cancelled.
    virtual QString openFile(QWidget *parent, const OpenFileRequest &request) = 0;
    // Modal font dialog preloaded with `preload`; returns the choice, or `preload` if cancelled.
    virtual FontChoice chooseFont(QWidget *parent, const FontChoice &preload) = 0;
    // Message box with the critical icon, an OK button and no caption of its own.
    virtual void critical(QWidget *parent, const QString &text) = 0;
};

// The real dialogs of the desktop.
class QtDialogs : public Dialogs
{
public:
    QString openFile(QWidget *parent, const OpenFileRequest &request) override;
    FontChoice chooseFont(QWidget *parent, const FontChoice &preload) override;
    void critical(QWidget *parent, const QString &text) override;
};
