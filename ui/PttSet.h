// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/ModelessDialog.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace Ui {
class PttSet;
}

// The "PTT" dialog: how the transmitter is keyed (the serial port's lines, the rig's CAT
// connection through hamlib, a CM108 chip's GPIO pin, or not at all) and the keying times. It
// names its controls and turns the operator's actions into the dialog's events; PttSetHandler
// acts on them.
class PttSet : public ModelessDialog
{
    Q_OBJECT
public:
    // The entries of MethodCombo, in KeyingMethod's order.
    enum MethodEntry { SerialEntry, CatEntry, Cm108Entry, NoneEntry };

    explicit PttSet(QWidget *parent = nullptr);
    ~PttSet() override;

    // With two radios: the radio whose settings the dialog shows (hidden with one).
    QLabel *RadioLabel() const;
    QComboBox *RadioCombo() const;
    QComboBox *MethodCombo() const;
    // Serial: the device (editable).
    QGroupBox *SerialFrame() const;
    QComboBox *SerialCombo() const;
    // CAT: hamlib's rig model (editable, searchable), the rig's port, its serial speed.
    QGroupBox *CatFrame() const;
    QComboBox *RigModelCombo() const;
    QLineEdit *RigPortEdit() const;
    QComboBox *RigSpeedCombo() const;
    // CM108: the chip's device (editable) and its GPIO pin.
    QGroupBox *Cm108Frame() const;
    QComboBox *Cm108Combo() const;
    QSpinBox *GpioSpin() const;
    // Timing.
    QSpinBox *LeadSpin() const;
    QSpinBox *TailSpin() const;
    QCheckBox *TimeoutCheck() const;
    QSpinBox *TimeoutSpin() const;
    // The keyer's status, or why OK was refused.
    QLabel *StatusLabel() const;
    QPushButton *OkButton() const;
    QPushButton *CancelButton() const;

signals:
    void RadioCombo_Click(int Index);
    void MethodCombo_Click(int Index);
    void TimeoutCheck_Click();
    void OkButton_Click();
    void CancelButton_Click();

private:
    Ui::PttSet *ui;
};
