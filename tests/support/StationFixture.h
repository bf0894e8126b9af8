// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/VoiceVocta.h"
#include "tests/support/FakeAudioInput.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/FakeSerialLines.h"
#include "tests/support/FakeSoundPlayer.h"
#include "tests/support/FakeSoundServer.h"
#include "tests/support/SetUp.h"
#include "tests/support/VirtualClock.h"

#include <QTemporaryDir>
#include <memory>

#include "ui/PictureButton.h"

// The whole program with its doubles, in a program folder of its own (a copy of the build's
// Images/ and Wav/), started as the program starts. Tests act on it as the operator would. Its
// timers run on the test's clock: time passes when the test moves it on.
class StationFixture
{
public:
    // Builds the folder and the program; `start` runs the start-up sequence.
    explicit StationFixture(bool start = true);
    // The same on another sound player (the real one, for instance), with the event loop's clock;
    // `device` and `clock` then stand idle.
    explicit StationFixture(SoundPlayer &soundDevice, bool start = true);
    ~StationFixture();

    VirtualClock clock;
    FakeSoundPlayer device;
    FakeSerialLines lines;
    FakeDialogs dialogs;
    FakeSoundServer server;
    FakeAudioInput input;
    // Plays the recorder's takes.
    FakeSoundPlayer preview;
    QTemporaryDir folder;
    std::unique_ptr<VoiceVocta> station;

    AppState &state() { return setUp(*station); }
    Form1 &window() { return station->window(); }
    // What the station does now.
    const StationState &now() { return station->station().state(); }
    QString programDir() const { return folder.path(); }

    // The operator's hand.
    void leftClick(QWidget *widget);
    void rightClick(QWidget *widget);
    void clickMemory(int index) { leftClick(memory(index)); }
    // Brings memory `memory` (0..5) into a stage as the mouse does (idle: started and stopped;
    // repeat wait: with repeat, its message ended); the player's log is cleared then.
    void enter(Stage stage, int memory);
    // RTS keys the transmitter, on air high, on port 1 opened as the COM dialog's OK opens it.
    void keyThroughRts();
    PictureButton *memory(int index);

    // Whether the station picture shows "on the air" (false: "receive" or nothing).
    bool onAirPictureShown();

    // The number (1..5) of the ImageList1 face a button shows, 0 for none of them.
    int face(PictureButton *button);
    // The number (1..4) of the ImageList2 face the refusal picture shows, 0 for none.
    int refusalFace();

    // Copies the program folder's content (Images/, Wav/) from the build into `dir`, and links
    // the hamlib module there.
    static void populateProgramFolder(const QString &dir);
};
