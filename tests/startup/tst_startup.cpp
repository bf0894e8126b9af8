// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/StationFixture.h"
#include "tests/support/StderrCapture.h"

#include "ui/PictureButton.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

// The station as the operator finds it after start-up, and the two ways it ends.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void foldersComeFromTheProgramDirectory();
    void defaultFileIsOpenedWithoutReports();
    void controlsAtRest();
    void stationPictureShowsReceive();
    void missingPictureLeavesTheAreaEmptyAndSaysSoOnce();
    void pictureInAnotherFormatThanItsNameStillShows();
    void exitClosesTheDeviceAndEndsOnce();
    void closingTheWindowEndsWithoutExit();
};

void TestStartup::foldersComeFromTheProgramDirectory()
{
    StationFixture f;
    const QString dir = f.programDir();
    QCOMPARE(f.state().Places.AppDir, dir);
    QCOMPARE(f.state().Places.ImgDir, dir + "/Images/");
    QCOMPARE(f.state().Places.WavDir, dir + "/Wav/");
    QCOMPARE(f.state().Places.IniFile, dir + "/vocta.ini");
}

void TestStartup::defaultFileIsOpenedWithoutReports()
{
    StationFixture f;
    QCOMPARE(f.device.log, QStringList{"Open " + f.programDir() + "/Wav/Default.wav"});
    QVERIFY(f.device.mode() != SoundPlayer::Mode::Playing);
    // No status reports count.
    f.clock.advance(1000);
    QCOMPARE(f.now().playTime, 0.0);
}

void TestStartup::controlsAtRest()
{
    StationFixture f;
    Form1 &w = f.window();
    QCOMPARE(f.now().memory, -1);
    QVERIFY(!f.now().playing());
    QCOMPARE(w.HScroll1()->value(), 4500);
    QCOMPARE(w.Panel3d2()->text(), QString(" 4.5"));
    QCOMPARE(w.Panel3d1()->text(), QString("Idle"));
    QCOMPARE(w.Gauge1()->minimum(), 0);
    QCOMPARE(w.Gauge1()->maximum(), 100);
    QCOMPARE(w.Gauge1()->value(), 0);

    for (int i = 0; i < 6; ++i) {
        PictureButton *button = f.memory(i);
        QCOMPARE(button->toolTip(),
                 QString("Left Button Starts Play/Right Button To Enter File Name"));
        QCOMPARE(button->text(), QString::number(i + 1));
        QCOMPARE(f.face(button), 1);
        QCOMPARE(w.ImageList1().indexOf(button->downPicture()), 3);
        QCOMPARE(w.ImageList1().indexOf(button->disabledPicture()), 3);
    }
    QCOMPARE(f.face(w.Panel3d1()), 1);
    QCOMPARE(f.face(w.Panel3d2()), 1);
    QCOMPARE(f.face(w.Command3d2()), 1);
    QCOMPARE(f.face(w.Command3d3()), 1);
    QCOMPARE(w.Command3d2()->tag(), QString("B"));
    QCOMPARE(w.Command3d3()->tag(), QString("B"));
    QVERIFY(w.Picture1()->isHidden());

    // Nothing ticks at rest.
    QVERIFY(!f.clock.nextDue());
}

void TestStartup::stationPictureShowsReceive()
{
    StationFixture f;
    const QPixmap shown = f.window().Image1()->pixmap();
    QVERIFY(!shown.isNull());
    const QImage receive(f.programDir() + "/Images/receive.bmp");
    QCOMPARE(shown.toImage().convertToFormat(QImage::Format_RGB32),
             receive.convertToFormat(QImage::Format_RGB32));
    // Shown at its own size.
    QCOMPARE(f.window().Image1()->size(), receive.size());
}

void TestStartup::missingPictureLeavesTheAreaEmptyAndSaysSoOnce()
{
    StationFixture f(false);
    QVERIFY(QFile::remove(f.programDir() + "/Images/receive.bmp"));
    StderrCapture capture;
    f.station->Form_Load();
    const QByteArray said = capture.text();
    QVERIFY(f.window().Image1()->pixmap().isNull());
    QCOMPARE(said.count('\n'), 1);
    QVERIFY(said.contains("receive.bmp"));
}

void TestStartup::pictureInAnotherFormatThanItsNameStillShows()
{
    // An operator's own picture, saved as PNG under the BMP name.
    StationFixture f(false);
    QImage own(40, 20, QImage::Format_RGB32);
    own.fill(QColor(10, 200, 30));
    QVERIFY(own.save(f.programDir() + "/Images/receive.bmp", "PNG"));
    StderrCapture capture;
    f.station->Form_Load();
    QCOMPARE(f.window().Image1()->pixmap().toImage().convertToFormat(QImage::Format_RGB32), own);
    QVERIFY(!capture.text().contains("receive.bmp"));
}

void TestStartup::exitClosesTheDeviceAndEndsOnce()
{
    StationFixture f;
    QSignalSpy ended(f.station.get(), &VoiceVocta::endProgram);
    f.device.clearLog();
    f.window().menuItem("Exit")->trigger();
    QCOMPARE(f.device.commands(), QStringList{"Close"});
    QCOMPARE(ended.count(), 1);
    // The window then goes without a second save or a second end.
    f.window().close();
    QCOMPARE(ended.count(), 1);
    QCOMPARE(f.device.commands(), QStringList{"Close"});
}

void TestStartup::closingTheWindowEndsWithoutExit()
{
    StationFixture f;
    QSignalSpy ended(f.station.get(), &VoiceVocta::endProgram);
    f.device.clearLog();
    f.window().show();
    f.window().close();
    // On this path the device is released with the window, not closed by a command.
    QCOMPARE(f.device.commands(), QStringList());
    QCOMPARE(ended.count(), 0);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
