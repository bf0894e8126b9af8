// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QPointer>

class ImageList;
class PictureButton;
class QLabel;

namespace Ui {
class Aboutfrm;
}

// The About dialog: a short text about the program and its authors, its version and licence, and
// an OK button that hides it. Closing it with the window's close box unloads it.
class Aboutfrm : public QDialog
{
    Q_OBJECT
public:
    // Loads the dialog: the main window's icon, the text, the OK button's faces.
    Aboutfrm(QWidget *mainWindow, const ImageList &ImageList1);
    ~Aboutfrm() override;

    QLabel *Label1() const;
    PictureButton *CommandOK() const;

    // The About text, line by line, separated by line feeds.
    static QString aboutText();

private:
    void Form_Load(QWidget *mainWindow, const ImageList &ImageList1);
    void CommandOK_Click();

    Ui::Aboutfrm *ui;
};

// Help > About: shows the dialog beside the main window, loading it when it is not loaded.
class AboutBox
{
public:
    AboutBox(QWidget &mainWindow, const ImageList &ImageList1);

    void About_Click();
    // The dialog while it is loaded (shown or hidden), else null.
    Aboutfrm *dialog() const { return m_dialog; }

private:
    QWidget &m_mainWindow;
    const ImageList &m_ImageList1;
    QPointer<Aboutfrm> m_dialog; // null once the close box has unloaded it
};
