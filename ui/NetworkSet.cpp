// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/NetworkSet.h"
#include "ui_NetworkSet.h"

NetworkSet::NetworkSet(QWidget *parent) : ModelessDialog(parent), ui(new Ui::NetworkSet)
{
    ui->setupUi(this);
    adjustSize();
    connect(ui->OkButton, &QPushButton::clicked, this, &NetworkSet::OkButton_Click);
    connect(ui->CancelButton, &QPushButton::clicked, this, &NetworkSet::CancelButton_Click);
}

NetworkSet::~NetworkSet()
{
    delete ui;
}

QLineEdit *NetworkSet::RadioInfoEdit() const
{
    return ui->RadioInfoEdit;
}

QLineEdit *NetworkSet::StationNameEdit() const
{
    return ui->StationNameEdit;
}

QLineEdit *NetworkSet::ListenEdit() const
{
    return ui->ListenEdit;
}

QComboBox *NetworkSet::InterlockCombo() const
{
    return ui->InterlockCombo;
}

QComboBox *NetworkSet::RoleCombo() const
{
    return ui->RoleCombo;
}

QSpinBox *NetworkSet::PeerTimeoutSpin() const
{
    return ui->PeerTimeoutSpin;
}

QLabel *NetworkSet::StatusLabel() const
{
    return ui->StatusLabel;
}

QPushButton *NetworkSet::OkButton() const
{
    return ui->OkButton;
}

QPushButton *NetworkSet::CancelButton() const
{
    return ui->CancelButton;
}
