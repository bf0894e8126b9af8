// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/StationFixture.h"

#include "ui/PictureButton.h"
#include "ui/PictureFile.h"
#include "ui/PictureReadAhead.h"
#include "ui/StandardIcon.h"
#include "ui/TransportBar.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QSlider>
#include <QStyleFactory>
#include <QTest>
#include <QToolButton>

namespace {
// Counts the paint events of every widget of a window.
class PaintCount : public QObject
{
public:
    explicit PaintCount(QWidget *window)
    {
        for (QWidget *widget : window->findChildren<QWidget *>())
            widget->installEventFilter(this);
    }
    QHash<QObject *, int> paints;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints[watched];
        return false;
    }
};
} // namespace

// The main window's controls: names, places, captions and tooltips, menus and focus order.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controlGeometry_data();
    void controlGeometry();
    void clientAreaIsFixed();
    void repeatBoxesLineUpWithTheirMemories();
    void frontControlsAreDrawnOverTheirFrames();
    void transportFrameHidesThePictureFramesLowerEdge();
    void menus_data();
    void menus();
    void menuItemsWithoutActionDoNothing();
    void focusOrder();
    void deferredIconsDrawTheStylesIcons();
    void transportBarFollowsTheDevice();
    void transportButtonsRaiseTheirEventsFirst();
    void playingRepaintsOnlyWhatChanges();
    void numberCaptionsLookAsTextDoes();
    void picturesReadAheadAreTheOnesRead();

private:
    StationFixture *m_f = nullptr;
};

void TestMainWindow::init()
{
    m_f = new StationFixture;
}

void TestMainWindow::cleanup()
{
    delete m_f;
    m_f = nullptr;
}

void TestMainWindow::controlGeometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("twips"); // left, top, width, height
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("toolTip");

    const QString memTip = "Left Button Starts Play/Right Button To Enter File Name";
    auto row = [](const char *name, const char *container, QRect twips, const char *caption = "",
                  const QString &tip = QString()) {
        QTest::newRow(name) << QString(name) << QString(container) << twips << QString(caption)
                            << tip;
    };
    row("Frame1", "centralwidget", {0, 120, 855, 4695}, "Memory");
    row("Frame2", "centralwidget", {840, 120, 735, 4695}, "Repeat");
    row("Frame3", "centralwidget", {1560, 120, 4215, 975}, "Status");
    row("Frame4", "centralwidget", {1560, 1080, 4215, 975}, "Repeat Delay");
    row("Frame5", "centralwidget", {1560, 2040, 2895, 2175});
    row("Frame6", "centralwidget", {4440, 2040, 1335, 2775}, "PTT Controls", "PTT Management");
    row("Frame7", "centralwidget", {1560, 4080, 2895, 735});
    const int memTops[] = {360, 1080, 1800, 2520, 3240, 3960};
    const int boxTops[] = {480, 1200, 1920, 2640, 3360, 4080};
    for (int i = 0; i < 6; ++i) {
        const QByteArray mem = "Command3d1_" + QByteArray::number(i);
        QTest::newRow(mem) << QString(mem) << "Frame1" << QRect(120, memTops[i], 615, 615)
                           << QString::number(i + 1) << memTip;
        const QByteArray box = "Check3d1_" + QByteArray::number(i);
        // Box 0 lies in the "Repeat" frame, the others on the window over it.
        if (i == 0)
            QTest::newRow(box) << QString(box) << "Frame2" << QRect(240, 360, 255, 255) << QString()
                               << QString();
        else
            QTest::newRow(box) << QString(box) << "centralwidget"
                               << QRect(1080, boxTops[i], 255, 255) << QString() << QString();
    }
    row("Panel3d1", "Frame3", {120, 240, 1095, 615}, "Idle");
    row("Gauge1", "Frame3", {1320, 360, 2655, 375});
    row("Panel3d2", "Frame4", {120, 240, 1095, 615}, " 4.5", "Click To Store The Repeat Delay");
    row("HScroll1", "Frame4", {1200, 360, 2895, 510}, "", "Repeat Delay");
    row("Command3d2", "Frame6", {120, 360, 1095, 615}, "Lock",
        "PTT Lock/Unlock. When Locked The PTT Will Stay Asserted.");
    row("Command3d3", "Frame6", {120, 1200, 1095, 615}, "StdBy",
        "Disables Under Any Condition The PTT");
    row("Picture1", "Frame6", {480, 1920, 495, 495});
    row("MMControl1", "centralwidget", {1680, 4200, 2655, 495});
}

void TestMainWindow::controlGeometry()
{
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, twips);
    QFETCH(QString, caption);
    QFETCH(QString, toolTip);

    QWidget *control = m_f->window().findChild<QWidget *>(name);
    QVERIFY2(control, qPrintable(name));
    QCOMPARE(control->parentWidget()->objectName(), container);
    const QRect pixels(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15);
    QCOMPARE(control->geometry(), pixels);
    if (auto *button = qobject_cast<QAbstractButton *>(control))
        QCOMPARE(button->text(), caption);
    else if (auto *frame = qobject_cast<QGroupBox *>(control))
        QCOMPARE(frame->title(), caption);
    QCOMPARE(control->toolTip(), toolTip);
    QCOMPARE(control->isHidden(), name == "Picture1");
    QVERIFY(control->isEnabled());
}

void TestMainWindow::clientAreaIsFixed()
{
    Form1 &w = m_f->window();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.centralWidget()->size(), QSize(386, 321));
    QCOMPARE(w.windowTitle(), QString("Voice Vocta"));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    w.resize(600, 500);
    QCOMPARE(w.centralWidget()->size(), QSize(386, 321));
}

void TestMainWindow::repeatBoxesLineUpWithTheirMemories()
{
    Form1 &w = m_f->window();
    for (int i = 0; i < 6; ++i) {
        const QPoint box = w.Check3d1(i)->mapTo(&w, QPoint(0, 0));
        const QPoint memory = w.Command3d1(i)->mapTo(&w, QPoint(0, 0));
        QCOMPARE(box.y(), memory.y());
        QCOMPARE(box.x(), w.Check3d1(0)->mapTo(&w, QPoint(0, 0)).x());
    }
}

void TestMainWindow::frontControlsAreDrawnOverTheirFrames()
{
    Form1 &w = m_f->window();
    QWidget *central = w.centralWidget();
    const QObjectList &order = central->children();
    const auto position = [&](QObject *o) {
        return order.indexOf(o);
    };
    for (int i = 1; i < 6; ++i)
        QVERIFY(position(w.Check3d1(i)) > position(w.Frame(2)));
    QVERIFY(position(w.MMControl1()) > position(w.Frame(7)));
    QVERIFY(position(w.Frame(7)) > position(w.Frame(5)));
}

void TestMainWindow::transportFrameHidesThePictureFramesLowerEdge()
{
    Form1 &w = m_f->window();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QImage image = w.centralWidget()->grab().toImage();
    const QRect frame7 = w.Frame(7)->geometry();
    const QRect bar = w.MMControl1()->geometry();
    // The picture frame's lower edge (client rows 279 and 280) lies inside the transport frame.
    QCOMPARE(w.Frame(5)->geometry().bottom(), 280);
    QVERIFY(frame7.contains(frame7.left() + 2, 279));

    // Inside the transport frame's border, wherever the transport bar does not cover it, those
    // rows show the frame's plain face, as the rows above them do.
    const QRgb face = image.pixel(frame7.left() + 4, frame7.top() + 4);
    for (int y : {279, 280}) {
        for (int x = frame7.left() + 2; x <= frame7.right() - 2; ++x) {
            if (bar.contains(x, y))
                continue;
            QVERIFY2(image.pixel(x, y) == face, qPrintable(QString("at %1, %2").arg(x).arg(y)));
        }
    }
}

void TestMainWindow::menus_data()
{
    QTest::addColumn<QStringList>("path"); // captions from the menu bar down
    QTest::addColumn<QString>("name");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::newRow("Exit") << QStringList{"File", "Exit"} << "Exit" << QKeySequence("Ctrl+E");
    QTest::newRow("Buttons") << QStringList{"Setup", "Characters", "Buttons"} << "Charactersb"
                             << QKeySequence();
    QTest::newRow("Labels") << QStringList{"Setup", "Characters", "Labels"} << "Charactersl"
                            << QKeySequence();
    QTest::newRow("Parameters") << QStringList{"Setup", "Com", "Parameters"} << "Parameters"
                                << QKeySequence();
    QTest::newRow("Comauto") << QStringList{"Setup", "Com", "Connect COM automagically"}
                             << "Comauto" << QKeySequence();
    QTest::newRow("Sound") << QStringList{"Setup", "Sound..."} << "Sound" << QKeySequence();
    QTest::newRow("Ptt") << QStringList{"Setup", "PTT..."} << "Ptt" << QKeySequence();
    QTest::newRow("Network") << QStringList{"Setup", "Network..."} << "Network" << QKeySequence();
    QTest::newRow("Record") << QStringList{"Setup", "Record..."} << "Record" << QKeySequence();
    QTest::newRow("About") << QStringList{"About"} << "About" << QKeySequence();
    QTest::newRow("Help") << QStringList{"Help"} << "Help" << QKeySequence();
}

void TestMainWindow::menus()
{
    QFETCH(QStringList, path);
    QFETCH(QString, name);
    QFETCH(QKeySequence, shortcut);

    QList<QAction *> level = m_f->window().menuBar()->actions();
    QStringList barCaptions;
    for (QAction *a : level)
        barCaptions << a->text();
    QCOMPARE(barCaptions, (QStringList{"File", "Setup", "About", "Help"}));
    QStringList setupCaptions;
    for (QAction *a : m_f->window().findChild<QMenu *>("Setup")->actions())
        setupCaptions << a->text();
    QCOMPARE(setupCaptions,
             (QStringList{"Characters", "Com", "Sound...", "PTT...", "Network...", "Record..."}));

    QAction *found = nullptr;
    for (const QString &caption : path) {
        found = nullptr;
        for (QAction *a : level) {
            if (a->text() == caption)
                found = a;
        }
        QVERIFY2(found, qPrintable(caption));
        if (found->menu())
            level = found->menu()->actions();
    }
    QCOMPARE(found->objectName(), name);
    QCOMPARE(found->shortcut(), shortcut);
    QVERIFY(found->isEnabled());
    QVERIFY(found->isVisible());
    QVERIFY(!found->isChecked());
}

void TestMainWindow::menuItemsWithoutActionDoNothing()
{
    StationFixture &f = *m_f;
    f.device.clearLog();
    const bool wasPlaying = f.now().playing();
    for (const char *name : {"Comauto", "Help"})
        f.window().menuItem(name)->trigger();
    for (QMenu *menu : f.window().findChildren<QMenu *>())
        menu->menuAction()->trigger();
    QVERIFY(f.device.log.isEmpty());
    QVERIFY(f.dialogs.fileRequests.isEmpty());
    QVERIFY(f.dialogs.fontRequests.isEmpty());
    QCOMPARE(bool(f.now().playing()), wasPlaying);
    // No dialog was opened either.
    QVERIFY(!f.station->about().dialog());
    QVERIFY(!f.station->comSet().form());
}

void TestMainWindow::focusOrder()
{
    Form1 &w = m_f->window();
    QStringList expected;
    for (int i = 0; i < 6; ++i)
        expected << QString("Command3d1_%1").arg(i);
    for (int i = 0; i < 6; ++i)
        expected << QString("Check3d1_%1").arg(i);
    for (const char *b : {"Prev", "Play", "Pause", "Stop", "Next"})
        expected << QString("MMControl1_") + b;
    expected << "Panel3d1"
             << "Panel3d2"
             << "Command3d2"
             << "Command3d3"
             << "HScroll1";

    QStringList chain;
    QWidget *start = w.Command3d1(0);
    QWidget *current = start;
    do {
        if (current->focusPolicy() & Qt::TabFocus)
            chain << current->objectName();
        current = current->nextInFocusChain();
    } while (current != start && chain.size() < 100);
    QCOMPARE(chain.mid(0, expected.size()), expected);
}

void TestMainWindow::deferredIconsDrawTheStylesIcons()
{
    QStyle *fusion = QApplication::style();
    DeferredIconStyle style(QStyleFactory::create(fusion->name()));
    const auto image = [](const QIcon &icon, QIcon::Mode mode) {
        return icon.pixmap(QSize(16, 16), 1.0, mode).toImage();
    };
    for (const auto which : {QStyle::SP_MediaPlay, QStyle::SP_MediaSkipBackward,
                             QStyle::SP_ToolBarHorizontalExtensionButton}) {
        const QIcon deferred = style.standardIcon(which);
        const QIcon direct = fusion->standardIcon(which);
        QVERIFY(!deferred.isNull());
        for (const auto mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active})
            QCOMPARE(image(deferred, mode), image(direct, mode));
        QCOMPARE(deferred.actualSize(QSize(64, 64)), direct.actualSize(QSize(64, 64)));
    }
    // Icons a style may lack come as the style gives them, null or not.
    QCOMPARE(style.standardIcon(QStyle::SP_CustomBase).isNull(),
             fusion->standardIcon(QStyle::SP_CustomBase).isNull());
}

void TestMainWindow::transportBarFollowsTheDevice()
{
    TransportBar *bar = m_f->window().MMControl1();
    const auto enabled = [bar] {
        QString s;
        for (auto id : {TransportBar::Prev, TransportBar::Play, TransportBar::Pause,
                        TransportBar::Stop, TransportBar::Next})
            s += bar->button(id)->isEnabled() ? '1' : '0';
        return s;
    };
    // The default file is open and stopped.
    QCOMPARE(enabled(), QString("11001"));
    m_f->device.setMode(SoundPlayer::Mode::Playing);
    QCOMPARE(enabled(), QString("10111"));
    m_f->device.close();
    QCOMPARE(enabled(), QString("00000"));
}

void TestMainWindow::transportButtonsRaiseTheirEventsFirst()
{
    TransportBar *bar = m_f->window().MMControl1();
    QStringList order;
    // The window's own handler cancels every click; this one lets Play through to its command.
    connect(bar, &TransportBar::PlayClick, this, [&](bool &Cancel) {
        order << "PlayClick";
        Cancel = false;
    });
    connect(bar, &TransportBar::StopClick, this, [&](bool &Cancel) {
        order << "StopClick";
        Cancel = true;
    });
    connect(bar, &TransportBar::command, this, [&](TransportBar::ButtonId button) {
        order << (button == TransportBar::Play ? "Play" : "another command");
    });
    bar->button(TransportBar::Play)->click();
    m_f->device.setMode(SoundPlayer::Mode::Playing);
    bar->button(TransportBar::Stop)->click();
    // A cancelled button leaves the device alone.
    QCOMPARE(order, (QStringList{"PlayClick", "Play", "StopClick"}));
}

// While a message plays, the window repaints the status caption when its text changes and the
// progress bar when its filled part grows; the status reports in between (every 50 ms) repaint
// nothing, and nothing behind the caption is repainted with it.
void TestMainWindow::playingRepaintsOnlyWhatChanges()
{
    StationFixture &f = *m_f;
    f.window().show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.window()));
    f.device.nextLength = 20000;
    f.clickMemory(0);
    QTRY_COMPARE(f.device.mode(), SoundPlayer::Mode::Playing);
    QTest::qWait(50); // the click's own repaints
    PaintCount count(&f.window());
    QProgressBar *bar = f.window().Gauge1();
    QSet<QString> captions;
    QSet<int> widths;
    for (int step = 0; step < 200; ++step) { // 10 s of reports
        f.clock.advance(50);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        QCoreApplication::processEvents();
        captions.insert(f.window().Panel3d1()->text());
        widths.insert(bar->value() * bar->width() / bar->maximum());
    }
    QWidget *panel = f.window().Panel3d1();
    QCOMPARE(count.paints.value(panel), captions.size());
    QVERIFY2(count.paints.value(bar) <= widths.size(),
             qPrintable(QString::number(count.paints.value(bar))));
    // The panel and the bar cover what lies behind them: nothing else is repainted.
    for (auto it = count.paints.cbegin(); it != count.paints.cend(); ++it)
        QVERIFY2(it.key() == panel || it.key() == bar,
                 qPrintable(it.key()->objectName() + ": " + QString::number(it.value())));
}

// The status panel draws its elapsed seconds from glyphs it keeps; they look as the text drawn
// in full does, for the fonts an operator may choose, where the panel stands in the window.
void TestMainWindow::numberCaptionsLookAsTextDoes()
{
    Form1 &window = m_f->window();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    PictureButton *panel = window.Panel3d1();
    const QRect place(panel->mapTo(&window, QPoint()), panel->size());
    QFont bold = panel->font();
    bold.setBold(true);
    bold.setPointSizeF(13.5);
    QFont italic(QStringLiteral("DejaVu Serif"), 9);
    italic.setItalic(true);
    // Centred, "2.6" in this font starts half a 1/64 pixel off the grid: drawText cuts that off.
    QFont small(QStringLiteral("DejaVu Sans"), 9);
    small.setBold(true);
    for (const QFont &font : {small, panel->font(), bold, italic}) {
        panel->setFont(font);
        panel->setText(QString());
        const QImage face = window.grab(place).toImage();
        for (const QString caption : {"0.1", "12.3", "2.6", "1,1", "1047.8", "8.08", "Idle"}) {
            panel->setText(caption);
            QImage expected = face;
            QPainter painter(&expected);
            painter.setFont(font);
            painter.setPen(panel->palette().color(QPalette::ButtonText));
            painter.drawText(panel->rect().adjusted(3, 3, -3, -3),
                             Qt::AlignCenter | Qt::TextWordWrap, caption);
            painter.end();
            QVERIFY2(window.grab(place).toImage() == expected,
                     qPrintable(font.toString() + QLatin1Char(' ') + caption));
        }
    }
}

// Pictures read on a thread of their own are those read directly, taken in any order; one that
// cannot be read is null, and one taken again or never asked ahead is read when taken.
void TestMainWindow::picturesReadAheadAreTheOnesRead()
{
    const QString icon = QStringLiteral(":/images/voicevocta.png");
    const QString face = QStringLiteral(":/images/ImageList1_3.png");
    const auto same = [](const QPixmap &a, const QString &path) {
        return !a.isNull() && a.toImage() == readPicture(path).toImage();
    };
    {
        PictureReadAhead pictures({icon, ":/images/none.png", face});
        QVERIFY(same(pictures.take(face), face));
        QVERIFY(pictures.take(":/images/none.png").isNull());
        for (int i = 0; i < 2; ++i)
            QVERIFY(same(pictures.take(icon), icon));
        QVERIFY(same(pictures.take(":/images/ImageList2_1.png"), ":/images/ImageList2_1.png"));
    }
    PictureReadAhead({icon, face}); // ended with nothing taken: its thread is waited for
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
