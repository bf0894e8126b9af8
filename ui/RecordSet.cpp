// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/RecordSet.h"
#include "ui_RecordSet.h"

RecordSet::RecordSet(QWidget *parent) : ModelessDialog(parent), ui(new Ui::RecordSet)
{
    ui->setupUi(this);
    setGeometry(494, 152, 360, 296);

    connect(ui->Command1, &QPushButton::clicked, this, &RecordSet::Command1_Click);
    connect(ui->Command2, &QPushButton::clicked, this, &RecordSet::Command2_Click);
    connect(ui->Command3, &QPushButton::clicked, this, &RecordSet::Command3_Click);
    connect(ui->Command4, &QPushButton::clicked, this, &RecordSet::Command4_Click);
}

RecordSet::~RecordSet()
{
    delete ui;
}

QComboBox *RecordSet::Combo1() const
{
    return ui->Combo1;
}

QComboBox *RecordSet::Combo2() const
{
    return ui->Combo2;
}

QLabel *RecordSet::Label5() const
{
    return ui->Label5;
}

QPushButton *RecordSet::Command1() const
{
    return ui->Command1;
}

QPushButton *RecordSet::Command2() const
{
    return ui->Command2;
}

QPushButton *RecordSet::Command3() const
{
    return ui->Command3;
}

QPushButton *RecordSet::Command4() const
{
    return ui->Command4;
}

QProgressBar *RecordSet::Gauge1() const
{
    return ui->Gauge1;
}

QLabel *RecordSet::Label1() const
{
    return ui->Label1;
}

QLabel *RecordSet::Label2() const
{
    return ui->Label2;
}

QLabel *RecordSet::Label3() const
{
    return ui->Label3;
}

QLabel *RecordSet::Label4() const
{
    return ui->Label4;
}
