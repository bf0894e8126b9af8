// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/ModelessDialog.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace Ui {
class RecordSet;
}

// The "Record" dialog: the memory (or the voice kit's part) to record, Record / Stop / Play / Save,
// the peak meter, the take, the input and what the recorder has to say. It names its controls and
// turns their events into the dialog's events; RecordSetHandler acts on them.
class RecordSet : public ModelessDialog
{
    Q_OBJECT
public:
    explicit RecordSet(QWidget *parent = nullptr);
    ~RecordSet() override;

    // The memory, "1" to "6", or "kit": the voice kit.
    QComboBox *Combo1() const;
    // With "kit": the kit's part (editable), and which parts the kit has and lacks.
    QComboBox *Combo2() const;
    QLabel *Label5() const;
    // Record, Stop, Play, Save.
    QPushButton *Command1() const;
    QPushButton *Command2() const;
    QPushButton *Command3() const;
    QPushButton *Command4() const;
    // The peak meter in tenths of a dB (-600 to 0) and its figure.
    QProgressBar *Gauge1() const;
    QLabel *Label1() const;
    // The take, the recorder's message, the input.
    QLabel *Label2() const;
    QLabel *Label3() const;
    QLabel *Label4() const;

signals:
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();

private:
    Ui::RecordSet *ui;
};
