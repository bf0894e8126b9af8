// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/StationFixture.h"

#include <QCheckBox>

#include "ptt/RigModule.h"
#include "ui/PictureButton.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTest>

StationFixture::StationFixture(bool start)
{
    populateProgramFolder(folder.path());
    station = std::make_unique<VoiceVocta>(device, lines, dialogs, server, input, preview,
                                           folder.path(), &clock);
    if (start)
        station->Form_Load();
}

StationFixture::StationFixture(SoundPlayer &soundDevice, bool start)
{
    populateProgramFolder(folder.path());
    station = std::make_unique<VoiceVocta>(soundDevice, lines, dialogs, server, input, preview,
                                           folder.path());
    if (start)
        station->Form_Load();
}

StationFixture::~StationFixture() = default;

void StationFixture::populateProgramFolder(const QString &dir)
{
    const QDir source(QStringLiteral(VV_PROGRAM_DIR));
    for (const char *sub : {"Images", "Wav"}) {
        const QString name = QLatin1String(sub);
        QDir().mkpath(dir + QLatin1Char('/') + name);
        const QDir from(source.filePath(name));
        for (const QString &file : from.entryList(QDir::Files))
            QFile::copy(from.filePath(file),
                        dir + QLatin1Char('/') + name + QLatin1Char('/') + file);
    }
    // The hamlib module, which the station finds beside the program.
    QFile::link(source.filePath(QLatin1String(RigModule::FileName)),
                dir + QLatin1Char('/') + QLatin1String(RigModule::FileName));
}

void StationFixture::leftClick(QWidget *widget)
{
    QTest::mouseClick(widget, Qt::LeftButton);
}

void StationFixture::rightClick(QWidget *widget)
{
    QTest::mouseClick(widget, Qt::RightButton);
}

PictureButton *StationFixture::memory(int index)
{
    return window().Command3d1(index);
}

int StationFixture::face(PictureButton *button)
{
    return window().ImageList1().indexOf(button->picture());
}

int StationFixture::refusalFace()
{
    return window().ImageList2().indexOf(window().Picture1()->pixmap());
}

bool StationFixture::onAirPictureShown()
{
    const QPixmap shown = window().Image1()->pixmap();
    if (shown.isNull())
        return false;
    const QImage onAir
        = QImage(programDir() + "/Images/ontheair.bmp").convertToFormat(QImage::Format_RGB32);
    return shown.toImage().convertToFormat(QImage::Format_RGB32) == onAir;
}

void StationFixture::keyThroughRts()
{
    state().Ptt.RtsOn = true;
    state().Ptt.RtsPos = true;
    state().Ptt.ComNum = 1;
    station->serialKeyer().open();
}

void StationFixture::enter(Stage stage, int memory)
{
    window().Check3d1(memory)->setChecked(stage == Stage::RepeatWait);
    clickMemory(memory);
    if (stage == Stage::RepeatWait)
        device.finish(SoundPlayer::Outcome::Ended);
    else if (stage == Stage::Idle)
        clickMemory(memory);
    device.clearLog();
}
