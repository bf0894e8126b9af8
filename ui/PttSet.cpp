// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PttSet.h"
#include "ui_PttSet.h"

#include <QCompleter>

PttSet::PttSet(QWidget *parent) : ModelessDialog(parent), ui(new Ui::PttSet)
{
    ui->setupUi(this);
    adjustSize();
    move(494, 152);

    // Typing part of a rig's name offers the models that contain it.
    QCompleter *completer = ui->RigModelCombo->completer();
    completer->setCompletionMode(QCompleter::PopupCompletion);
    completer->setFilterMode(Qt::MatchContains);
    completer->setCaseSensitivity(Qt::CaseInsensitive);

    connect(ui->RadioCombo, &QComboBox::activated, this, &PttSet::RadioCombo_Click);
    connect(ui->MethodCombo, &QComboBox::currentIndexChanged, this, &PttSet::MethodCombo_Click);
    connect(ui->TimeoutCheck, &QCheckBox::toggled, this, &PttSet::TimeoutCheck_Click);
    connect(ui->OkButton, &QPushButton::clicked, this, &PttSet::OkButton_Click);
    connect(ui->CancelButton, &QPushButton::clicked, this, &PttSet::CancelButton_Click);
}

PttSet::~PttSet()
{
    delete ui;
}

QLabel *PttSet::RadioLabel() const
{
    return ui->RadioLabel;
}

QComboBox *PttSet::RadioCombo() const
{
    return ui->RadioCombo;
}

QComboBox *PttSet::MethodCombo() const
{
    return ui->MethodCombo;
}

QGroupBox *PttSet::SerialFrame() const
{
    return ui->SerialFrame;
}

QComboBox *PttSet::SerialCombo() const
{
    return ui->SerialCombo;
}

QGroupBox *PttSet::CatFrame() const
{
    return ui->CatFrame;
}

QComboBox *PttSet::RigModelCombo() const
{
    return ui->RigModelCombo;
}

QLineEdit *PttSet::RigPortEdit() const
{
    return ui->RigPortEdit;
}

QComboBox *PttSet::RigSpeedCombo() const
{
    return ui->RigSpeedCombo;
}

QGroupBox *PttSet::Cm108Frame() const
{
    return ui->Cm108Frame;
}

QComboBox *PttSet::Cm108Combo() const
{
    return ui->Cm108Combo;
}

QSpinBox *PttSet::GpioSpin() const
{
    return ui->GpioSpin;
}

QSpinBox *PttSet::LeadSpin() const
{
    return ui->LeadSpin;
}

QSpinBox *PttSet::TailSpin() const
{
    return ui->TailSpin;
}

QCheckBox *PttSet::TimeoutCheck() const
{
    return ui->TimeoutCheck;
}

QSpinBox *PttSet::TimeoutSpin() const
{
    return ui->TimeoutSpin;
}

QLabel *PttSet::StatusLabel() const
{
    return ui->StatusLabel;
}

QPushButton *PttSet::OkButton() const
{
    return ui->OkButton;
}

QPushButton *PttSet::CancelButton() const
{
    return ui->CancelButton;
}
