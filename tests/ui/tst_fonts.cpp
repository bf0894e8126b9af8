// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/StationFixture.h"
#include "ui/CaptionFrame.h"
#include "ui/QtDialogs.h"
#include "ui/TransportBar.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFontDatabase>
#include <QFontDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <functional>
#include <tuple>

// The button font and the label font: chosen in the font dialog, applied at once to exactly
// their controls, and brought back at the next start.
class TestFonts : public QObject
{
    Q_OBJECT

private slots:
    void startUpAppliesTheDefaults();
    void dialogIsPreloadedWithTheStoredFont();
    void chosenSizeIsRoundedHalfToEven_data();
    void chosenSizeIsRoundedHalfToEven();
    void cancelKeepsTheStoredFont();
    void labelFontChangesTheFiveCaptionsOnly();
    void bordersFollowTheLabelFont();
    void fontsComeBackAfterARestart();
    void realDialogHandsBackAnUntouchedFont_data();
    void realDialogHandsBackAnUntouchedFont();
    void realDialogHandsBackAChangedSize();
};

namespace {
QList<QWidget *> others(Form1 &w)
{
    QList<QWidget *> list;
    for (int i = 0; i < 6; ++i)
        list << w.Check3d1(i);
    list << w.Gauge1() << w.HScroll1() << w.Image1() << w.Picture1() << w.Frame(5) << w.Frame(7)
         << w.menuBar();
    list << w.MMControl1();
    return list;
}

// The operator's hand on the real font dialog once it is open: `act` runs on it, then OK.
void onFontDialog(const std::function<void(QFontDialog *)> &act)
{
    auto *poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *dialog = qobject_cast<QFontDialog *>(widget);
            if (dialog && dialog->isVisible()) {
                poll->deleteLater();
                poll->stop();
                act(dialog);
                dialog->accept();
                return;
            }
        }
    });
    poll->start(20);
}

void chooseButtonsFont(StationFixture &f, const Dialogs::FontChoice &choice)
{
    f.dialogs.cancelFont = false;
    f.dialogs.fontAnswer = choice;
    f.window().menuItem("Charactersb")->trigger();
}
} // namespace

void TestFonts::startUpAppliesTheDefaults()
{
    StationFixture f;
    for (QWidget *button : f.window().buttonFontControls()) {
        QCOMPARE(button->font().family(), QString("Helvetica"));
        QCOMPARE(button->font().pointSize(), 12);
        QVERIFY(!button->font().bold());
    }
    for (QWidget *frame : f.window().labelFontControls())
        QCOMPARE(frame->font().pointSize(), 8);
}

void TestFonts::dialogIsPreloadedWithTheStoredFont()
{
    StationFixture f;
    f.state().Fonts.FntName[2] = "DejaVu Serif";
    f.state().Fonts.FntSize[2] = 9;
    f.state().Fonts.FntItalic[2] = true;
    f.window().menuItem("Charactersl")->trigger();
    QCOMPARE(f.dialogs.fontRequests.size(), 1);
    const Dialogs::FontChoice &asked = f.dialogs.fontRequests.first();
    QCOMPARE(asked.name, QString("DejaVu Serif"));
    QCOMPARE(asked.pointSize, 9.0);
    QVERIFY(!asked.bold);
    QVERIFY(asked.italic);
}

void TestFonts::chosenSizeIsRoundedHalfToEven_data()
{
    QTest::addColumn<double>("chosen");
    QTest::addColumn<int>("stored");
    QTest::newRow("10.5") << 10.5 << 10;
    QTest::newRow("11.5") << 11.5 << 12;
    QTest::newRow("13.4") << 13.4 << 13;
    QTest::newRow("14") << 14.0 << 14;
}

void TestFonts::chosenSizeIsRoundedHalfToEven()
{
    QFETCH(double, chosen);
    QFETCH(int, stored);
    StationFixture f;
    chooseButtonsFont(f, {"DejaVu Sans", chosen, true, false});
    QCOMPARE(f.state().Fonts.FntName[1], QString("DejaVu Sans"));
    QCOMPARE(int(f.state().Fonts.FntSize[1]), stored);
    QVERIFY(f.state().Fonts.FntBold[1]);
    QVERIFY(!f.state().Fonts.FntItalic[1]);
    // Applied at once to all ten buttons, not saved by itself.
    for (QWidget *button : f.window().buttonFontControls()) {
        QCOMPARE(button->font().family(), QString("DejaVu Sans"));
        QCOMPARE(button->font().pointSize(), stored);
        QVERIFY(button->font().bold());
    }
    QVERIFY(!QFile::exists(f.state().Places.IniFile));
}

void TestFonts::cancelKeepsTheStoredFont()
{
    StationFixture f;
    chooseButtonsFont(f, {"DejaVu Sans", 14, false, true});
    f.dialogs.cancelFont = true;
    f.window().menuItem("Charactersb")->trigger();
    QCOMPARE(f.state().Fonts.FntName[1], QString("DejaVu Sans"));
    QCOMPARE(int(f.state().Fonts.FntSize[1]), 14);
    QVERIFY(f.state().Fonts.FntItalic[1]);
    for (QWidget *button : f.window().buttonFontControls()) {
        QCOMPARE(button->font().pointSize(), 14);
        QVERIFY(button->font().italic());
    }
}

void TestFonts::labelFontChangesTheFiveCaptionsOnly()
{
    StationFixture f;
    Form1 &w = f.window();
    QList<QFont> before;
    for (QWidget *other : others(w))
        before << other->font();
    QList<QFont> buttonsBefore;
    for (QWidget *button : w.buttonFontControls())
        buttonsBefore << button->font();

    f.dialogs.cancelFont = false;
    f.dialogs.fontAnswer = {"DejaVu Serif", 15, true, true};
    w.menuItem("Charactersl")->trigger();

    const QList<QWidget *> frames = w.labelFontControls();
    QCOMPARE(frames.size(), 5);
    for (QWidget *frame : frames) {
        QCOMPARE(frame->font().family(), QString("DejaVu Serif"));
        QCOMPARE(frame->font().pointSize(), 15);
        QVERIFY(frame->font().bold() && frame->font().italic());
    }
    for (int i = 0; i < before.size(); ++i)
        QCOMPARE(others(w).at(i)->font(), before.at(i));
    for (int i = 0; i < buttonsBefore.size(); ++i)
        QCOMPARE(w.buttonFontControls().at(i)->font(), buttonsBefore.at(i));
}

// Each frame's border passes behind its caption: a larger label font moves the border down and
// widens the gap the caption leaves in it. A frame without a caption has its border at its top.
void TestFonts::bordersFollowTheLabelFont()
{
    StationFixture f;
    Form1 &w = f.window();
    auto *frame = qobject_cast<CaptionFrame *>(w.Frame(3));
    QVERIFY(frame);
    const QRgb dark = frame->palette().color(QPalette::Mid).rgb();
    // The border's top line (found at the frame's right), whether it runs left of the caption,
    // and where it runs again after the caption's clear space, which starts at x = 5.
    const auto border = [dark](QWidget *widget) {
        const QImage image = widget->grab().toImage();
        int row = 0;
        while (row < image.height() - 1 && image.pixel(image.width() - 3, row) != dark)
            ++row;
        int x = 5;
        while (x < image.width() && image.pixel(x, row) != dark)
            ++x;
        return std::tuple{row, x, image.pixel(2, row) == dark};
    };
    const auto [row, gapEnd, left] = border(frame);
    QVERIFY(row > 0 && left);
    QVERIFY(gapEnd > 5 + QFontMetrics(frame->font()).horizontalAdvance(frame->title()));

    f.dialogs.cancelFont = false;
    f.dialogs.fontAnswer = {"DejaVu Serif", 15, true, true};
    w.menuItem("Charactersl")->trigger();
    const auto [newRow, newGapEnd, newLeft] = border(frame);
    QVERIFY(newRow > row && newLeft);
    QCOMPARE(newRow, frame->borderTop());
    QVERIFY(newGapEnd > gapEnd);
    QCOMPARE(std::get<0>(border(w.Frame(5))), 0);
    QCOMPARE(std::get<1>(border(w.Frame(5))), 5);
}

void TestFonts::fontsComeBackAfterARestart()
{
    QTemporaryDir keep;
    QString ini;
    {
        StationFixture f;
        chooseButtonsFont(f, {"DejaVu Sans Mono", 11, false, true});
        f.window().menuItem("Exit")->trigger();
        ini = f.state().Places.IniFile;
        QVERIFY(QFile::copy(ini, keep.filePath("vocta.ini")));
    }
    StationFixture g(false);
    QVERIFY(QFile::copy(keep.filePath("vocta.ini"), g.programDir() + "/vocta.ini"));
    g.station->Form_Load();
    for (QWidget *button : g.window().buttonFontControls()) {
        QCOMPARE(button->font().family(), QString("DejaVu Sans Mono"));
        QCOMPARE(button->font().pointSize(), 11);
        QVERIFY(button->font().italic());
    }
}

void TestFonts::realDialogHandsBackAnUntouchedFont_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("size");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("italic");
    QTest::newRow("upright Sans 14") << "DejaVu Sans" << 14.0 << false << false;
    QTest::newRow("bold Sans 12") << "DejaVu Sans" << 12.0 << true << false;
    QTest::newRow("oblique Sans 10") << "DejaVu Sans" << 10.0 << false << true;
    QTest::newRow("upright Serif 9") << "DejaVu Serif" << 9.0 << false << false;
    QTest::newRow("bold italic Serif 16") << "DejaVu Serif" << 16.0 << true << true;
    QTest::newRow("bold oblique Mono 11") << "DejaVu Sans Mono" << 11.0 << true << true;
    QTest::newRow("Helvetica, not installed") << "Helvetica" << 12.0 << false << false;
}

void TestFonts::realDialogHandsBackAnUntouchedFont()
{
    QFETCH(QString, name);
    QFETCH(double, size);
    QFETCH(bool, bold);
    QFETCH(bool, italic);
    QtDialogs dialogs;
    QString shownStyle;
    onFontDialog([&](QFontDialog *dialog) {
        shownStyle = QFontDatabase::styleString(dialog->currentFont());
    });
    const Dialogs::FontChoice chosen = dialogs.chooseFont({name, size, bold, italic});
    QCOMPARE(chosen.name, name);
    QCOMPARE(chosen.pointSize, size);
    QCOMPARE(chosen.bold, bold);
    QCOMPARE(chosen.italic, italic);
    // The dialog showed the stored font's own style, slanted only if the font is.
    const bool slanted = shownStyle.contains("Italic") || shownStyle.contains("Oblique");
    if (name != "Helvetica")
        QVERIFY2(slanted == italic && shownStyle.contains("Bold") == bold, qPrintable(shownStyle));
}

void TestFonts::realDialogHandsBackAChangedSize()
{
    QtDialogs dialogs;
    onFontDialog([](QFontDialog *dialog) {
        // The operator types another size and leaves the rest.
        for (QLineEdit *edit : dialog->findChildren<QLineEdit *>()) {
            if (!edit->isReadOnly())
                edit->setText("20");
        }
    });
    const Dialogs::FontChoice chosen = dialogs.chooseFont({"DejaVu Sans", 14, false, false});
    QCOMPARE(chosen.name, QString("DejaVu Sans"));
    QCOMPARE(chosen.pointSize, 20.0);
    QVERIFY(!chosen.bold);
    QVERIFY(!chosen.italic);
}

QTEST_MAIN(TestFonts)
#include "tst_fonts.moc"
