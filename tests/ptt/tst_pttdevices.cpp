// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/NoKeyer.h"
#include "ptt/PttDevices.h"
#include "ptt/RigLibrary.h"
#include "ptt/RigModule.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// What the PTT dialog offers to choose from, and keying by the rig itself.
class TestPttDevices : public QObject
{
    Q_OBJECT

private slots:
    void serialAdaptersByTheirLastingNames();
    void cm108ChipsAmongTheHidDevices();
    void rigModels();
    void noKeyerIsAlwaysReadyAndKeysNothing();
};

namespace {

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

void TestPttDevices::serialAdaptersByTheirLastingNames()
{
    QTemporaryDir dir;
    const QString byId = dir.filePath("serial/by-id");
    QVERIFY(QDir().mkpath(byId));
    QVERIFY(writeFile(dir.filePath("ttyUSB1"), {}));
    QVERIFY(writeFile(dir.filePath("ttyACM0"), {}));
    QVERIFY(QFile::link("../../ttyUSB1", byId + "/usb-FTDI_FT232R_A50285BI-if00-port0"));
    QVERIFY(QFile::link("../../ttyACM0", byId + "/usb-Silicon_Labs_CP2102-if00-port0"));
    QVERIFY(QFile::link("../../ttyUSB7", byId + "/usb-gone-if00-port0")); // unplugged

    const QList<PttDevices::SerialName> names = PttDevices::serialByIdNames(byId);
    QCOMPARE(names.size(), 2);
    QCOMPARE(names[0].path, byId + "/usb-FTDI_FT232R_A50285BI-if00-port0");
    QCOMPARE(names[0].device, dir.filePath("ttyUSB1"));
    QCOMPARE(names[1].path, byId + "/usb-Silicon_Labs_CP2102-if00-port0");
    QCOMPARE(names[1].device, dir.filePath("ttyACM0"));

    QVERIFY(PttDevices::serialByIdNames(dir.filePath("none")).isEmpty());
}

void TestPttDevices::cm108ChipsAmongTheHidDevices()
{
    QTemporaryDir dir;
    const auto device = [&](const QString &name, const QByteArray &uevent) {
        return writeFile(dir.filePath("class/" + name + "/device/uevent"), uevent);
    };
    QVERIFY(device("hidraw10", "DRIVER=hid-generic\nHID_ID=0003:00000D8C:0000013C\n"
                               "HID_NAME=C-Media Electronics Inc. USB Audio Device\n"));
    QVERIFY(
        device("hidraw2", "HID_ID=0003:00000D8C:0000000C\nHID_NAME=C-Media USB Headphone Set\n"));
    QVERIFY(device("hidraw3", "HID_ID=0003:0000046D:0000C31C\nHID_NAME=Logitech Keyboard\n"));
    QVERIFY(device("hidraw4", "HID_ID=0005:00000D8C:0000000C\nHID_NAME=over Bluetooth\n"));
    QVERIFY(device("hidraw5", "HID_ID=0003:00000D8C:00000102\nHID_NAME=C-Media, no GPIO\n"));
    QVERIFY(device("hidraw6", "HID_ID=0003:00000C76:00001607\nHID_NAME=SSS USB Audio\n"));
    QVERIFY(device("hidraw7", "HID_ID=garbage\n"));
    QVERIFY(QDir().mkpath(dir.filePath("class/hidraw8"))); // no uevent
    QVERIFY(device("mouse0", "HID_ID=0003:00000D8C:0000000C\n"));

    const QList<PttDevices::Cm108Device> chips
        = PttDevices::cm108Devices(dir.filePath("class"), "/dev");
    QCOMPARE(chips.size(), 3);
    QCOMPARE(chips[0].path, QStringLiteral("/dev/hidraw2"));
    QCOMPARE(chips[0].name, QStringLiteral("C-Media USB Headphone Set"));
    QCOMPARE(chips[0].vendor, quint16(0x0d8c));
    QCOMPARE(chips[0].product, quint16(0x000c));
    QCOMPARE(chips[1].path, QStringLiteral("/dev/hidraw6"));
    QCOMPARE(chips[2].path, QStringLiteral("/dev/hidraw10"));
    QCOMPARE(chips[2].name, QStringLiteral("C-Media Electronics Inc. USB Audio Device"));

    QVERIFY(PttDevices::cm108Devices(dir.filePath("none")).isEmpty());
}

void TestPttDevices::rigModels()
{
    RigModule module(RigModule::locate(QStringLiteral(VV_PROGRAM_DIR)));
    const std::shared_ptr<RigLibrary> library = module.library();
    QVERIFY2(library, qPrintable(module.problem()));
    const QList<PttDevices::RigModel> models = library->models();
    QVERIFY(models.size() > 100);
    const auto find = [&](int number) {
        for (const PttDevices::RigModel &model : models) {
            if (model.number == number)
                return model;
        }
        return PttDevices::RigModel{};
    };
    QCOMPARE(find(2).manufacturer, QStringLiteral("Hamlib"));
    QCOMPARE(find(2).model, QStringLiteral("NET rigctl"));
    QCOMPARE(find(3073).model, QStringLiteral("IC-7300"));
    for (int i = 1; i < models.size(); ++i) {
        const int order
            = models[i - 1].manufacturer.compare(models[i].manufacturer, Qt::CaseInsensitive);
        QVERIFY(order < 0
                || (order == 0
                    && models[i - 1].model.compare(models[i].model, Qt::CaseInsensitive) <= 0));
    }
}

void TestPttDevices::noKeyerIsAlwaysReadyAndKeysNothing()
{
    NoKeyer keyer;
    QSignalSpy status(&keyer, &PttKeyer::statusChanged);
    QSignalSpy confirmed(&keyer, &PttKeyer::confirmed);
    QVERIFY(keyer.isReady());
    keyer.open();
    QVERIFY(status.isEmpty()); // it follows open()
    QTRY_COMPARE(status.count(), 1);
    QCOMPARE(status[0],
             (QVariantList{QStringLiteral("The rig keys itself on the audio (VOX)"), true}));
    keyer.setOnAir(true);
    keyer.setOnAir(false);
    keyer.shutdown(0);
    QVERIFY(keyer.isReady());
    QVERIFY(confirmed.isEmpty());
}

QTEST_MAIN(TestPttDevices)
#include "tst_pttdevices.moc"
