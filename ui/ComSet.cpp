// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ComSet.h"
#include "ui_ComSet.h"

#include "ui/FrameStyle.h"

#include <QCloseEvent>
#include <QKeyEvent>

ComSet::ComSet(QWidget *parent) : QDialog(parent), ui(new Ui::ComSet)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    // Its frames look like the main window's: each caption sits on its frame's top line. A
    // caption too wide for its frame in the desktop's font shrinks; the options keep that font.
    FrameStyle::fitCaptions({ui->Frame1, ui->Frame2, ui->Frame3});
    // First placed with its client area at 494, 152 on the screen.
    setGeometry(494, 152, 326, 146);

    m_Option1 = {ui->Option1_0, ui->Option1_1, ui->Option1_2, ui->Option1_3,
                 ui->Option1_4, ui->Option1_5, ui->Option1_6, ui->Option1_7};
    m_Option2 = {ui->Option2_0, ui->Option2_1};
    m_Option3 = {ui->Option3_0, ui->Option3_1};

    // A box reports every change of its value, also one the program makes; an option reports
    // becoming selected.
    connect(ui->Check1, &QCheckBox::toggled, this, &ComSet::Check1_Click);
    connect(ui->Check2, &QCheckBox::toggled, this, &ComSet::Check2_Click);
    for (int i = 0; i < 8; ++i) {
        connect(m_Option1[i], &QRadioButton::toggled, this, [this, i](bool selected) {
            if (selected)
                emit Option1_Click(i);
        });
    }
    connect(ui->Command1, &QPushButton::clicked, this, &ComSet::Command1_Click);
}

ComSet::~ComSet()
{
    delete ui;
}

QCheckBox *ComSet::Check1() const
{
    return ui->Check1;
}

QCheckBox *ComSet::Check2() const
{
    return ui->Check2;
}

QPushButton *ComSet::Command1() const
{
    return ui->Command1;
}

QGroupBox *ComSet::Frame(int number) const
{
    return findChild<QGroupBox *>(QStringLiteral("Frame") + QString::number(number));
}

void ComSet::closeEvent(QCloseEvent *event)
{
    QDialog::closeEvent(event);
    if (event->isAccepted())
        emit Form_Unload();
}

void ComSet::keyPressEvent(QKeyEvent *event)
{
    // Escape leaves the dialog as the close box does, not merely hidden.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}
