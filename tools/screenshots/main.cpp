// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the README's pictures of the program: the whole station, built with the test doubles in
// an offscreen window, set up as an operator would have it, and grabbed as the screen shows it.
//
//   vv_screenshots OUTPUT_DIR
//
// Run by tools/screenshots.sh, which writes docs/images/. Each picture is one entry of the table
// in main(): a file name and the steps that bring the station to the state shown.

#include "playback/loudness/LoudnessBook.h"
#include "tests/support/StationFixture.h"
#include "ui/ComSet.h"
#include "ui/PttSet.h"
#include "ui/RecordSet.h"
#include "ui/SoundSet.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <cmath>
#include <functional>

namespace {

struct Shot
{
    const char *file;
    // Brings a freshly started station to the state shown; returns the window to grab.
    std::function<QWidget *(StationFixture &)> stage;
};

// Lets the window settle: layouts, pending paints.
void settle()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

// The window as it opens.
QWidget *atRest(StationFixture &f)
{
    return &f.window();
}

// Memory 1 on the air, about a second into its message, with repeat wanted.
QWidget *playing(StationFixture &f)
{
    f.window().Check3d1(0)->setChecked(true);
    f.clickMemory(0);
    f.clock.advance(1000); // 20 status reports
    return &f.window();
}

// Setup > Com > Parameters, RTS keying the transmitter.
QWidget *comDialog(StationFixture &f)
{
    f.window().menuItem(QStringLiteral("Parameters"))->trigger();
    ComSet *dialog = f.station->comSet().form();
    if (dialog && !dialog->Check1()->isChecked())
        dialog->Check1()->click();
    return dialog;
}

// Setup > Sound...: the messages on the rig's sound card, the level a little down, all at
// -20 LUFS (the memories measured), heard on the speakers, the microphone muted while they are
// sent.
QWidget *soundDialog(StationFixture &f, LoudnessBook &book)
{
    f.state().Audio.AudioLoudness = -20;
    f.station->setLoudness(&book);
    book.waitForIdle();
    settle();
    f.server.setDevices({{"speakers", "Built-in Audio Analog Stereo"},
                         {"rig", "USB Audio CODEC (the rig's sound card)"}},
                        {{"mic", "Built-in Audio Analog Stereo"},
                         {"rig.in", "USB Audio CODEC (the rig's sound card)"}});
    f.state().Audio.AudioOutput = QStringLiteral("rig");
    f.state().Audio.AudioLevel = 80;
    f.state().Audio.AudioMonitor = QStringLiteral("speakers");
    f.state().Audio.MonitorLevel = 40;
    f.state().Audio.MuteSource = QStringLiteral("mic");
    f.window().menuItem(QStringLiteral("Sound"))->trigger();
    return f.station->soundSet().form();
}

// Setup > PTT...: keying through the rig's CAT connection by rigctld, with a lead and a
// time-out, as it is being chosen.
QWidget *pttDialog(StationFixture &f)
{
    f.window().menuItem(QStringLiteral("Ptt"))->trigger();
    PttSet *dialog = f.station->pttSet().form();
    if (!dialog)
        return nullptr;
    dialog->MethodCombo()->setCurrentIndex(int(KeyingMethod::Cat));
    dialog->LeadSpin()->setValue(100);
    if (!dialog->TimeoutCheck()->isChecked())
        dialog->TimeoutCheck()->click();
    return dialog;
}

// A second radio from the settings file, keyed through its own rigctld, on an output of its own.
bool addSecondRadio(StationFixture &f)
{
    static FakeSoundPlayer player2;
    static FakeSerialLines lines2;
    QFile ini(f.state().Places.IniFile);
    if (!ini.open(QIODevice::Append))
        return false;
    ini.write("[PTT2]\nMethod=CAT\nRigModel=2\nRigPort=localhost:4533\n[Audio2]\nOutput=radio2\n");
    ini.close();
    f.station->settings().ReadMem();
    return f.station->addSecondRadio(player2, lines2, nullptr) != nullptr;
}

// Two radios: Setup > PTT... showing radio 2.
QWidget *secondRadioPtt(StationFixture &f)
{
    if (!addSecondRadio(f))
        return nullptr;
    f.window().menuItem(QStringLiteral("Ptt"))->trigger();
    PttSet *dialog = f.station->pttSet().form();
    if (dialog)
        dialog->RadioCombo()->activated(1);
    return dialog;
}

// Two radios: Setup > Sound... showing radio 2, whose output and level are its own.
QWidget *secondRadioSound(StationFixture &f)
{
    if (!addSecondRadio(f))
        return nullptr;
    f.window().menuItem(QStringLiteral("Sound"))->trigger();
    SoundSet *dialog = f.station->soundSet().form();
    if (dialog)
        dialog->RadioCombo()->activated(1);
    return dialog;
}

// Setup > Record..., memory 1 chosen, a take of a second and a half just recorded.
QWidget *recorder(StationFixture &f)
{
    f.station->recordSet().openFor(1);
    QVector<float> take(66150);
    for (qsizetype i = 0; i < take.size(); ++i)
        take[i] = float(0.3 * std::sin(i * 0.05) * std::pow(std::sin(i * 0.0002), 2));
    f.station->recorder().record();
    f.input.begin(44100);
    f.input.deliver(take);
    f.station->recorder().stop();
    for (int wait = 0; wait < 200 && !f.station->recorder().takeLoudness(); ++wait) {
        QThread::msleep(10);
        settle();
    }
    return f.station->recordSet().form();
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTextStream err(stderr);
    if (application.arguments().size() != 2) {
        err << "usage: vv_screenshots OUTPUT_DIR\n";
        return 2;
    }
    const QDir out(application.arguments().at(1));
    if (!QDir().mkpath(out.path())) {
        err << "vv_screenshots: cannot create " << out.path() << '\n';
        return 1;
    }

    QTemporaryDir cache;
    LoudnessBook book(cache.filePath(QStringLiteral("loudness")));
    const Shot shots[] = {
        {"window-at-rest.png", atRest},
        {"window-playing.png", playing},
        {"com-dialog.png", comDialog},
        {"sound-dialog.png",
         [&book](StationFixture &f) {
             return soundDialog(f, book);
         }},
        {"ptt-dialog.png", pttDialog},
        {"recorder.png", recorder},
        {"ptt-dialog-second-radio.png", secondRadioPtt},
        {"sound-dialog-second-radio.png", secondRadioSound},
    };

    bool ok = true;
    for (const Shot &shot : shots) {
        StationFixture f;
        f.window().show();
        settle();
        QWidget *shown = shot.stage(f);
        if (!shown) {
            err << "vv_screenshots: nothing to show for " << shot.file << '\n';
            ok = false;
            continue;
        }
        shown->show();
        settle();
        const QString path = out.filePath(QLatin1String(shot.file));
        if (!shown->grab().save(path)) {
            err << "vv_screenshots: cannot write " << path << '\n';
            ok = false;
        }
    }
    return ok ? 0 : 1;
}
