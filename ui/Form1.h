// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/AppState.h"
#include "ui/ImageList.h"

#include <QMainWindow>
#include <array>

class PictureButton;
class PictureReadAhead;
class TransportBar;
class QCheckBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QSlider;

namespace Ui {
class Form1;
}

// The main window. It builds the controls, names them, and turns their events into the station's
// events (Command3d1_Click(Index), Command3d2_Click(), ...); the station acts on them. It holds
// no logic of its own.
class Form1 : public QMainWindow
{
    Q_OBJECT
public:
    // The pictures every window shows from its start (its icon, the faces at rest and of the
    // current memory): `pictures` may have read them ahead, else the window reads them.
    static QStringList picturesAtStart();
    explicit Form1(QWidget *parent = nullptr, PictureReadAhead *pictures = nullptr);
    ~Form1() override;

    PictureButton *Command3d1(int index) const { return m_Command3d1.at(index); }
    QCheckBox *Check3d1(int index) const { return m_Check3d1.at(index); }
    const std::array<PictureButton *, MemoryCount> &memoryButtons() const { return m_Command3d1; }
    const std::array<QCheckBox *, MemoryCount> &repeatBoxes() const { return m_Check3d1; }
    PictureButton *Panel3d1() const;
    PictureButton *Panel3d2() const;
    PictureButton *Command3d2() const;
    PictureButton *Command3d3() const;
    QProgressBar *Gauge1() const;
    QSlider *HScroll1() const;
    QLabel *Image1() const;
    QLabel *Picture1() const;
    TransportBar *MMControl1() const;
    // Frame1 .. Frame7.
    QGroupBox *Frame(int number) const;

    const ImageList &ImageList1() const { return m_ImageList1; }
    const ImageList &ImageList2() const { return m_ImageList2; }

    // The menu items, by name: "Exit", "Charactersb", "Charactersl", "Parameters", "Comauto",
    // "Sound", "Ptt", "Network", "Record", "About", "Help"; with two radios "FocusSwap" and
    // "Stereo".
    QAction *menuItem(const QString &name) const;
    // The "Radios" menu, for two radios only: the focus swap (the Pause key's) and stereo
    // listening, a check mark that shows `stereo` and is enabled where `canStereo`.
    void showRadiosMenu(bool stereo, bool canStereo);

    // The controls that take the button font, and the frames that take the label font.
    QList<QWidget *> buttonFontControls() const;
    QList<QWidget *> labelFontControls() const;

signals:
    void Command3d1_Click(int Index);
    void Command3d1_MouseDown(int Index, int Button, int Shift, int x, int y);
    void Check3d1_Click(int Index);
    void Command3d2_Click();
    void Command3d3_Click();
    void Panel3d1_Click();
    void Panel3d2_Click();
    void HScroll1_Change();
    void Exit_Click();
    void Charactersb_Click();
    void Charactersl_Click();
    void Parameters_Click();
    void Sound_Click();
    void Ptt_Click();
    void Network_Click();
    void FocusSwap_Click();
    void Stereo_Click(bool on);
    void Record_Click();
    void About_Click();
    void Help_Click();
    // The window was closed other than by File > Exit.
    void Form_Terminate();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void forwardEvents();

    Ui::Form1 *ui;
    std::array<PictureButton *, MemoryCount> m_Command3d1{};
    std::array<QCheckBox *, MemoryCount> m_Check3d1{};
    ImageList m_ImageList1;
    ImageList m_ImageList2;
};
