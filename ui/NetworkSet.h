// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/ModelessDialog.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace Ui {
class NetworkSet;
}

// The "Network" dialog: where this station sends its RadioInfo, its name, the port it hears
// other stations on, the interlock, its role and the peer time-out. It names its controls and
// turns the operator's actions into the dialog's events; NetworkSetHandler acts on them.
class NetworkSet : public ModelessDialog
{
    Q_OBJECT
public:
    explicit NetworkSet(QWidget *parent = nullptr);
    ~NetworkSet() override;

    QLineEdit *RadioInfoEdit() const;
    QLineEdit *StationNameEdit() const;
    QLineEdit *ListenEdit() const;
    QComboBox *InterlockCombo() const; // in InterlockMode's order
    QComboBox *RoleCombo() const; // in StationRole's order
    QSpinBox *PeerTimeoutSpin() const;
    // The network's state, or why OK was refused.
    QLabel *StatusLabel() const;
    QPushButton *OkButton() const;
    QPushButton *CancelButton() const;

signals:
    void OkButton_Click();
    void CancelButton_Click();

private:
    Ui::NetworkSet *ui;
};
