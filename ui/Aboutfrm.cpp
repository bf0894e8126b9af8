#include "ui/Aboutfrm.h"
#include "ui_Aboutfrm.h"

#include "ui/ImageList.h"

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
    QString text = QStringLiteral("Hello Everyone!") + lf + lf;
    text += QStringLiteral("This is the BETA Version of the Voice Vocta.") + lf + lf;
    text += QStringLiteral("As we are still developping the code, comments are") + lf;
    text += QStringLiteral("WELCOME!") + lf + lf;
    text += QStringLiteral("You can reach us at the following addresses:") + lf;
    text += QStringLiteral("E-Mail : voicevocta@example.org") + lf;
    text += QStringLiteral("Packet : N0CALL@N0BBS.#NOWHERE") + lf + lf;
    text += QStringLiteral("Please use this program only for peaceful projects.") + lf + lf;
    text += QStringLiteral(" 73 de N0CALL and N1CALL");
    return text;
}

void Aboutfrm::Form_Load(QWidget *mainWindow, const ImageList &ImageList1)
{
    setWindowIcon(mainWindow->windowIcon());
    ui->Label1->setText(aboutText());
    ui->CommandOK->setPicture(ImageList1.picture(1));
    ui->CommandOK->setDownPicture(ImageList1.picture(3));
    ui->CommandOK->setDisabledPicture(ImageList1.picture(3));
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
