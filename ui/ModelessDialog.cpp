// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ModelessDialog.h"

#include <QCloseEvent>
#include <QKeyEvent>

ModelessDialog::ModelessDialog(QWidget *parent) : QDialog(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
}

void ModelessDialog::closeEvent(QCloseEvent *event)
{
    QDialog::closeEvent(event);
    if (event->isAccepted())
        emit Form_Unload();
}

void ModelessDialog::keyPressEvent(QKeyEvent *event)
{
    // Escape leaves the dialog as the close box does, not merely hidden.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}
