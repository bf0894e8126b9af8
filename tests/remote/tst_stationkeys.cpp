// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/StationFixture.h"
#include "tests/support/WindowKeys.h"

#include "ui/RecordSet.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QTest>

// The station's keys: F1..F6 as a left click on a memory, Esc as a click on the busy memory,
// Shift+F1..F6 the recorder; whatever window and control has the focus.
class TestStationKeys : public QObject
{
    Q_OBJECT

private slots:
    void keysActAsTheClick_data();
    void keysActAsTheClick();
    void escapeWhileIdleDoesNothing();
    void focusedMemoryButtonStartsOnce_data();
    void focusedMemoryButtonStartsOnce();
    void spaceAndEnterKeepTheirMeaning();
    void heldKeyActsOnce_data();
    void heldKeyActsOnce();
    void keysWorkFromEveryWindow_data();
    void keysWorkFromEveryWindow();
    void shiftOpensTheRecorderForTheMemory();
    void keysWithCtrlOrAltAreNotTheStations();
};

namespace {

// What an operator sees of the station, and what the device was told.
struct Seen
{
    int playing;
    int curMem;
    QList<int> faces;
    int panelFace;
    QString caption;
    QStringList device;
    bool refusal;
    bool onAir;
    bool repeatWait;
    bool operator==(const Seen &) const = default;
};

Seen seen(StationFixture &f)
{
    Seen s{f.now().playing(),
           f.now().memory,
           {},
           f.face(f.window().Panel3d1()),
           f.window().Panel3d1()->text(),
           f.device.log,
           !f.window().Picture1()->isHidden(),
           f.onAirPictureShown(),
           f.now().stage == Stage::RepeatWait};
    for (int i = 0; i < 6; ++i)
        s.faces << f.face(f.memory(i));
    // Each station has its own program folder.
    s.device.replaceInStrings(f.programDir(), QStringLiteral("<folder>"));
    return s;
}

QByteArray describe(const Seen &s)
{
    QStringList faces;
    for (int face : s.faces)
        faces << QString::number(face);
    return QStringLiteral("Playing %1, CurMem %2, faces %3, panel %4 \"%5\", device [%6], "
                          "refusal %7, on air %8, repeat wait %9")
        .arg(s.playing)
        .arg(s.curMem)
        .arg(faces.join(' '))
        .arg(s.panelFace)
        .arg(s.caption, s.device.join(", "))
        .arg(s.refusal)
        .arg(s.onAir)
        .arg(s.repeatWait)
        .toUtf8();
}

} // namespace

// Every key in every player state does what the mouse does with the same memory: start, stop,
// or the refusal face.
void TestStationKeys::keysActAsTheClick_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("key"); // an F-key, or Esc
    QTest::addColumn<int>("clicked"); // the memory the mouse clicks instead

    const int current = 2; // memory 3, F3
    const int other = 4; // memory 5, F5
    for (const auto &[name, state] :
         {std::pair{"idle", Stage::Idle}, std::pair{"playing", Stage::Playing},
          std::pair{"repeat wait", Stage::RepeatWait}}) {
        QTest::addRow("%s, F3 on the current memory", name)
            << int(state) << int(Qt::Key_F3) << current;
        QTest::addRow("%s, F5 on another memory", name) << int(state) << int(Qt::Key_F5) << other;
        if (state != Stage::Idle)
            QTest::addRow("%s, Esc", name) << int(state) << int(Qt::Key_Escape) << current;
    }
}

void TestStationKeys::keysActAsTheClick()
{
    QFETCH(int, state);
    QFETCH(int, key);
    QFETCH(int, clicked);
    const int current = 2;

    StationFixture byMouse;
    byMouse.enter(Stage(state), current);
    byMouse.clickMemory(clicked);

    StationFixture byKey;
    byKey.enter(Stage(state), current);
    showActive(byKey);
    press(Qt::Key(key));

    const Seen mouse = seen(byMouse);
    const Seen keys = seen(byKey);
    QVERIFY2(keys == mouse, describe(keys) + "\nthe mouse: " + describe(mouse));
}

void TestStationKeys::escapeWhileIdleDoesNothing()
{
    StationFixture f;
    f.enter(Stage::Idle, 1);
    showActive(f);
    const Seen before = seen(f);
    press(Qt::Key_Escape);
    QCOMPARE(seen(f), before);
    QVERIFY(f.window().Picture1()->isHidden());
}

// The key reaches the station once, whichever memory button has the focus.
void TestStationKeys::focusedMemoryButtonStartsOnce_data()
{
    QTest::addColumn<int>("focused");
    QTest::newRow("the memory's own button") << 0;
    QTest::newRow("another memory's button") << 3;
}

void TestStationKeys::focusedMemoryButtonStartsOnce()
{
    QFETCH(int, focused);
    StationFixture f;
    showActive(f);
    f.memory(focused)->setFocus();
    QCOMPARE(QApplication::focusWidget(), f.memory(focused));
    f.device.clearLog();

    press(Qt::Key_F1);
    QCOMPARE(f.now().playing(), 1);
    QCOMPARE(f.now().memory, 0);
    QCOMPARE(f.device.commands(), (QStringList{"Close", "Open", "Prepare", "Play"}));
    QVERIFY(f.onAirPictureShown());
    QCOMPARE(QApplication::focusWidget(), f.memory(focused));

    press(Qt::Key_F1);
    QCOMPARE(f.now().playing(), 0);
    QCOMPARE(f.device.commands(),
             (QStringList{"Close", "Open", "Prepare", "Play", "Stop", "Rewind"}));
}

// Space clicks the focused button and Enter does what it did before: the keys are the
// toolkit's, not the station's.
void TestStationKeys::spaceAndEnterKeepTheirMeaning()
{
    StationFixture f;
    showActive(f);

    f.memory(2)->setFocus();
    press(Qt::Key_Return);
    press(Qt::Key_Enter);
    QCOMPARE(f.now().playing(), 0);
    press(Qt::Key_Space);
    QCOMPARE(f.now().playing(), 1);
    QCOMPARE(f.now().memory, 2);
    press(Qt::Key_Space);
    QCOMPARE(f.now().playing(), 0);

    f.window().Command3d2()->setFocus();
    press(Qt::Key_Space);
    QVERIFY(f.now().lock);
    press(Qt::Key_Return);
    QVERIFY(f.now().lock);

    f.window().Check3d1(4)->setFocus();
    press(Qt::Key_Space);
    QVERIFY(f.window().Check3d1(4)->isChecked());
}

// The repeats of a key held down neither stop nor restart the message it started, whichever way
// the window system marks them: the toolkit's repeat flag, presses without a release between
// (detectable auto-repeat), or release and press pairs with one time stamp (X11).
void TestStationKeys::heldKeyActsOnce_data()
{
    QTest::addColumn<QString>("repeats");
    QTest::newRow("flagged") << "flagged";
    QTest::newRow("presses only") << "presses";
    QTest::newRow("pairs with one time stamp") << "pairs";
}

void TestStationKeys::heldKeyActsOnce()
{
    QFETCH(QString, repeats);
    StationFixture f;
    showActive(f);
    QWidget *focus = QApplication::focusWidget();
    const auto send = [focus](QEvent::Type type, bool flagged, quint64 time) {
        QKeyEvent key(type, Qt::Key_F2, Qt::NoModifier, QString(), flagged);
        key.setTimestamp(time);
        QApplication::sendEvent(focus, &key);
        return key.isAccepted();
    };
    quint64 time = 5000;
    send(QEvent::KeyPress, false, time);
    for (int i = 0; i < 5; ++i) {
        time += 33;
        if (repeats == "pairs")
            send(QEvent::KeyRelease, false, time);
        QVERIFY(send(QEvent::KeyPress, repeats == "flagged", time));
    }
    send(QEvent::KeyRelease, false, time + 40);
    QCOMPARE(f.now().playing(), 1);
    QCOMPARE(f.now().memory, 1);
    QCOMPARE(f.device.commands().count("Play"), 1);

    // Pressed again, it stops its message.
    send(QEvent::KeyPress, false, time + 300);
    QCOMPARE(f.now().playing(), 0);
}

// The keys reach the station from each dialog of the program too. Esc stops what plays first;
// with nothing playing, it does in the dialog what it always did there.
void TestStationKeys::keysWorkFromEveryWindow_data()
{
    QTest::addColumn<QString>("menu");
    for (const char *menu : {"Parameters", "Sound", "Ptt", "Network", "Record", "About"})
        QTest::newRow(menu) << QString(menu);
}

void TestStationKeys::keysWorkFromEveryWindow()
{
    QFETCH(QString, menu);
    StationFixture f;
    showActive(f);
    f.window().menuItem(menu)->trigger();
    QWidget *dialog = nullptr;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window != &f.window() && window->isVisible() && qobject_cast<QDialog *>(window))
            dialog = window;
    }
    QVERIFY(dialog);
    dialog->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), dialog);

    press(Qt::Key_F2);
    QCOMPARE(f.now().playing(), 1);
    QCOMPARE(f.now().memory, 1);
    press(Qt::Key_Escape);
    QCOMPARE(f.now().playing(), 0);
    QVERIFY(dialog->isVisible());
    press(Qt::Key_F5, Qt::ShiftModifier);
    RecordSet *recorder = f.station->recordSet().form();
    QVERIFY(recorder && recorder->isVisible());
    QCOMPARE(recorder->Combo1()->currentIndex(), 4);

    dialog->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), dialog);
    QPointer<QWidget> shown = dialog;
    press(Qt::Key_Escape);
    QVERIFY(!shown || !shown->isVisible());
    QCOMPARE(f.now().playing(), 0);
}

void TestStationKeys::shiftOpensTheRecorderForTheMemory()
{
    StationFixture f;
    showActive(f);
    f.memory(0)->setFocus();
    press(Qt::Key_F4, Qt::ShiftModifier);
    RecordSet *recorder = f.station->recordSet().form();
    QVERIFY(recorder);
    QVERIFY(recorder->isVisible());
    QCOMPARE(recorder->Combo1()->currentIndex(), 3);
    QCOMPARE(f.now().playing(), 0);

    // Again, for another memory, with the dialog open.
    f.window().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f.window()));
    press(Qt::Key_F6, Qt::ShiftModifier);
    QCOMPARE(f.station->recordSet().form(), recorder);
    QCOMPARE(recorder->Combo1()->currentIndex(), 5);
    QCOMPARE(f.now().playing(), 0);
    QVERIFY(f.window().Picture1()->isHidden());
}

void TestStationKeys::keysWithCtrlOrAltAreNotTheStations()
{
    StationFixture f;
    showActive(f);
    press(Qt::Key_F1, Qt::ControlModifier);
    press(Qt::Key_F1, Qt::AltModifier);
    press(Qt::Key_F7);
    press(Qt::Key_Escape, Qt::ShiftModifier);
    QCOMPARE(f.now().playing(), 0);
    QVERIFY(!f.station->recordSet().form());
    QVERIFY(f.window().Picture1()->isHidden());
}

QTEST_MAIN(TestStationKeys)
#include "tst_stationkeys.moc"
