// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/FakeDialogs.h"
#include "tests/support/FakeSoundPlayer.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/StationFixture.h"
#include "tests/support/StderrCapture.h"

#include "ptt/QtSerialLines.h"
#include "ptt/SerialDevices.h"
#include "ui/ComSet.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>

#include <QSignalSpy>
#include <QTest>

#include <termios.h>

// Port numbers and devices, and the real port layer on devices that are absent, refused, or
// pseudo-terminals.
class TestSerialLines : public QObject
{
    Q_OBJECT

private slots:
    void deviceOrder_data();
    void deviceOrder();
    void portNumbers();
    void openingFails_data();
    void openingFails();
    void pseudoTerminalOpensAndSaysOnceThatItHasNoLines();
    void releasedPortKeepsItsLines();
    void hangUpFollowsTheReceiveLevels_data();
    void hangUpFollowsTheReceiveLevels();
    void comDialogSetsTheHangUpFlag();
    void portThatGoesAway();
    void stationKeysThroughAPseudoTerminal_data();
    void stationKeysThroughAPseudoTerminal();
};

void TestSerialLines::deviceOrder_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("devices");

    QTest::newRow("none") << QStringList{"null", "tty0", "console"} << QStringList{};
    QTest::newRow("built-in only")
        << QStringList{"ttyS1", "ttyS0", "ttyS10", "ttyS2"}
        << QStringList{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS10"};
    QTest::newRow("adapters first")
        << QStringList{"ttyS0", "ttyACM0", "ttyUSB10", "ttyS1", "ttyUSB2", "ttyUSB0"}
        << QStringList{"/dev/ttyUSB0", "/dev/ttyUSB2", "/dev/ttyUSB10",
                       "/dev/ttyACM0", "/dev/ttyS0",   "/dev/ttyS1"};
    QTest::newRow("other names left out")
        << QStringList{"ttyUSB", "ttyUSBx", "ttyS1a", "tty1", "ttySAC0", "ttyACM3", "ttyS-1"}
        << QStringList{"/dev/ttyACM3"};
}

void TestSerialLines::deviceOrder()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, devices);
    QCOMPARE(SerialDevices::order(entries), devices);
}

void TestSerialLines::portNumbers()
{
    const QStringList devices{"/dev/ttyUSB0", "/dev/ttyS0"};
    QCOMPARE(SerialDevices::forPort(1, devices), QString("/dev/ttyUSB0"));
    QCOMPARE(SerialDevices::forPort(2, devices), QString("/dev/ttyS0"));
    for (int number : {-1, 0, 3, 9})
        QVERIFY(SerialDevices::forPort(number, devices).isEmpty());

    QtSerialLines lines([] { return QStringList{"/dev/ttyUSB3", "/dev/ttyS0"}; });
    QCOMPARE(lines.deviceName(1), QString("/dev/ttyUSB3"));
    QCOMPARE(lines.deviceName(3), QString());
}

void TestSerialLines::openingFails_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("path"); // a device chosen by its path

    QTest::newRow("device absent") << 1 << "9600,N,8,1"
                                   << "No such file or directory" << QString();
    QTest::newRow("number without device") << 3 << "9600,N,8,1"
                                           << "Port 3: no such device" << QString();
    QTest::newRow("number 0") << 0 << "9600,N,8,1"
                              << "Port 0: no such device" << QString();
    QTest::newRow("bad settings") << 1 << "9600,X,8,1"
                                  << "Invalid line settings: 9600,X,8,1" << QString();
    // The path replaces the port number, which names a device that could open.
    QTest::newRow("chosen device unplugged")
        << 2 << "9600,N,8,1"
        << "The serial device \"/dev/serial/by-id/usb-voicevocta-absent\" is not present"
        << "/dev/serial/by-id/usb-voicevocta-absent";
}

void TestSerialLines::openingFails()
{
    QFETCH(int, port);
    QFETCH(QString, settings);
    QFETCH(QString, error);
    QFETCH(QString, path);

    QtSerialLines lines([] { return QStringList{"/dev/ttyUSB-voicevocta-absent", "/dev/null"}; });
    lines.setPortNumber(port);
    lines.setDevicePath(path);
    lines.setSettings(settings);
    lines.setRts(true);
    QVERIFY(!lines.open());
    QVERIFY(!lines.isOpen());
    QCOMPARE(lines.errorString(), error);
    QCOMPARE(lines.rts(), std::optional<bool>(true)); // still remembered
}

void TestSerialLines::pseudoTerminalOpensAndSaysOnceThatItHasNoLines()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    QtSerialLines lines([&] { return QStringList{pty.name()}; });
    lines.setPortNumber(1);
    lines.setSettings("9600,N,8,1");
    lines.setRts(false);
    lines.setDtr(true);

    StderrCapture capture;
    QVERIFY2(lines.open(), qPrintable(lines.errorString()));
    QVERIFY(lines.isOpen());
    QCOMPARE(lines.openDevice(), pty.name());
    for (int i = 0; i < 5; ++i) {
        lines.setRts(i % 2);
        lines.setDtr(i % 2);
    }
    lines.close();
    QVERIFY(!lines.isOpen());
    QVERIFY(lines.open()); // said again once for the new opening
    lines.setRts(true);
    lines.close();
    const QByteArray said = capture.text();
    QCOMPARE(said.count('\n'), 2);
    QVERIFY2(said.startsWith("voicevocta: cannot set RTS on " + pty.name().toLocal8Bit()),
             said.constData());
    QCOMPARE(lines.rts(), std::optional<bool>(true));
    QCOMPARE(lines.dtr(), std::optional<bool>(false));
}

void TestSerialLines::releasedPortKeepsItsLines()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    const QByteArray path = pty.name().toLocal8Bit();
    // HUPCL set beforehand, as on a serial port that was never used.
    {
        const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
        termios attributes;
        QCOMPARE(::tcgetattr(fd, &attributes), 0);
        attributes.c_cflag |= HUPCL;
        QCOMPARE(::tcsetattr(fd, TCSANOW, &attributes), 0);
        ::close(fd);
    }
    StderrCapture capture; // the pseudo-terminal has no lines to set
    {
        QtSerialLines lines([&] { return QStringList{pty.name()}; });
        lines.setPortNumber(1);
        lines.setSettings("9600,N,8,1");
        QVERIFY(lines.open());
        lines.close();
    }
    // Closed without HUPCL, the last close does not drop RTS and DTR.
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    termios attributes;
    QCOMPARE(::tcgetattr(fd, &attributes), 0);
    ::close(fd);
    QVERIFY(!(attributes.c_cflag & HUPCL));
}

using Levels = SerialLines::ReceiveLevels;
Q_DECLARE_METATYPE(Levels)

void TestSerialLines::hangUpFollowsTheReceiveLevels_data()
{
    QTest::addColumn<Levels>("levels");
    QTest::addColumn<bool>("hangUp");

    const std::optional<bool> none;
    QTest::newRow("no line keys") << Levels{none, none} << true;
    QTest::newRow("RTS positive") << Levels{false, none} << true;
    QTest::newRow("DTR positive") << Levels{none, false} << true;
    QTest::newRow("both positive") << Levels{false, false} << true;
    QTest::newRow("RTS negative") << Levels{true, none} << false;
    QTest::newRow("DTR negative") << Levels{none, true} << false;
    QTest::newRow("RTS positive, DTR negative") << Levels{false, true} << false;
    QTest::newRow("both negative") << Levels{true, true} << false;
}

// The last close of a port drops its lines only when that releases every line that keys the
// transmitter: the flag is set from the receive levels as the port opens, and again whenever
// they change.
void TestSerialLines::hangUpFollowsTheReceiveLevels()
{
    QFETCH(Levels, levels);
    QFETCH(bool, hangUp);

    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    QVERIFY(pty.setHangUpOnClose(!hangUp)); // the opposite, left from an earlier use
    StderrCapture capture; // the pseudo-terminal has no lines to set
    QtSerialLines lines([&] { return QStringList{pty.name()}; });
    lines.setPortNumber(1);
    lines.setSettings("9600,N,8,1");
    lines.setReceiveLevels(levels);
    QVERIFY(lines.open());
    QCOMPARE(pty.hangsUpOnClose(), std::optional<bool>(hangUp));

    // A change while the port is open acts at once; one that changes nothing leaves it.
    const Levels other = hangUp ? Levels{true, false} : Levels{false, std::nullopt};
    lines.setReceiveLevels(other);
    QCOMPARE(pty.hangsUpOnClose(), std::optional<bool>(!hangUp));
    lines.setReceiveLevels(levels);
    lines.setReceiveLevels(levels);
    QCOMPARE(pty.hangsUpOnClose(), std::optional<bool>(hangUp));
    QCOMPARE(lines.receiveLevels(), levels);
}

// The operator's choices in the COM dialog reach the flag of the open port at once.
void TestSerialLines::comDialogSetsTheHangUpFlag()
{
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    QVERIFY(pty.setHangUpOnClose(true)); // as on a serial port never used
    QTemporaryDir folder;
    StationFixture::populateProgramFolder(folder.path());
    FakeSoundPlayer device;
    FakeDialogs dialogs;
    QtSerialLines lines([&] { return QStringList{pty.name()}; });
    FakeSoundServer server;
    FakeAudioInput input;
    FakeSoundPlayer preview;
    VoiceVocta station(device, lines, dialogs, server, input, preview, folder.path());
    station.Form_Load();
    StderrCapture capture;

    station.window().menuItem("Parameters")->trigger();
    ComSet *dialog = station.comSet().form();
    QVERIFY(dialog);
    const auto click = [](QWidget *widget) {
        QTest::mouseClick(widget, Qt::LeftButton);
    };
    const auto hangUp = [&pty] {
        return pty.hangsUpOnClose().value_or(false) ? "hupcl" : "-hupcl";
    };

    // RTS keys with negative polarity: its receive level is high.
    click(dialog->Option2(1));
    click(dialog->Check1());
    click(dialog->Option1(0));
    click(dialog->Command1());
    QVERIFY(lines.isOpen());
    QVERIFY(dialogs.messages.isEmpty());
    QCOMPARE(hangUp(), "-hupcl");

    station.window().menuItem("Parameters")->trigger();
    click(dialog->Check1()); // RTS out of use: no line keys
    QCOMPARE(hangUp(), "hupcl");
    click(dialog->Option3(0));
    click(dialog->Check2()); // DTR positive
    QCOMPARE(hangUp(), "hupcl");
    click(dialog->Check1()); // RTS again, still negative
    QCOMPARE(hangUp(), "-hupcl");
    click(dialog->Option3(1)); // read when DTR's box is next ticked
    click(dialog->Check1()); // RTS out of use
    QCOMPARE(hangUp(), "hupcl");
    click(dialog->Check2());
    click(dialog->Check2()); // DTR again, now negative
    QCOMPARE(hangUp(), "-hupcl");
    click(dialog->Command1()); // reopened: the same
    QVERIFY(lines.isOpen());
    QCOMPARE(hangUp(), "-hupcl");

    station.window().menuItem("Exit")->trigger();
    QVERIFY(!lines.isOpen());
}

void TestSerialLines::portThatGoesAway()
{
    auto pty = std::make_unique<PseudoTerminal>();
    QVERIFY(pty->isValid());
    const QString name = pty->name();
    QtSerialLines lines([&] { return QStringList{name}; });
    lines.setPortNumber(1);
    lines.setSettings("9600,N,8,1");
    QSignalSpy vanished(&lines, &SerialLines::vanished);

    StderrCapture capture;
    QVERIFY(lines.open());
    pty.reset();
    QTRY_COMPARE(vanished.count(), 1);
    QVERIFY(!lines.isOpen());
    lines.setRts(true); // remembered only
    // It stays quiet: one report, then the port is let go.
    QTest::qWait(100);
    QCOMPARE(vanished.count(), 1);
    QVERIFY(!lines.open());
    QCOMPARE(lines.errorString(), QString("No such file or directory"));
    QVERIFY(capture.text().contains("went away"));
}

// The whole station on the real port layer, port 1 mapped to a pseudo-terminal.
void TestSerialLines::stationKeysThroughAPseudoTerminal_data()
{
    QTest::addColumn<bool>("byPath");
    QTest::newRow("port number") << false;
    // The lasting name replaces the number, which names no device here.
    QTest::newRow("device path") << true;
}

void TestSerialLines::stationKeysThroughAPseudoTerminal()
{
    QFETCH(bool, byPath);
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    QTemporaryDir folder;
    StationFixture::populateProgramFolder(folder.path());
    FakeSoundPlayer device;
    FakeDialogs dialogs;
    QtSerialLines lines([&] { return byPath ? QStringList{} : QStringList{pty.name()}; });
    FakeSoundServer server;
    FakeAudioInput input;
    FakeSoundPlayer preview;
    VoiceVocta station(device, lines, dialogs, server, input, preview, folder.path());
    station.Form_Load();
    station.state().Ptt.RtsOn = true;
    station.state().Ptt.RtsPos = true;
    station.state().Ptt.ComNum = 1;
    if (byPath)
        station.state().Ptt.SerialDevice = pty.name();

    StderrCapture capture;
    station.serialKeyer().open();
    QVERIFY(dialogs.messages.isEmpty());
    QVERIFY(lines.isOpen());
    QCOMPARE(lines.openDevice(), pty.name());
    for (int i = 0; i < 4; ++i)
        QTest::mouseClick(station.window().Command3d2(), Qt::LeftButton);
    station.window().menuItem("Exit")->trigger();
    const QByteArray said = capture.text();
    QCOMPARE(said.count("cannot set RTS"), 1);
    QVERIFY(!lines.isOpen());
    QVERIFY(!station.station().state().lock);
}

QTEST_MAIN(TestSerialLines)
#include "tst_seriallines.moc"
