// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/StationFixture.h"
#include "tests/support/StderrCapture.h"
#include "tests/support/TestFiles.h"

#include "settings/NetworkSettings.h"
#include "settings/ProfileText.h"
#include "ui/NetworkSet.h"
#include "ui/NetworkSetHandler.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

using namespace TestFiles;

// The "Network" section of the settings file: what it takes and refuses, that only what the
// operator chose is written, and the dialog that sets it.
class TestNetworkSettings : public QObject
{
    Q_OBJECT

private slots:
    void reading_data();
    void reading();
    void writtenOnlyWhenChosen();
    void dialogRefusesAndApplies();
};

namespace {
QString summary(const NetworkValues &v)
{
    return QStringLiteral("%1|%2|%3|%4|%5|%6")
        .arg(v.RadioInfo, v.StationName)
        .arg(v.Listen)
        .arg(NetworkSettings::interlockText(v.Interlock))
        .arg(v.PeerTimeoutS)
        .arg(NetworkSettings::roleText(v.Role));
}
} // namespace

void TestNetworkSettings::reading_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("read");
    QTest::addColumn<int>("refused"); // values not taken
    const QString defaults = "||0|off|5|run";
    QTest::newRow("missing") << QByteArray("[COM]\nNum=1\n") << defaults << 0;
    QTest::newRow("empty") << QByteArray("[Network]\nRadioInfo=\nListen= \n") << defaults << 0;
    QTest::newRow("all set") << QByteArray("[network]\nRadioInfo= 192.168.1.255:12060,logger-2:"
                                           "12061 , [fe80::1%eth0]:9\nStationName= RUN 1 \n"
                                           "Listen=12060\nInterlock=BAND\nPeerTimeoutS=60\n"
                                           "Role=Sp\n")
                             << "192.168.1.255:12060,logger-2:12061 , [fe80::1%eth0]:9|RUN 1|12060|"
                                "band|60|sp"
                             << 0;
    QTest::newRow("out of their rules")
        << QByteArray("[Network]\nRadioInfo=logger\nStationName=a\tb\nListen=65536\n"
                      "Interlock=maybe\nPeerTimeoutS=0\nRole=boss\n")
        << defaults << 6;
    QTest::newRow("addresses and ports")
        << QByteArray("[Network]\nRadioInfo=10.0.0.300:12060\nListen=12060.5\nPeerTimeoutS=61")
        << defaults << 3;
    QTest::newRow("port zero, name too long")
        << QByteArray("[Network]\nRadioInfo=host:0\nStationName=" + QByteArray(65, 'N')) << defaults
        << 2;
}

void TestNetworkSettings::reading()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, read);
    QFETCH(int, refused);
    AppState state;
    const QStringList said = NetworkSettings::read(ProfileText(file), state);
    QCOMPARE(summary(state.Network), read);
    QCOMPARE(said.size(), refused);
}

void TestNetworkSettings::writtenOnlyWhenChosen()
{
    // The defaults write nothing; a value chosen writes its key alone.
    AppState state;
    ProfileText fresh("[COM]\nNum=1\n");
    NetworkSettings::write(fresh, state, state);
    QCOMPARE(fresh.bytes(), QByteArray("[COM]\nNum=1\n"));
    AppState chosen;
    chosen.Network.Listen = 12060;
    chosen.Network.Role = StationRole::Sp;
    NetworkSettings::write(fresh, chosen, state);
    QCOMPARE(fresh.bytes(), QByteArray("[COM]\nNum=1\n\n[Network]\nListen=12060\nRole=sp\n"));

    // Through the settings file: values not taken are said, one line each, and stay in the file
    // as they were while the operator changes another.
    StationFixture f(false);
    const QByteArray edited("[Network]\nListen=abc\nRole=boss\nPeerTimeoutS=9\n");
    put(f.programDir() + "/vocta.ini", edited);
    StderrCapture capture;
    f.station->Form_Load();
    const QByteArray said = capture.text();
    QVERIFY2(said.count("[Network] ") == 2, said.constData());
    QCOMPARE(summary(f.state().Network), QString("||0|off|9|run"));
    f.state().Network.Interlock = InterlockMode::All;
    f.station->settings().WriteMem();
    QVERIFY(contents(f.state().Places.IniFile).contains(edited + "Interlock=all\n"));
}

void TestNetworkSettings::dialogRefusesAndApplies()
{
    AppState state;
    QWidget window;
    NetworkSetHandler handler(state, window);
    QSignalSpy applied(&handler, &NetworkSetHandler::applied);
    handler.Network_Click();
    NetworkSet *dialog = handler.form();
    QVERIFY(dialog && dialog->isVisible());

    // Each value out of its rules keeps the dialog open, says why, and stores nothing.
    const struct
    {
        QLineEdit *edit;
        const char *text;
        const char *reason;
    } refusals[] = {
        {dialog->RadioInfoEdit(), "192.168.1.255:12060, logger", "\"logger\" is not host:port"},
        {dialog->RadioInfoEdit(), "logger:65536", "\"logger:65536\" is not host:port"},
        {dialog->ListenEdit(), "70000", "\"70000\" is not a UDP port from 1 to 65535"},
        {dialog->StationNameEdit(), "RUN\x1b[2J", "control characters"},
    };
    for (const auto &refusal : refusals) {
        refusal.edit->setText(refusal.text);
        dialog->OkButton()->click();
        QVERIFY2(dialog->StatusLabel()->text().contains(refusal.reason),
                 qPrintable(dialog->StatusLabel()->text()));
        QVERIFY(dialog->isVisible() && applied.isEmpty() && state.Network == NetworkValues());
        refusal.edit->clear();
    }

    dialog->RadioInfoEdit()->setText(" 192.168.1.255:12060 ");
    dialog->ListenEdit()->setText("12060");
    // The host name typed: the host name it stays, whatever it becomes.
    dialog->StationNameEdit()->setText(NetworkSettings::effectiveStationName({}));
    dialog->InterlockCombo()->setCurrentIndex(1);
    dialog->RoleCombo()->setCurrentIndex(1);
    dialog->PeerTimeoutSpin()->setValue(10);
    dialog->OkButton()->click();
    QCOMPARE(applied.count(), 1);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(summary(state.Network), QString("192.168.1.255:12060||12060|band|10|sp"));
}

QTEST_MAIN(TestNetworkSettings)
#include "tst_networksettings.moc"
