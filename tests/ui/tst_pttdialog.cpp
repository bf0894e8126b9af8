// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/ProfileText.h"
#include "settings/PttSettings.h"
#include "station/AppState.h"
#include "ui/Form1.h"
#include "ui/PttSet.h"
#include "ui/PttSetHandler.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

// The "PTT" dialog on fixed device lists: what it shows of the state, what OK stores, what
// Cancel and refusals leave alone, stored devices that are gone, and the defaults untouched.
class TestPttDialog : public QObject
{
    Q_OBJECT

private slots:
    void showsTheStateAndTheDevices();
    void okStoresEveryFieldOnce();
    void cancelAndCloseChangeNothing();
    void refusesWhatCannotKey();
    void absentDevicesAreMarkedAndKept();
    void defaultsRoundTripUntouched();
};

namespace {

// The PTT fields of the state, to compare.
auto pttFields(const AppState &s)
{
    return std::make_tuple(s.Ptt.PttMethod, s.Ptt.SerialDevice, s.Ptt.RigModel, s.Ptt.RigPort, s.Ptt.RigSpeed,
                           s.Ptt.Cm108Device, s.Ptt.Cm108Gpio, s.Ptt.LeadMs, s.Ptt.TailMs, s.Ptt.TimeoutS);
}

QStringList captions(const QComboBox *combo)
{
    QStringList result;
    for (int i = 0; i < combo->count(); ++i)
        result << combo->itemText(i);
    return result;
}

void choose(QComboBox *combo, const QString &caption)
{
    const int index = combo->findText(caption);
    QVERIFY2(index >= 0, qPrintable(caption));
    combo->setCurrentIndex(index);
}

// The main window with the dialog's handler on fixed lists, wired as the program wires it.
struct Station
{
    AppState state;
    Form1 window;
    QList<PttDevices::SerialName> serial{
        {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "/dev/ttyUSB0"},
        {"/dev/serial/by-id/usb-Silicon_Labs_CP2102_0001-if00-port0", "/dev/ttyUSB1"}};
    QList<PttDevices::Cm108Device> cm108{
        {"/dev/hidraw3", "C-Media Electronics Inc. USB Audio Device", 0x0d8c, 0x0012}};
    QList<PttDevices::RigModel> rigs{{3073, "Icom", "IC-7300"},
                                     {1, "Hamlib", "Dummy"},
                                     {2, "Hamlib", "NET rigctl"},
                                     {1035, "Yaesu", "FT-991"}};
    PttSetHandler handler{state, window,
                          PttSetHandler::Devices{[this] { return serial; },
                                                 [this] { return cm108; },
                                                 [this] {
                                                     return rigs;
                                                 }}};
    QSignalSpy applied{&handler, &PttSetHandler::applied};
    QSignalSpy opened{&handler, &PttSetHandler::opened};

    Station() { QObject::connect(&window, &Form1::Ptt_Click, &handler, &PttSetHandler::Ptt_Click); }

    PttSet *open()
    {
        window.menuItem("Ptt")->trigger();
        return handler.form();
    }
};

} // namespace

void TestPttDialog::showsTheStateAndTheDevices()
{
    Station st;
    st.state.Ptt.PttMethod = KeyingMethod::Cat;
    st.state.Ptt.SerialDevice = st.serial[1].path;
    st.state.Ptt.RigModel = 3073;
    st.state.Ptt.RigPort = "/dev/ttyUSB1";
    st.state.Ptt.RigSpeed = 19200;
    st.state.Ptt.LeadMs = 150;
    st.state.Ptt.TailMs = 300;
    st.state.Ptt.TimeoutS = 120;

    PttSet *dialog = st.open();
    QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
    QCOMPARE(dialog->windowTitle(), QString("PTT"));
    QCOMPARE(st.opened.size(), 1);
    QCOMPARE(dialog->MethodCombo()->currentText(), QString("CAT (hamlib)"));
    QVERIFY(dialog->CatFrame()->isEnabled());
    QVERIFY(!dialog->SerialFrame()->isEnabled() && !dialog->Cm108Frame()->isEnabled());

    QCOMPARE(captions(dialog->SerialCombo()),
             (QStringList{"COM port of the COM dialog",
                          "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 (/dev/ttyUSB0)",
                          "usb-Silicon_Labs_CP2102_0001-if00-port0 (/dev/ttyUSB1)"}));
    QCOMPARE(dialog->SerialCombo()->currentIndex(), 2);
    // Sorted by manufacturer and model.
    QCOMPARE(captions(dialog->RigModelCombo()),
             (QStringList{"Hamlib Dummy (1)", "Hamlib NET rigctl (2)", "Icom IC-7300 (3073)",
                          "Yaesu FT-991 (1035)"}));
    QCOMPARE(dialog->RigModelCombo()->currentText(), QString("Icom IC-7300 (3073)"));
    QCOMPARE(dialog->RigPortEdit()->text(), QString("/dev/ttyUSB1"));
    QCOMPARE(dialog->RigSpeedCombo()->itemText(0), QString("Rig's default"));
    QCOMPARE(dialog->RigSpeedCombo()->currentText(), QString("19200"));
    QCOMPARE(captions(dialog->Cm108Combo()),
             QStringList{"C-Media Electronics Inc. USB Audio Device (/dev/hidraw3)"});
    QCOMPARE(dialog->Cm108Combo()->currentText(), QString());
    QCOMPARE(dialog->GpioSpin()->value(), 3);
    QCOMPARE(dialog->LeadSpin()->value(), 150);
    QCOMPARE(dialog->TailSpin()->value(), 300);
    QVERIFY(dialog->TimeoutCheck()->isChecked() && dialog->TimeoutSpin()->isEnabled());
    QCOMPARE(dialog->TimeoutSpin()->value(), 120);

    // The keyer's status, said now and at the next showing; a keyer that cannot key in red.
    st.handler.setStatus("Rig not answering", false);
    QCOMPARE(dialog->StatusLabel()->text(), QString("Rig not answering"));
    QVERIFY(!dialog->StatusLabel()->styleSheet().isEmpty());
    QVERIFY(dialog->grab().save(QDir::tempPath() + "/vv-ptt-dialog.png"));

    // Choosing a method enables its group only.
    choose(dialog->MethodCombo(), "CM108 GPIO pin");
    QVERIFY(dialog->Cm108Frame()->isEnabled() && !dialog->CatFrame()->isEnabled());
    choose(dialog->MethodCombo(), "None (the rig's VOX)");
    QVERIFY(!dialog->Cm108Frame()->isEnabled() && !dialog->SerialFrame()->isEnabled());

    // Hidden and shown again: filled afresh, with the lists as they are now.
    dialog->CancelButton()->click();
    st.serial.removeFirst();
    st.handler.setStatus("Rig IC-7300 ready", true);
    QCOMPARE(st.open(), dialog);
    QCOMPARE(st.opened.size(), 2);
    QCOMPARE(dialog->MethodCombo()->currentText(), QString("CAT (hamlib)"));
    QCOMPARE(dialog->SerialCombo()->count(), 2);
    QCOMPARE(dialog->SerialCombo()->currentIndex(), 1);
    QCOMPARE(dialog->StatusLabel()->text(), QString("Rig IC-7300 ready"));
    QVERIFY(dialog->StatusLabel()->styleSheet().isEmpty());
}

void TestPttDialog::okStoresEveryFieldOnce()
{
    Station st;
    PttSet *dialog = st.open();
    choose(dialog->MethodCombo(), "CM108 GPIO pin");
    choose(dialog->SerialCombo(), "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 (/dev/ttyUSB0)");
    // A rig typed by its number, a port with blanks around it.
    dialog->RigModelCombo()->setEditText("1035");
    dialog->RigPortEdit()->setText("  shack-pi:4532 ");
    choose(dialog->RigSpeedCombo(), "115200");
    choose(dialog->Cm108Combo(), "C-Media Electronics Inc. USB Audio Device (/dev/hidraw3)");
    dialog->GpioSpin()->setValue(4);
    dialog->LeadSpin()->setValue(2500); // beyond the field's range
    dialog->TailSpin()->setValue(40);
    // Ticking the time-out offers three minutes.
    QVERIFY(!dialog->TimeoutSpin()->isEnabled());
    dialog->TimeoutCheck()->setChecked(true);
    QVERIFY(dialog->TimeoutSpin()->isEnabled());
    QCOMPARE(dialog->TimeoutSpin()->value(), 180);

    dialog->OkButton()->click();
    QCOMPARE(st.applied.size(), 1);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(pttFields(st.state),
             std::make_tuple(KeyingMethod::Cm108, st.serial[0].path, 1035, QString("shack-pi:4532"),
                             115200, QString("/dev/hidraw3"), 4, 2000, 40, 180));

    // A typed serial device is taken as it is; the first entry is the COM dialog's port.
    st.open();
    dialog->SerialCombo()->setEditText("/dev/ttyS0");
    dialog->TimeoutCheck()->setChecked(false);
    dialog->OkButton()->click();
    QCOMPARE(st.state.Ptt.SerialDevice, QString("/dev/ttyS0"));
    QCOMPARE(st.state.Ptt.TimeoutS, 0);
    st.open();
    choose(dialog->SerialCombo(), "COM port of the COM dialog");
    dialog->OkButton()->click();
    QCOMPARE(st.state.Ptt.SerialDevice, QString());
    QCOMPARE(st.applied.size(), 3);
}

void TestPttDialog::cancelAndCloseChangeNothing()
{
    Station st;
    st.state.Ptt.LeadMs = 100;
    const auto before = pttFields(st.state);
    const auto meddle = [](PttSet *dialog) {
        choose(dialog->MethodCombo(), "CAT (hamlib)");
        dialog->RigPortEdit()->setText("elsewhere:1");
        dialog->LeadSpin()->setValue(900);
        dialog->TimeoutCheck()->setChecked(true);
    };

    PttSet *dialog = st.open();
    meddle(dialog);
    dialog->CancelButton()->click();
    QVERIFY(!dialog->isVisible());
    QCOMPARE(pttFields(st.state), before);
    // The next showing shows the state, not what was left in the fields.
    st.open();
    QCOMPARE(dialog->LeadSpin()->value(), 100);
    QCOMPARE(dialog->RigPortEdit()->text(), QString("localhost:4532"));

    // The close box unloads it.
    meddle(dialog);
    dialog->close();
    QTRY_VERIFY(!st.handler.form());
    QCOMPARE(pttFields(st.state), before);
    QCOMPARE(st.applied.size(), 0);
    QCOMPARE(st.open()->LeadSpin()->value(), 100);
}

void TestPttDialog::refusesWhatCannotKey()
{
    Station st;
    const auto before = pttFields(st.state);
    PttSet *dialog = st.open();
    const auto refused = [&](const QString &why) {
        dialog->OkButton()->click();
        QVERIFY(dialog->isVisible());
        QVERIFY2(dialog->StatusLabel()->text().contains(why),
                 qPrintable(dialog->StatusLabel()->text()));
        QCOMPARE(pttFields(st.state), before);
        QCOMPARE(st.applied.size(), 0);
    };

    choose(dialog->MethodCombo(), "CAT (hamlib)");
    dialog->RigPortEdit()->setText("   ");
    refused("port");
    dialog->RigPortEdit()->setText("localhost:4532");
    dialog->RigModelCombo()->setEditText("Icom IC-9");
    refused("model");
    dialog->RigModelCombo()->setEditText("3"); // not in hamlib's list
    refused("hamlib knows no rig model 3");

    // An empty port or an unknown model of a method not chosen keeps the stored one.
    choose(dialog->MethodCombo(), "CM108 GPIO pin");
    dialog->RigPortEdit()->clear();
    refused("CM108");

    choose(dialog->MethodCombo(), "None (the rig's VOX)");
    dialog->OkButton()->click();
    QCOMPARE(st.applied.size(), 1);
    QCOMPARE(st.state.Ptt.PttMethod, KeyingMethod::None);
    QCOMPARE(st.state.Ptt.RigPort, QString("localhost:4532"));
    QCOMPARE(st.state.Ptt.RigModel, 2);
}

void TestPttDialog::absentDevicesAreMarkedAndKept()
{
    Station st;
    st.state.Ptt.PttMethod = KeyingMethod::Cm108;
    st.state.Ptt.SerialDevice = "/dev/serial/by-id/usb-gone-if00-port0";
    st.state.Ptt.Cm108Device = "/dev/hidraw-gone";
    st.state.Ptt.RigModel = 99998;
    st.state.Ptt.RigSpeed = 4000;
    const auto before = pttFields(st.state);

    PttSet *dialog = st.open();
    QCOMPARE(dialog->SerialCombo()->currentText(),
             QString("/dev/serial/by-id/usb-gone-if00-port0 (not found)"));
    QCOMPARE(dialog->Cm108Combo()->currentText(), QString("/dev/hidraw-gone (not found)"));
    QCOMPARE(dialog->RigModelCombo()->currentText(), QString("Model 99998 (not found)"));
    QCOMPARE(dialog->RigSpeedCombo()->currentText(), QString("4000"));
    dialog->OkButton()->click();
    QCOMPARE(st.applied.size(), 1);
    QCOMPARE(pttFields(st.state), before);
}

void TestPttDialog::defaultsRoundTripUntouched()
{
    Station st;
    st.rigs.clear(); // hamlib's list need not hold the default model either
    PttSet *dialog = st.open();
    QCOMPARE(dialog->MethodCombo()->currentIndex(), int(PttSet::SerialEntry));
    QCOMPARE(dialog->SerialCombo()->currentIndex(), 0);
    QVERIFY(!dialog->TimeoutCheck()->isChecked());
    dialog->OkButton()->click();
    QCOMPARE(st.applied.size(), 1);
    QCOMPARE(pttFields(st.state), pttFields(AppState()));

    ProfileText file("[COM]\nComNum=1\n");
    QVERIFY(PttSettings::write(file, st.state, AppState()).isEmpty());
    QCOMPARE(file.bytes(), QByteArray("[COM]\nComNum=1\n"));
}

QTEST_MAIN(TestPttDialog)
#include "tst_pttdialog.moc"
