// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/StationFixture.h"

#include "tests/support/TestFiles.h"
#include "ui/Aboutfrm.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

// The About dialog: its text to the byte, the version and the licence, and its show / hide / unload
// cycle beside the main window; Help, which opens the manual.
class TestAbout : public QObject
{
    Q_OBJECT

private slots:
    void textIsExact();
    void dialogAsDesigned();
    void wholeTextShowsWithTheDesktopsFont_data();
    void wholeTextShowsWithTheDesktopsFont();
    void okHidesAndAboutShowsItAgainUnchanged();
    void closeBoxUnloadsAndAboutLoadsAfresh();
    void mainWindowStaysUsable();
    void helpOpensTheManual();

public slots:
    // What the desktop was asked to open.
    void openUrl(const QUrl &url) { m_opened << url; }

private:
    QList<QUrl> m_opened;
};

void TestAbout::textIsExact()
{
    const QByteArray text = Aboutfrm::aboutText().toLatin1();
    const QList<QByteArray> lines = text.split('\n');
    QCOMPARE(lines.size(), 14);
    QCOMPARE(lines[0], QByteArray("Hello Everyone!"));
    QCOMPARE(lines[1], QByteArray());
    QCOMPARE(lines[2], QByteArray("This is the BETA Version of the Voice Vocta."));
    QCOMPARE(lines[3], QByteArray());
    QCOMPARE(lines[4], QByteArray("As we are still developping the code, comments are"));
    QCOMPARE(lines[5], QByteArray("WELCOME!"));
    QCOMPARE(lines[6], QByteArray());
    QCOMPARE(lines[7], QByteArray("You can reach us at the following addresses:"));
    QVERIFY(lines[8].startsWith("E-Mail : "));
    QVERIFY(lines[9].startsWith("Packet : "));
    QCOMPARE(lines[10], QByteArray());
    QCOMPARE(lines[11], QByteArray("Please use this program only for peaceful projects."));
    QCOMPARE(lines[12], QByteArray());
    QVERIFY(lines[13].startsWith(" 73 de "));
    QVERIFY(lines[13].contains(" and "));
    QVERIFY(!text.endsWith('\n'));
    QVERIFY(!text.contains('\r'));
}

void TestAbout::dialogAsDesigned()
{
    StationFixture f;
    f.window().menuItem("About")->trigger();
    Aboutfrm *about = f.station->about().dialog();
    QVERIFY(about);
    QVERIFY(about->isVisible());
    QVERIFY(!about->isModal());
    QCOMPARE(about->windowTitle(), QString("About The Voice Vocta"));
    QCOMPARE(about->size(), QSize(306, 270));
    QCOMPARE(about->Label1()->text(), Aboutfrm::aboutText());
    QCOMPARE(about->Label1()->geometry(), QRect(8, 8, 273, 193));
    QCOMPARE(about->Label1()->parentWidget()->geometry(), QRect(8, 0, 289, 217));
    QVERIFY(about->Label1()->alignment() & Qt::AlignHCenter);
    QCOMPARE(about->findChild<QLabel *>("LabelVersion")->text(), QString("Version " VV_VERSION));
    QVERIFY(about->findChild<QLabel *>("LabelLicence")->text().contains("GNU GPL"));
    PictureButton *ok = about->CommandOK();
    QCOMPARE(ok->geometry(), QRect(112, 224, 73, 41));
    QCOMPARE(ok->text(), QString("OK"));
    QCOMPARE(ok->toolTip(), QString("Push to Exit"));
    QCOMPARE(f.window().ImageList1().indexOf(ok->picture()), 1);
    QCOMPARE(f.window().ImageList1().indexOf(ok->downPicture()), 3);
    QCOMPARE(about->windowIcon().cacheKey(), f.window().windowIcon().cacheKey());
    // The program's fonts do not reach it.
    f.dialogs.cancelFont = false;
    f.dialogs.fontAnswer = {"DejaVu Serif", 20, true, true};
    f.window().menuItem("Charactersb")->trigger();
    QVERIFY(ok->font().pointSize() != 20);
}

void TestAbout::wholeTextShowsWithTheDesktopsFont_data()
{
    QTest::addColumn<QFont>("desktopFont");
    QTest::addColumn<bool>("shrinks");
    QTest::newRow("the platform's font") << QApplication::font() << true;
    QTest::newRow("DejaVu Sans 10") << QFont("DejaVu Sans", 10) << true;
    QTest::newRow("DejaVu Sans 11") << QFont("DejaVu Sans", 11) << true;
    QTest::newRow("DejaVu Serif 12 bold") << QFont("DejaVu Serif", 12, QFont::Bold) << true;
    QTest::newRow("DejaVu Sans 6 fits") << QFont("DejaVu Sans", 6) << false;
}

void TestAbout::wholeTextShowsWithTheDesktopsFont()
{
    QFETCH(QFont, desktopFont);
    QFETCH(bool, shrinks);
    const QFont before = QApplication::font();
    QApplication::setFont(desktopFont);
    const auto restore = qScopeGuard([&] { QApplication::setFont(before); });

    StationFixture f;
    f.window().menuItem("About")->trigger();
    Aboutfrm *about = f.station->about().dialog();
    QLabel *label = about->Label1();
    QCOMPARE(label->size(), QSize(273, 193));

    // All fourteen lines, each on a line of its own, inside the label's fixed size.
    const QFontMetrics metrics(label->font());
    const QString text = label->text();
    for (const QString &line : text.split('\n'))
        QVERIFY2(metrics.horizontalAdvance(line) <= label->width(), qPrintable(line));
    const QRect bounds = metrics.boundingRect(QRect(0, 0, label->width(), 100000),
                                              Qt::AlignHCenter | Qt::TextWordWrap, text);
    QVERIFY2(bounds.height() <= label->height(), qPrintable(QString::number(bounds.height())));
    QVERIFY(bounds.height() >= 14 * metrics.height() - 14);

    // Only the label's font shrinks, and only as far as needed.
    QCOMPARE(label->font().family(), desktopFont.family());
    QCOMPARE(label->font().pointSizeF() < desktopFont.pointSizeF(), shrinks);
    QCOMPARE(label->font().bold(), desktopFont.bold());
    QCOMPARE(about->CommandOK()->font(), desktopFont);
    QCOMPARE(label->parentWidget()->font(), desktopFont);
}

void TestAbout::okHidesAndAboutShowsItAgainUnchanged()
{
    StationFixture f;
    f.window().menuItem("About")->trigger();
    QPointer<Aboutfrm> about = f.station->about().dialog();
    about->CommandOK()->click();
    QVERIFY(about);
    QVERIFY(about->isHidden());
    f.window().menuItem("About")->trigger();
    QCOMPARE(f.station->about().dialog(), about.data());
    QVERIFY(about->isVisible());
    QCOMPARE(about->Label1()->text(), Aboutfrm::aboutText());
}

void TestAbout::closeBoxUnloadsAndAboutLoadsAfresh()
{
    StationFixture f;
    f.window().menuItem("About")->trigger();
    QPointer<Aboutfrm> first = f.station->about().dialog();
    first->close();
    QTRY_VERIFY(first.isNull());
    QVERIFY(!f.station->about().dialog());
    f.window().menuItem("About")->trigger();
    Aboutfrm *second = f.station->about().dialog();
    QVERIFY(second);
    QVERIFY(second->isVisible());
    QCOMPARE(second->Label1()->text(), Aboutfrm::aboutText());
}

void TestAbout::mainWindowStaysUsable()
{
    StationFixture f;
    f.window().show();
    f.window().menuItem("About")->trigger();
    f.clickMemory(2);
    QCOMPARE(f.now().playing(), 1);
    QCOMPARE(f.now().memory, qint16(2));
}

// The manual page through the desktop's help browser; without one, the README that comes with the
// program; without that either, the window says where the manual is.
void TestAbout::helpOpensTheManual()
{
    QDesktopServices::setUrlHandler("man", this, "openUrl");
    QDesktopServices::setUrlHandler("file", this, "openUrl");
    const auto unset = qScopeGuard([] {
        QDesktopServices::unsetUrlHandler("man");
        QDesktopServices::unsetUrlHandler("file");
    });
    QTemporaryDir dir; // the installed program in bin/
    QVERIFY(QDir(dir.path()).mkpath("bin") && QDir(dir.path()).mkpath("share/man/man1"));
    FakeDialogs dialogs;
    bool browser = false;
    ManualHelp help(dialogs, dir.filePath("bin"), [&] { return browser; });
    help.Help_Click(); // no browser, no README
    browser = true;
    help.Help_Click(); // a browser, but no manual page installed
    TestFiles::put(dir.filePath("share/man/man1/voicevocta.1.gz"), "");
    help.Help_Click();
    browser = false;
    TestFiles::put(dir.filePath("README.md"), "# Voice Vocta\n");
    help.Help_Click();
    QCOMPARE(m_opened,
             (QList<QUrl>{QUrl("man:voicevocta(1)"),
                          QUrl::fromLocalFile(QDir(dir.path()).canonicalPath() + "/README.md")}));
    QCOMPARE(dialogs.notices.size(), 2);
    QVERIFY(dialogs.notices.first().contains("man voicevocta"));

    // The menu's Help does one of them.
    StationFixture f;
    m_opened.clear();
    f.window().menuItem("Help")->trigger();
    QCOMPARE(m_opened.size() + f.dialogs.notices.size(), 1);
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
