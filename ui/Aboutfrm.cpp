// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Aboutfrm.h"
#include "ui_Aboutfrm.h"

#include "ui/ImageList.h"

#include <QFontMetricsF>

namespace {
// Whether the text, at the given font, shows whole in an area of the given size: no line is
// wider than the area (so none wraps), and all lines together are not higher.
bool fits(const QFont &font, const QString &text, QSize area)
{
    const QFontMetricsF metrics(font);
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (metrics.horizontalAdvance(line) > area.width())
            return false;
    }
    const QRectF bounds = metrics.boundingRect(QRectF(0, 0, area.width(), 1e6),
                                               Qt::AlignHCenter | Qt::TextWordWrap, text);
    return bounds.height() <= area.height();
}

// Shrinks the label's font, from the font it has, until its whole text shows in the label's
// fixed size.
void shrinkToFit(QLabel *label)
{
    constexpr qreal SmallestPointSize = 4;
    constexpr int SmallestPixelSize = 5;
    QFont font = label->font();
    const QSize area = label->contentsRect().size();
    while (!fits(font, label->text(), area)) {
        if (font.pointSizeF() > 0) {
            if (font.pointSizeF() - 0.5 < SmallestPointSize)
                break;
            font.setPointSizeF(font.pointSizeF() - 0.5);
        } else {
            if (font.pixelSize() - 1 < SmallestPixelSize)
                break;
            font.setPixelSize(font.pixelSize() - 1);
        }
    }
    if (font != label->font())
        label->setFont(font);
}
} // namespace

Aboutfrm::Aboutfrm(QWidget *mainWindow, const ImageList &ImageList1)
    : QDialog(mainWindow), ui(new Ui::Aboutfrm)
{
    ui->setupUi(this);
    // Beside the main window, not blocking it; the close box unloads it.
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    connect(ui->CommandOK, &PictureButton::clicked, this, &Aboutfrm::CommandOK_Click);
    Form_Load(mainWindow, ImageList1);
}

Aboutfrm::~Aboutfrm()
{
    delete ui;
}

QLabel *Aboutfrm::Label1() const
{
    return ui->Label1;
}

PictureButton *Aboutfrm::CommandOK() const
{
    return ui->CommandOK;
}

QString Aboutfrm::aboutText()
{
    const QString lf = QStringLiteral("\n");
    // The first step replaces the text, so loading again never doubles it.
    QString text = tr("Hello Everyone!") + lf + lf;
    text += tr("This is the BETA Version of the Voice Vocta.") + lf + lf;
    text += tr("As we are still developping the code, comments are") + lf;
    text += tr("WELCOME!") + lf + lf;
    text += tr("You can reach us at the following addresses:") + lf;
    text += QStringLiteral("E-Mail : voicevocta@example.org") + lf;
    text += QStringLiteral("Packet : N0CALL@N0BBS.#NOWHERE") + lf + lf;
    text += tr("Please use this program only for peaceful projects.") + lf + lf;
    text += QStringLiteral(" 73 de N0CALL and N1CALL");
    return text;
}

void Aboutfrm::Form_Load(QWidget *mainWindow, const ImageList &ImageList1)
{
    setWindowIcon(mainWindow->windowIcon());
    ui->Label1->setText(aboutText());
    // All of it shows inside the label's fixed size, whatever the desktop's font; the rest of the
    // dialog keeps that font.
    shrinkToFit(ui->Label1);
    // Beside the OK button: the version, from the one place that names it, and the licence.
    ui->LabelVersion->setText(tr("Version %1").arg(QLatin1String(VV_VERSION)));
    ui->LabelLicence->setText(tr("Licence: GNU GPL\nversion 3 or later"));
    shrinkToFit(ui->LabelVersion);
    shrinkToFit(ui->LabelLicence);
    ui->CommandOK->setPicture(ImageList1.picture(Face::Blue));
    ui->CommandOK->setDownPicture(ImageList1.picture(Face::Green));
    ui->CommandOK->setDisabledPicture(ImageList1.picture(Face::Green));
}

void Aboutfrm::CommandOK_Click()
{
    // Hidden, not unloaded: the next About shows it as it is.
    hide();
}

AboutBox::AboutBox(QWidget &mainWindow, const ImageList &ImageList1)
    : m_mainWindow(mainWindow), m_ImageList1(ImageList1)
{ }

void AboutBox::About_Click()
{
    if (!m_dialog)
        m_dialog = new Aboutfrm(&m_mainWindow, m_ImageList1);
    m_dialog->show();
    m_dialog->raise();
}
