// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/ptt/KeyingCallers.h"
#include "tests/support/StationFixture.h"

#include "ui/ComSet.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTest>

using namespace KeyingCallers;

// The "COM Control" dialog: its controls, loading from the shared state, the "Enabled" boxes and
// the polarity they take, the port options, "OK" and the close box.
class TestComSet : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controls_data();
    void controls();
    void windowAndFocusOrder();
    void captionsSitOnTheFrameLikeTheMainWindows_data();
    void captionsSitOnTheFrameLikeTheMainWindows();
    void loading_data();
    void loading();
    void untickedBoxLetsThePolarityBeChosenFirst();
    void tickingAgainTakesThePolarityOfTheMoment();
    void untickingReleasesAKeyedLine_data();
    void untickingReleasesAKeyedLine();
    void tickingNeverKeys_data();
    void tickingNeverKeys();
    void loadingLeavesAKeyedLineKeyed();
    void portOptionsNameTheirDevices();
    void closeBoxUnloadsWithoutOpening();
    void okOpensAndKeepsTheDialog();
    void okWithAPortThatCannotOpen();
    void escapeUnloadsLikeTheCloseBox();
    void portLayerLearnsTheReceiveLevels();

private:
    ComSet *openDialog();

    StationFixture *m_f = nullptr;
};

void TestComSet::init()
{
    m_f = new StationFixture;
}

void TestComSet::cleanup()
{
    delete m_f;
    m_f = nullptr;
}

// Setup > Com > Parameters.
ComSet *TestComSet::openDialog()
{
    m_f->window().menuItem("Parameters")->trigger();
    return m_f->station->comSet().form();
}

void TestComSet::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("twips"); // left, top, width, height
    QTest::addColumn<QString>("caption");

    auto row = [](const QString &name, const char *container, QRect twips, const QString &caption) {
        QTest::newRow(qPrintable(name)) << name << QString(container) << twips << caption;
    };
    row("Frame1", "ComSet", {120, 240, 1215, 1815}, "COM Number");
    const int tops[] = {240, 600, 960, 1320};
    for (int i = 0; i < 8; ++i)
        row(QString("Option1_%1").arg(i), "Frame1", {i < 4 ? 120 : 600, tops[i % 4], 495, 375},
            QString::number(i + 1));
    row("Frame2", "ComSet", {1440, 240, 1455, 1335}, "RTS Control");
    row("Check1", "Frame2", {120, 360, 1095, 255}, "Enabled");
    row("Option2_0", "Frame2", {120, 720, 1095, 255}, "Positive");
    row("Option2_1", "Frame2", {120, 960, 1095, 255}, "Negative");
    row("Frame3", "ComSet", {3000, 240, 1455, 1335}, "DTR Control");
    row("Check2", "Frame3", {120, 360, 1095, 255}, "Enabled");
    row("Option3_0", "Frame3", {120, 720, 1095, 255}, "Positive");
    row("Option3_1", "Frame3", {120, 960, 1095, 255}, "Negative");
    row("Command1", "ComSet", {1560, 1680, 1095, 375}, "OK");
}

void TestComSet::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, twips);
    QFETCH(QString, caption);

    ComSet *dialog = openDialog();
    QVERIFY(dialog);
    QWidget *control = dialog->findChild<QWidget *>(name);
    QVERIFY2(control, qPrintable(name));
    QCOMPARE(control->parentWidget()->objectName(), container);
    QCOMPARE(control->geometry(),
             QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
    if (auto *button = qobject_cast<QAbstractButton *>(control))
        QCOMPARE(button->text(), caption);
    else
        QCOMPARE(qobject_cast<QGroupBox *>(control)->title(), caption);
}

void TestComSet::windowAndFocusOrder()
{
    ComSet *dialog = openDialog();
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->windowTitle(), QString("COM Control"));
    QCOMPARE(dialog->size(), QSize(326, 146));
    QCOMPARE(dialog->geometry().topLeft(), QPoint(494, 152));
    // Beside the main window, which goes on working.
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->parentWidget(), &m_f->window());
    QVERIFY(m_f->window().isEnabled());

    QStringList expected;
    for (int i = 0; i < 8; ++i)
        expected << QString("Option1_%1").arg(i);
    expected << "Command1"
             << "Check1"
             << "Check2"
             << "Option2_0"
             << "Option2_1"
             << "Option3_0"
             << "Option3_1";
    QStringList chain;
    QWidget *current = dialog->Option1(0);
    do {
        if (current->focusPolicy() & Qt::TabFocus)
            chain << current->objectName();
        current = current->nextInFocusChain();
    } while (current != dialog->Option1(0) && chain.size() < 50);
    QCOMPARE(chain, expected);
}

namespace {
// Where a captioned frame draws its top border and its caption, in the frame's own pixels.
struct CaptionPlace
{
    int border = -1; // the first row of the top border
    QRect ink; // the caption's dark pixels
};

CaptionPlace captionPlace(QGroupBox *frame)
{
    const QImage image = frame->grab().toImage();
    const QRgb background = frame->palette().color(QPalette::Window).rgb();
    CaptionPlace place;
    // The top border: where the left border, followed up from the frame's middle, begins.
    for (int x = 0; x < 3; ++x) {
        int y = image.height() / 2;
        if (image.pixel(x, y) == background)
            continue;
        while (y > 0 && image.pixel(x, y - 1) != background)
            --y;
        if (place.border < 0 || y < place.border)
            place.border = y;
    }
    // The caption, above the frame's first control and inside its side borders.
    int contentTop = image.height();
    for (QWidget *control : frame->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        contentTop = std::min(contentTop, control->geometry().top());
    for (int y = 0; y < contentTop; ++y) {
        for (int x = 2; x < image.width() - 2; ++x) {
            if (qGray(image.pixel(x, y)) < 96)
                place.ink |= QRect(x, y, 1, 1);
        }
    }
    return place;
}

// How wide a text's dark pixels are when it is drawn alone, unclipped.
int inkWidth(const QFont &font, const QString &text)
{
    const QFontMetrics metrics(font);
    QImage image(metrics.horizontalAdvance(text) + 20, metrics.height() + 10,
                 QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(10, 5 + metrics.ascent(), text);
    painter.end();
    int left = image.width();
    int right = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 96) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    return right - left + 1;
}
} // namespace

void TestComSet::captionsSitOnTheFrameLikeTheMainWindows_data()
{
    QTest::addColumn<QFont>("desktopFont");
    QTest::addColumn<int>("labelSize"); // 0: the label font the program starts with
    QTest::newRow("the platform's font") << QApplication::font() << 0;
    QTest::newRow("DejaVu Sans 11") << QFont("DejaVu Sans", 11) << 0;
    QTest::newRow("small labels") << QApplication::font() << 6;
}

void TestComSet::captionsSitOnTheFrameLikeTheMainWindows()
{
    QFETCH(QFont, desktopFont);
    QFETCH(int, labelSize);
    const QFont before = QApplication::font();
    QApplication::setFont(desktopFont);
    const auto restore = qScopeGuard([&] { QApplication::setFont(before); });

    Form1 &window = m_f->window();
    window.show();
    ComSet *dialog = openDialog();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    if (labelSize > 0) {
        m_f->dialogs.cancelFont = false;
        m_f->dialogs.fontAnswer = {"DejaVu Sans", double(labelSize), false, false};
        window.menuItem("Charactersl")->trigger();
    }
    QList<QGroupBox *> frames{dialog->Frame(1), dialog->Frame(2), dialog->Frame(3)};
    for (QWidget *frame : window.labelFontControls())
        frames << qobject_cast<QGroupBox *>(frame);
    for (QGroupBox *frame : frames) {
        const CaptionPlace place = captionPlace(frame);
        const QRect ink = place.ink;
        const QString where = QString("%1 \"%2\": border at row %3, caption at %4,%5 %6x%7")
                                  .arg(frame->window()->objectName(), frame->title())
                                  .arg(place.border)
                                  .arg(ink.x())
                                  .arg(ink.y())
                                  .arg(ink.width())
                                  .arg(ink.height());
        QVERIFY2(place.border >= 0 && !ink.isEmpty(), qPrintable(where));
        // The border line runs through the caption ...
        QVERIFY2(ink.top() < place.border && place.border < ink.bottom(), qPrintable(where));
        // ... and is drawn whole, as wide as the caption drawn alone.
        QVERIFY2(ink.width() >= inkWidth(frame->font(), frame->title()) - 1, qPrintable(where));
    }
    // The options keep the desktop's font.
    QCOMPARE(dialog->Option1(0)->font(), desktopFont);
    QCOMPARE(dialog->Check1()->font(), desktopFont);
    QCOMPARE(dialog->Command1()->font(), desktopFont);
}

void TestComSet::loading_data()
{
    QTest::addColumn<bool>("rtsOn");
    QTest::addColumn<bool>("rtsPos");
    QTest::addColumn<bool>("dtrOn");
    QTest::addColumn<bool>("dtrPos");
    QTest::addColumn<int>("comNum");
    QTest::addColumn<int>("selectedPort"); // 0: none

    QTest::newRow("fresh state") << false << false << false << false << 0 << 0;
    QTest::newRow("RTS positive, port 1") << true << true << false << false << 1 << 1;
    QTest::newRow("DTR negative, port 8") << false << true << true << false << 8 << 8;
    QTest::newRow("both, port 4") << true << false << true << true << 4 << 4;
    QTest::newRow("polarity kept while disabled") << false << true << false << true << 2 << 2;
    QTest::newRow("port 9") << true << true << true << true << 9 << 0;
    QTest::newRow("port -1") << true << true << true << true << -1 << 0;
}

void TestComSet::loading()
{
    QFETCH(bool, rtsOn);
    QFETCH(bool, rtsPos);
    QFETCH(bool, dtrOn);
    QFETCH(bool, dtrPos);
    QFETCH(int, comNum);
    QFETCH(int, selectedPort);

    AppState &state = m_f->state();
    state.Ptt.RtsOn = rtsOn;
    state.Ptt.RtsPos = rtsPos;
    state.Ptt.DtrOn = dtrOn;
    state.Ptt.DtrPos = dtrPos;
    state.Ptt.ComNum = qint16(comNum);
    m_f->lines.clearLogs();
    ComSet *dialog = openDialog();

    QCOMPARE(dialog->Check1()->isChecked(), rtsOn);
    QCOMPARE(dialog->Option2(0)->isChecked(), rtsPos);
    QCOMPARE(dialog->Option2(1)->isChecked(), !rtsPos);
    QCOMPARE(dialog->Check2()->isChecked(), dtrOn);
    QCOMPARE(dialog->Option3(0)->isChecked(), dtrPos);
    QCOMPARE(dialog->Option3(1)->isChecked(), !dtrPos);
    // A box left unticked was not clicked: its options are selectable all the same.
    for (int i = 0; i < 2; ++i) {
        QVERIFY(dialog->Option2(i)->isEnabled());
        QVERIFY(dialog->Option3(i)->isEnabled());
    }
    for (int i = 0; i < 8; ++i)
        QCOMPARE(dialog->Option1(i)->isChecked(), i + 1 == selectedPort);
    // Loading changes nothing in the state, and touches no line.
    QCOMPARE(state.Ptt.RtsOn, rtsOn);
    QCOMPARE(state.Ptt.RtsPos, rtsPos);
    QCOMPARE(state.Ptt.DtrOn, dtrOn);
    QCOMPARE(state.Ptt.DtrPos, dtrPos);
    QCOMPARE(state.Ptt.ComNum, qint16(comNum));
    QVERIFY(m_f->lines.log.isEmpty());
}

void TestComSet::untickedBoxLetsThePolarityBeChosenFirst()
{
    m_f->state().Ptt.RtsPos = true;
    ComSet *dialog = openDialog();
    m_f->leftClick(dialog->Option2(1));
    QVERIFY(m_f->state().Ptt.RtsPos); // a polarity option alone does nothing
    m_f->leftClick(dialog->Check1());
    QVERIFY(m_f->state().Ptt.RtsOn);
    QVERIFY(!m_f->state().Ptt.RtsPos);

    m_f->leftClick(dialog->Option3(0));
    m_f->leftClick(dialog->Check2());
    QVERIFY(m_f->state().Ptt.DtrOn);
    QVERIFY(m_f->state().Ptt.DtrPos);
}

void TestComSet::tickingAgainTakesThePolarityOfTheMoment()
{
    AppState &state = m_f->state();
    state.Ptt.DtrOn = true;
    state.Ptt.DtrPos = true;
    ComSet *dialog = openDialog();

    m_f->leftClick(dialog->Check2()); // untick
    QVERIFY(!state.Ptt.DtrOn);
    QVERIFY(state.Ptt.DtrPos);
    QVERIFY(!dialog->Option3(0)->isEnabled());
    QVERIFY(!dialog->Option3(1)->isEnabled());
    // Greyed: a click does not reach them.
    m_f->leftClick(dialog->Option3(1));
    QVERIFY(dialog->Option3(0)->isChecked());

    m_f->leftClick(dialog->Check2()); // tick
    QVERIFY(state.Ptt.DtrOn);
    QVERIFY(dialog->Option3(1)->isEnabled());
    m_f->leftClick(dialog->Option3(1));
    QVERIFY(state.Ptt.DtrPos); // not yet taken
    m_f->leftClick(dialog->Check2());
    m_f->leftClick(dialog->Check2());
    QVERIFY(state.Ptt.DtrOn);
    QVERIFY(!state.Ptt.DtrPos);
}

void TestComSet::untickingReleasesAKeyedLine_data()
{
    QTest::addColumn<bool>("positive");
    QTest::addColumn<bool>("keyed");
    QTest::addColumn<QStringList>("wire");
    QTest::newRow("positive, keyed") << true << true << QStringList{"RTS 1", "RTS 0"};
    QTest::newRow("negative, keyed") << false << true << QStringList{"RTS 0", "RTS 1"};
    QTest::newRow("positive, released") << true << false << QStringList{"RTS 0"};
}

void TestComSet::untickingReleasesAKeyedLine()
{
    QFETCH(bool, positive);
    QFETCH(bool, keyed);
    QFETCH(QStringList, wire);
    AppState &state = m_f->state();
    state.Ptt.RtsOn = true;
    state.Ptt.RtsPos = positive;
    openPort(*m_f);
    if (keyed)
        clickLock(*m_f);
    else
        m_f->station->station().handle(StationEvents::StartUp{});
    ComSet *dialog = openDialog();
    m_f->leftClick(dialog->Check1());
    QVERIFY(!state.Ptt.RtsOn);
    QCOMPARE(state.Ptt.RtsPos, positive);
    // A line the program no longer touches is not left keying the transmitter ...
    QCOMPARE(m_f->lines.wire, wire);
    // ... and from now on nothing touches it.
    clickLock(*m_f);
    clickLock(*m_f);
    QCOMPARE(m_f->lines.wire, wire);
}

void TestComSet::tickingNeverKeys_data()
{
    QTest::addColumn<QString>("before"); // how the line came to its level
    QTest::addColumn<bool>("positive"); // the polarity it is ticked with
    QTest::addColumn<QStringList>("wire"); // what ticking the box puts on the wire

    // The port raises a line that is not in use when it opens: positive, that keys.
    QTest::newRow("raised by the opening") << "raised" << true << QStringList{"RTS 0"};
    // Released as a positive line (low), then ticked again as a negative one: low keys.
    QTest::newRow("released under the other polarity")
        << "released positive" << false << QStringList{"RTS 1"};
    // Lock keys the lines that were in use; a line ticked meanwhile waits for the next call.
    QTest::newRow("under Lock") << "lock" << true << QStringList{"RTS 0"};
}

void TestComSet::tickingNeverKeys()
{
    QFETCH(QString, before);
    QFETCH(bool, positive);
    QFETCH(QStringList, wire);
    AppState &state = m_f->state();
    ComSet *dialog = openDialog();
    if (before == "released positive") {
        m_f->leftClick(dialog->Option2(0));
        m_f->leftClick(dialog->Check1());
        openPort(*m_f);
        m_f->station->station().handle(StationEvents::StartUp{});
        // "Negative" chosen while the box is ticked counts when it is ticked again.
        m_f->leftClick(dialog->Option2(1));
        m_f->leftClick(dialog->Check1());
        QCOMPARE(m_f->lines.wire, QStringList{"RTS 0"});
    } else {
        openPort(*m_f);
        if (before == "lock")
            clickLock(*m_f);
        QVERIFY(m_f->lines.wireRts);
    }
    m_f->lines.clearLogs();

    if (dialog->Option2(0)->isEnabled())
        m_f->leftClick(dialog->Option2(positive ? 0 : 1));
    m_f->leftClick(dialog->Check1());
    QVERIFY(state.Ptt.RtsOn);
    QCOMPARE(state.Ptt.RtsPos, positive);
    QCOMPARE(m_f->lines.wire, wire);

    // The next keying call keys it.
    clickLock(*m_f);
    if (before == "lock")
        clickLock(*m_f);
    QCOMPARE(m_f->lines.wireRts, positive);
}

void TestComSet::loadingLeavesAKeyedLineKeyed()
{
    AppState &state = m_f->state();
    state.Ptt.RtsOn = true;
    state.Ptt.RtsPos = true;
    openPort(*m_f);
    clickLock(*m_f);
    m_f->lines.clearLogs();
    // Loading ticks the box of a line in use: that takes nothing into use.
    ComSet *dialog = openDialog();
    QVERIFY(dialog->Check1()->isChecked());
    QVERIFY(m_f->lines.log.isEmpty());
    QVERIFY(m_f->lines.wireRts);
}

void TestComSet::portOptionsNameTheirDevices()
{
    m_f->lines.devices = {"/dev/ttyUSB0", "/dev/ttyACM0", "/dev/ttyS0"};
    ComSet *dialog = openDialog();
    QStringList tips;
    for (int i = 0; i < 8; ++i)
        tips << dialog->Option1(i)->toolTip();
    QCOMPARE(tips, QStringList({"/dev/ttyUSB0", "/dev/ttyACM0", "/dev/ttyS0", "no device",
                                "no device", "no device", "no device", "no device"}));

    // An adapter plugged in meanwhile shows at the next opening.
    dialog->hide();
    m_f->lines.devices.insert(1, "/dev/ttyUSB1");
    QCOMPARE(openDialog(), dialog);
    QCOMPARE(dialog->Option1(1)->toolTip(), QString("/dev/ttyUSB1"));
    QCOMPARE(dialog->Option1(4)->toolTip(), QString("no device"));
}

void TestComSet::closeBoxUnloadsWithoutOpening()
{
    m_f->state().Ptt.ComNum = 1;
    ComSet *dialog = openDialog();
    QPointer<ComSet> first = dialog;
    m_f->lines.clearLogs();

    m_f->leftClick(dialog->Option1(2));
    QCOMPARE(m_f->state().Ptt.ComNum, qint16(3)); // at once
    dialog->close();
    QVERIFY(!m_f->station->comSet().form());
    QTRY_VERIFY(!first);
    QVERIFY(m_f->lines.log.isEmpty());
    QVERIFY(!m_f->lines.isOpen());

    // Loaded afresh from the shared state.
    ComSet *second = openDialog();
    QVERIFY(second);
    QVERIFY(second->isVisible());
    QVERIFY(second->Option1(2)->isChecked());
}

void TestComSet::okOpensAndKeepsTheDialog()
{
    AppState &state = m_f->state();
    state.Ptt.ComNum = 2;
    ComSet *dialog = openDialog();
    m_f->leftClick(dialog->Option2(1));
    m_f->leftClick(dialog->Check1());
    m_f->leftClick(dialog->Option1(2));
    m_f->leftClick(dialog->Command1());

    QVERIFY(m_f->lines.isOpen());
    QCOMPARE(m_f->lines.portNumber(), 3);
    QCOMPARE(m_f->lines.settings(), QString("9600,N,8,1"));
    // Opened at the receive level of a negative RTS.
    QCOMPARE(m_f->lines.wireSinceOpen(), QStringList{"RTS 1"});
    QVERIFY(dialog->isHidden());
    QCOMPARE(m_f->station->comSet().form(), dialog);
    QVERIFY(m_f->dialogs.messages.isEmpty());

    // Reopened as it was left, not loaded again from the state.
    state.Ptt.RtsOn = false;
    state.Ptt.ComNum = 5;
    QCOMPARE(openDialog(), dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->Check1()->isChecked());
    QVERIFY(dialog->Option2(1)->isChecked());
    QVERIFY(dialog->Option1(2)->isChecked());
}

void TestComSet::okWithAPortThatCannotOpen()
{
    m_f->lines.openError = "Permission denied";
    m_f->state().Ptt.ComNum = 1;
    ComSet *dialog = openDialog();
    m_f->leftClick(dialog->Command1());
    QCOMPARE(m_f->dialogs.messages, QStringList{"Permission denied"});
    QVERIFY(dialog->isHidden());
    QVERIFY(!m_f->lines.isOpen());

    // A number outside 1 to 8 selects nothing; "OK" says there is no such port.
    m_f->station->comSet().form()->close();
    m_f->state().Ptt.ComNum = 12;
    dialog = openDialog();
    m_f->leftClick(dialog->Command1());
    QCOMPARE(m_f->dialogs.messages, QStringList({"Permission denied", "Port 12: no such device"}));
    QVERIFY(dialog->isHidden());
}

void TestComSet::escapeUnloadsLikeTheCloseBox()
{
    ComSet *dialog = openDialog();
    m_f->lines.clearLogs();
    QTest::keyClick(dialog, Qt::Key_Escape);
    QVERIFY(!m_f->station->comSet().form());
    QVERIFY(m_f->lines.log.isEmpty());
}

// Every change of a line's use or polarity reaches the port layer at once, open or not, and
// only a change does.
void TestComSet::portLayerLearnsTheReceiveLevels()
{
    ComSet *dialog = openDialog();
    m_f->lines.clearLogs();
    m_f->leftClick(dialog->Option2(1));
    m_f->leftClick(dialog->Check1()); // RTS negative: released high
    m_f->leftClick(dialog->Option2(0)); // read at the next tick only
    m_f->leftClick(dialog->Option3(0));
    m_f->leftClick(dialog->Check2()); // DTR positive: released low
    m_f->leftClick(dialog->Check1()); // RTS out of use
    m_f->leftClick(dialog->Check1()); // RTS again, now positive
    m_f->leftClick(dialog->Option1(0));
    m_f->leftClick(dialog->Command1());
    QVERIFY(m_f->lines.isOpen());
    QCOMPARE(m_f->lines.receiveLog,
             QStringList({"RTS 1, DTR -", "RTS 1, DTR 0", "RTS -, DTR 0", "RTS 0, DTR 0"}));
}

QTEST_MAIN(TestComSet)
#include "tst_comset.moc"
