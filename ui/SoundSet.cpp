// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SoundSet.h"
#include "ui_SoundSet.h"

#include <QLineEdit>

SoundSet::SoundSet(QWidget *parent) : ModelessDialog(parent), ui(new Ui::SoundSet)
{
    ui->setupUi(this);
    setGeometry(494, 152, 360, 580);

    connect(ui->RadioCombo, &QComboBox::activated, this, &SoundSet::RadioCombo_Click);
    connect(ui->Combo1, &QComboBox::activated, this, &SoundSet::Combo1_Click);
    connect(ui->Combo2, &QComboBox::activated, this, &SoundSet::Combo2_Click);
    connect(ui->Combo3, &QComboBox::activated, this, &SoundSet::Combo3_Click);
    connect(ui->Combo4, &QComboBox::activated, this, &SoundSet::Combo4_Click);
    connect(ui->HScroll1, &QSlider::valueChanged, this, &SoundSet::HScroll1_Change);
    connect(ui->HScroll2, &QSlider::valueChanged, this, &SoundSet::HScroll2_Change);
    connect(ui->Command1, &QPushButton::clicked, this, &SoundSet::Command1_Click);
    // A target or a ceiling picked from the list, or typed and confirmed.
    connect(ui->Combo5, &QComboBox::activated, this, &SoundSet::Combo5_Change);
    connect(ui->Combo5->lineEdit(), &QLineEdit::editingFinished, this, &SoundSet::Combo5_Change);
    connect(ui->Combo6, &QComboBox::activated, this, &SoundSet::Combo6_Change);
    connect(ui->Combo6->lineEdit(), &QLineEdit::editingFinished, this, &SoundSet::Combo6_Change);
}

SoundSet::~SoundSet()
{
    delete ui;
}

QComboBox *SoundSet::RadioCombo() const
{
    return ui->RadioCombo;
}

QComboBox *SoundSet::Combo1() const
{
    return ui->Combo1;
}

QComboBox *SoundSet::Combo2() const
{
    return ui->Combo2;
}

QSlider *SoundSet::HScroll1() const
{
    return ui->HScroll1;
}

QLabel *SoundSet::Label1() const
{
    return ui->Label1;
}

QLabel *SoundSet::Label2() const
{
    return ui->Label2;
}

QComboBox *SoundSet::Combo3() const
{
    return ui->Combo3;
}

QSlider *SoundSet::HScroll2() const
{
    return ui->HScroll2;
}

QLabel *SoundSet::Label3() const
{
    return ui->Label3;
}

QComboBox *SoundSet::Combo4() const
{
    return ui->Combo4;
}

QComboBox *SoundSet::Combo5() const
{
    return ui->Combo5;
}

QComboBox *SoundSet::Combo6() const
{
    return ui->Combo6;
}

QLabel *SoundSet::Label4() const
{
    return ui->Label4;
}

QPushButton *SoundSet::Command1() const
{
    return ui->Command1;
}
