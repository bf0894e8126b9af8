// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/ModelessDialog.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSlider;

namespace Ui {
class SoundSet;
}

// The "Sound" dialog: the output that plays the messages into the transmitter, their level, the
// loudness they all play at with each memory's as measured, the monitor output that plays them for
// the operator and its level, the microphone muted while a message is sent, and the input the
// recorder records from. It names its controls and turns the operator's choices into the dialog's
// events; SoundSetHandler acts on them.
class SoundSet : public ModelessDialog
{
    Q_OBJECT
public:
    explicit SoundSet(QWidget *parent = nullptr);
    ~SoundSet() override;

    // The outputs; the first entry is the system's default output.
    // With two radios: the radio whose output and level the dialog shows (hidden with one).
    QComboBox *RadioCombo() const;
    QComboBox *Combo1() const;
    // The inputs; the first entry is the system's default input.
    QComboBox *Combo2() const;
    // The level, 0 to 100 percent, and its figure.
    QSlider *HScroll1() const;
    QLabel *Label1() const;
    // The loudness target (the first entry is off) and the ceiling of the true peaks, each also
    // typed; each memory's loudness as measured.
    QComboBox *Combo5() const;
    QComboBox *Combo6() const;
    QLabel *Label4() const;
    // The monitor outputs; the first entry is none. Its level and the level's figure.
    QComboBox *Combo3() const;
    QSlider *HScroll2() const;
    QLabel *Label3() const;
    // The inputs that can be muted while a message is sent; the first entry is none.
    QComboBox *Combo4() const;
    // The status line: the sound server, a level of 0, a choice refused.
    QLabel *Label2() const;
    QPushButton *Command1() const;

signals:
    void RadioCombo_Click(int Index);
    // The operator chose an entry (not the program filling the lists).
    void Combo1_Click(int Index);
    void Combo2_Click(int Index);
    void Combo3_Click(int Index);
    void Combo4_Click(int Index);
    void HScroll1_Change();
    void HScroll2_Change();
    // A target or a ceiling chosen or typed (the handler reads and judges the text).
    void Combo5_Change();
    void Combo6_Change();
    void Command1_Click();

private:
    Ui::SoundSet *ui;
};
