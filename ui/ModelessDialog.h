// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

// A dialog that opens beside the main window without blocking it. Closing it with the window's
// close box (or Escape) unloads it: it reports Form_Unload and is destroyed. Hiding it keeps it
// loaded.
class ModelessDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ModelessDialog(QWidget *parent = nullptr);

signals:
    // Closed by the close box: the dialog is about to be destroyed.
    void Form_Unload();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};
