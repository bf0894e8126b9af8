// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Form1.h"
#include "ui_Form1.h"

#include "ui/PictureFile.h"
#include "ui/PictureReadAhead.h"

#include <QCloseEvent>
#include <QLayout>
#include <QMenu>

namespace {
const QString IconFile = QStringLiteral(":/images/voicevocta.png");
const QString FacesPrefix = QStringLiteral(":/images/ImageList1_");

QString faceFile(Face face)
{
    return FacesPrefix + QString::number(int(face)) + QLatin1String(".png");
}

// Shift bits as a window reports them: shift 1, ctrl 2, alt 4.
int shiftBits(Qt::KeyboardModifiers modifiers)
{
    int Shift = 0;
    if (modifiers & Qt::ShiftModifier)
        Shift |= 1;
    if (modifiers & Qt::ControlModifier)
        Shift |= 2;
    if (modifiers & Qt::AltModifier)
        Shift |= 4;
    return Shift;
}
} // namespace

QStringList Form1::picturesAtStart()
{
    return {IconFile, faceFile(Face::Blue), faceFile(Face::Green)};
}

Form1::Form1(QWidget *parent, PictureReadAhead *pictures)
    : QMainWindow(parent)
    , ui(new Ui::Form1)
    , m_ImageList1(ImageList::load(FacesPrefix, 5))
    , m_ImageList2(ImageList::load(QStringLiteral(":/images/ImageList2_"), 4))
{
    const auto read = [pictures](const QString &path) {
        return pictures ? pictures->take(path) : readPicture(path);
    };
    ui->setupUi(this);
    setWindowIcon(QIcon(read(IconFile)));
    // The transport bar's frame is drawn in front of the picture frame, whose lower edge it hides.
    ui->Frame7->setAutoFillBackground(true);
    // The layout is fixed: the client area below the menu bar is 386 x 321 pixels.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    m_Command3d1 = {ui->Command3d1_0, ui->Command3d1_1, ui->Command3d1_2,
                    ui->Command3d1_3, ui->Command3d1_4, ui->Command3d1_5};
    m_Check3d1 = {ui->Check3d1_0, ui->Check3d1_1, ui->Check3d1_2,
                  ui->Check3d1_3, ui->Check3d1_4, ui->Check3d1_5};

    // The five repeat boxes that lie on the window itself, and the transport bar, are drawn in
    // front of the frame they stand over.
    for (int i = 1; i < MemoryCount; ++i)
        m_Check3d1[i]->raise();
    ui->MMControl1->raise();

    // The label font is set on the frames and would pass to everything inside them; the controls
    // in the frames that are not buttons keep the font they have.
    for (QWidget *control : std::initializer_list<QWidget *>{
             ui->Check3d1_0, ui->Gauge1, ui->HScroll1, ui->Image1, ui->Picture1}) {
        QFont font = control->font();
        font.setFamily(font.family());
        font.setPointSizeF(font.pointSizeF());
        font.setBold(font.bold());
        font.setItalic(font.italic());
        control->setFont(font);
    }

    // The transport bar's own buttons take the bar's place in the focus chain.
    QWidget *previous = m_Check3d1.back();
    for (QWidget *button : ui->MMControl1->focusChain()) {
        setTabOrder(previous, button);
        previous = button;
    }
    setTabOrder(previous, ui->Panel3d1);

    forwardEvents();

    for (const Face face : {Face::Blue, Face::Green})
        m_ImageList1.setPicture(int(face), read(faceFile(face)));
}

// Each control's events go out as the window's own signals.
void Form1::forwardEvents()
{
    for (int i = 0; i < MemoryCount; ++i) {
        connect(m_Command3d1[i], &PictureButton::clicked, this,
                [this, i] { emit Command3d1_Click(i); });
        connect(m_Command3d1[i], &PictureButton::mouseDown, this,
                [this, i](Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint pos) {
                    // Button numbers as a window reports them: left 1, right 2, middle 4.
                    int Button = 0;
                    if (button == Qt::LeftButton)
                        Button = 1;
                    else if (button == Qt::RightButton)
                        Button = 2;
                    else if (button == Qt::MiddleButton)
                        Button = 4;
                    emit Command3d1_MouseDown(i, Button, shiftBits(modifiers), pos.x(), pos.y());
                });
        connect(m_Check3d1[i], &QCheckBox::toggled, this, [this, i] { emit Check3d1_Click(i); });
    }
    connect(ui->Command3d2, &PictureButton::clicked, this, &Form1::Command3d2_Click);
    connect(ui->Command3d3, &PictureButton::clicked, this, &Form1::Command3d3_Click);
    connect(ui->Panel3d1, &PictureButton::clicked, this, &Form1::Panel3d1_Click);
    connect(ui->Panel3d2, &PictureButton::clicked, this, &Form1::Panel3d2_Click);
    connect(ui->HScroll1, &QSlider::valueChanged, this, &Form1::HScroll1_Change);
    connect(ui->Exit, &QAction::triggered, this, &Form1::Exit_Click);
    connect(ui->Charactersb, &QAction::triggered, this, &Form1::Charactersb_Click);
    connect(ui->Charactersl, &QAction::triggered, this, &Form1::Charactersl_Click);
    connect(ui->Parameters, &QAction::triggered, this, &Form1::Parameters_Click);
    connect(ui->Sound, &QAction::triggered, this, &Form1::Sound_Click);
    connect(ui->Ptt, &QAction::triggered, this, &Form1::Ptt_Click);
    connect(ui->Network, &QAction::triggered, this, &Form1::Network_Click);
    connect(ui->Record, &QAction::triggered, this, &Form1::Record_Click);
    connect(ui->About, &QAction::triggered, this, &Form1::About_Click);
    connect(ui->Help, &QAction::triggered, this, &Form1::Help_Click);
    // "Connect COM automagically" does nothing.
}

Form1::~Form1()
{
    delete ui;
}

PictureButton *Form1::Panel3d1() const
{
    return ui->Panel3d1;
}

PictureButton *Form1::Panel3d2() const
{
    return ui->Panel3d2;
}

PictureButton *Form1::Command3d2() const
{
    return ui->Command3d2;
}

PictureButton *Form1::Command3d3() const
{
    return ui->Command3d3;
}

QProgressBar *Form1::Gauge1() const
{
    return ui->Gauge1;
}

QSlider *Form1::HScroll1() const
{
    return ui->HScroll1;
}

QLabel *Form1::Image1() const
{
    return ui->Image1;
}

QLabel *Form1::Picture1() const
{
    return ui->Picture1;
}

TransportBar *Form1::MMControl1() const
{
    return ui->MMControl1;
}

QGroupBox *Form1::Frame(int number) const
{
    return centralWidget()->findChild<QGroupBox *>(QStringLiteral("Frame")
                                                   + QString::number(number));
}

QAction *Form1::menuItem(const QString &name) const
{
    return findChild<QAction *>(name);
}

void Form1::showRadiosMenu(bool stereo, bool canStereo)
{
    if (menuItem(QStringLiteral("Stereo")))
        return;
    auto *menu = new QMenu(tr("Radios"), ui->menubar);
    menu->setObjectName(QStringLiteral("Radios"));
    // The key is Pause from every window (StationKeys): shown here, not a shortcut of its own.
    QAction *swap = menu->addAction(tr("Swap focus\tPause"));
    swap->setObjectName(QStringLiteral("FocusSwap"));
    QAction *listen = menu->addAction(tr("Stereo listening"));
    listen->setObjectName(QStringLiteral("Stereo"));
    listen->setCheckable(true);
    listen->setChecked(stereo);
    listen->setEnabled(canStereo);
    ui->menubar->insertMenu(ui->About, menu);
    connect(swap, &QAction::triggered, this, &Form1::FocusSwap_Click);
    connect(listen, &QAction::triggered, this, &Form1::Stereo_Click);
}

QList<QWidget *> Form1::buttonFontControls() const
{
    QList<QWidget *> controls{ui->Panel3d1, ui->Panel3d2};
    for (PictureButton *button : m_Command3d1)
        controls.append(button);
    controls << ui->Command3d2 << ui->Command3d3;
    return controls;
}

QList<QWidget *> Form1::labelFontControls() const
{
    return {ui->Frame1, ui->Frame2, ui->Frame3, ui->Frame4, ui->Frame6};
}

void Form1::closeEvent(QCloseEvent *event)
{
    event->accept();
    emit Form_Terminate();
}
