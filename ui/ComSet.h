// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <array>

class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace Ui {
class ComSet;
}

// The "COM Control" dialog: the port number and, for RTS and DTR, whether the line keys PTT and
// with which polarity. It names its controls and turns their events into the dialog's events;
// ComSetHandler acts on them.
//
// Closing it with the window's close box (or Escape) unloads it: it reports Form_Unload and is
// destroyed. Hiding it keeps it loaded.
class ComSet : public QDialog
{
    Q_OBJECT
public:
    explicit ComSet(QWidget *parent = nullptr);
    ~ComSet() override;

    // Port options: element i stands for port i + 1.
    QRadioButton *Option1(int index) const { return m_Option1.at(index); }
    // "Enabled" of RTS and of DTR.
    QCheckBox *Check1() const;
    QCheckBox *Check2() const;
    // RTS and DTR polarity: element 0 "Positive", element 1 "Negative".
    QRadioButton *Option2(int index) const { return m_Option2.at(index); }
    QRadioButton *Option3(int index) const { return m_Option3.at(index); }
    QPushButton *Command1() const;
    // Frame1 .. Frame3.
    QGroupBox *Frame(int number) const;

signals:
    // A box changed, by the operator or by the program.
    void Check1_Click();
    void Check2_Click();
    // A port option became selected.
    void Option1_Click(int Index);
    void Command1_Click();
    // Closed by the close box: the dialog is about to be destroyed.
    void Form_Unload();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    Ui::ComSet *ui;
    std::array<QRadioButton *, 8> m_Option1{};
    std::array<QRadioButton *, 2> m_Option2{};
    std::array<QRadioButton *, 2> m_Option3{};
};
