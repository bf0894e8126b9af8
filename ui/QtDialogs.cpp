// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/QtDialogs.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QGroupBox>
#include <QMessageBox>
#include <cstdlib>
#include <tuple>

QtDialogs::QtDialogs(QWidget *parentWindow) : m_parent(parentWindow) { }

void QtDialogs::setParentWindow(QWidget *window)
{
    m_parent = window;
}

QString QtDialogs::openFile(const OpenFileRequest &request)
{
    QFileDialog dialog(m_parent, request.title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setNameFilters(request.filters);
    if (!request.filters.isEmpty())
        dialog.selectNameFilter(request.filters.first());
    if (!request.directory.isEmpty())
        dialog.setDirectory(request.directory);
    dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

namespace {
// The style of `family` that shows a font with the given weight and slant: the one with that
// slant (italic or oblique) and the nearest weight, of normal width, with the plainest name
// ("Book" before "Condensed"). Empty when the family has no styles (it is not installed).
QString matchingStyle(const QString &family, bool bold, bool italic)
{
    const int wanted = bold ? QFont::Bold : QFont::Normal;
    QString best;
    std::tuple<int, int, qsizetype> bestRank;
    for (const QString &style : QFontDatabase::styles(family)) {
        const QFont font = QFontDatabase::font(family, style, 12);
        // An oblique style counts as italic, as the program stores it.
        const bool slanted = font.style() != QFont::StyleNormal;
        const bool narrowOrWide = style.contains(QLatin1String("Condensed"))
                                  || style.contains(QLatin1String("Expanded"))
                                  || style.contains(QLatin1String("Narrow"))
                                  || style.contains(QLatin1String("Wide"));
        const std::tuple<int, int, qsizetype> rank{
            (slanted != italic) * 1000 + std::abs(QFontDatabase::weight(family, style) - wanted),
            narrowOrWide, style.size()};
        if (best.isEmpty() || rank < bestRank) {
            best = style;
            bestRank = rank;
        }
    }
    return best;
}

bool sameChoice(const QFont &a, const QFont &b)
{
    return a.family() == b.family() && a.pointSizeF() == b.pointSizeF() && a.bold() == b.bold()
           && a.italic() == b.italic();
}
} // namespace

Dialogs::FontChoice QtDialogs::chooseFont(const FontChoice &preload)
{
    QFont initial(preload.name);
    if (preload.pointSize > 0)
        initial.setPointSizeF(preload.pointSize);
    initial.setBold(preload.bold);
    initial.setItalic(preload.italic);
    // The dialog selects a style by its name; left to itself it takes the first style an
    // installed family lists, "Oblique" for an upright DejaVu Sans.
    const QString style = matchingStyle(preload.name, preload.bold, preload.italic);
    if (!style.isEmpty())
        initial.setStyleName(style);

    QFontDialog dialog(initial, m_parent);
    dialog.setOption(QFontDialog::DontUseNativeDialog);
    // No effects: the group of underline and strike-out boxes is not offered.
    for (QCheckBox *effect : dialog.findChildren<QCheckBox *>()) {
        if (auto *group = qobject_cast<QGroupBox *>(effect->parentWidget()))
            group->hide();
    }
    const QFont shown = dialog.currentFont();
    if (dialog.exec() != QDialog::Accepted)
        return preload;
    const QFont font = dialog.selectedFont();
    // Accepted as it was shown: the stored font comes back exactly, also a name that the
    // dialog could only show through a substitute.
    if (sameChoice(font, shown))
        return preload;
    return {font.family(), font.pointSizeF(), font.bold(), font.italic()};
}

void QtDialogs::critical(const QString &text)
{
    QMessageBox box(QMessageBox::Critical, QString(), text, QMessageBox::Ok, m_parent);
    box.exec();
}

void QtDialogs::notice(const QString &text, bool problem)
{
    auto *box = new QMessageBox(problem ? QMessageBox::Warning : QMessageBox::Information,
                                QStringLiteral("Voice Vocta"), text, QMessageBox::Ok, m_parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
}
