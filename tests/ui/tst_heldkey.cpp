// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/StationFixture.h"
#include "tests/support/XServer.h"

#include <QApplication>
#include <QKeyEvent>
#include <QProcess>
#include <QTest>

// A key held on a real X server, which repeats it as an operator's keyboard does: the station
// keys once when it goes down, and nothing more until the message ends.
class TestHeldKey : public QObject
{
    Q_OBJECT

private slots:
    void heldF1KeysOnce();
};

namespace {

// Counts the presses and releases of F1 and F9 that reach the program's windows.
class KeyCount : public QObject
{
public:
    KeyCount() { qApp->installEventFilter(this); }
    int f1Presses = 0;
    int f9Releases = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!watched->isWindowType())
            return false;
        if (event->type() == QEvent::KeyPress
            && static_cast<QKeyEvent *>(event)->key() == Qt::Key_F1)
            ++f1Presses;
        if (event->type() == QEvent::KeyRelease
            && static_cast<QKeyEvent *>(event)->key() == Qt::Key_F9)
            ++f9Releases;
        return false;
    }
};

bool xdotool(const QStringList &arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

} // namespace

void TestHeldKey::heldF1KeysOnce()
{
    StationFixture f;
    f.keyThroughRts();
    f.lines.clearLogs();
    f.window().show();
    f.window().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f.window(), 20000));
    KeyCount count;

    QVERIFY2(xdotool({"keydown", "F1"}), "xdotool is needed");
    QTest::qWait(3000); // the operator holds the key
    QVERIFY(xdotool({"keyup", "F1"}));
    // A key of no meaning after it: once its release is here, so is everything of F1.
    QVERIFY(xdotool({"key", "F9"}));
    QTRY_VERIFY_WITH_TIMEOUT(count.f9Releases > 0, 60000);

    QVERIFY2(count.f1Presses > 10, "the X server did not repeat the held key");
    QCOMPARE(f.lines.wire, QStringList{"RTS 1"});
    QCOMPARE(f.device.commands().count("Play"), 1);
    QCOMPARE(f.now().playing(), 1);

    f.device.finish();
    QCOMPARE(f.lines.wire, (QStringList{"RTS 1", "RTS 0"}));
}

int main(int argc, char *argv[])
{
    XServer server;
    if (!server.running()) {
        std::fputs("tst_heldkey: Xvfb did not start\n", stderr);
        return 1;
    }
    QApplication application(argc, argv);
    TestHeldKey test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_heldkey.moc"
