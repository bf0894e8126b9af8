#include "ui/Dialogs.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QGroupBox>
#include <QMessageBox>

QString QtDialogs::openFile(QWidget *parent, const OpenFileRequest &request)
{
    QFileDialog dialog(parent, request.title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setNameFilters(request.filters);
    if (!request.filters.isEmpty())
        dialog.selectNameFilter(request.filters.first());
    dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

Dialogs::FontChoice QtDialogs::chooseFont(QWidget *parent, const FontChoice &preload)
{
    QFont initial(preload.name);
    if (preload.pointSize > 0)
        initial.setPointSizeF(preload.pointSize);
    initial.setBold(preload.bold);
    initial.setItalic(preload.italic);

    QFontDialog dialog(initial, parent);
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    // No effects: the group of underline and strike-out boxes is not offered.
    for (QCheckBox *effect : dialog.findChildren<QCheckBox *>()) {
        if (auto *group = qobject_cast<QGroupBox *>(effect->parentWidget()))
            group->hide();
    }
    if (dialog.exec() != QDialog::Accepted)
        return preload;
    const QFont font = dialog.selectedFont();
    return {font.family(), font.pointSizeF(), font.bold(), font.italic()};
}

void QtDialogs::critical(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Critical, QString(), text, QMessageBox::Ok, parent);
    box.exec();
}
