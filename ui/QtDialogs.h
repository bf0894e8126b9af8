// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/Dialogs.h"

#include <QPointer>

class QWidget;

// The real dialogs of the desktop, opened over the main window.
class QtDialogs : public Dialogs
{
public:
    explicit QtDialogs(QWidget *parentWindow = nullptr);

    // The window the dialogs open over (null: none).
    void setParentWindow(QWidget *window);

    QString openFile(const OpenFileRequest &request) override;
    FontChoice chooseFont(const FontChoice &preload) override;
    void critical(const QString &text) override;
    void notice(const QString &text, bool problem) override;

private:
    QPointer<QWidget> m_parent;
};
