// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/VoiceVocta.h"
#include "tests/support/FakeAudioInput.h"
#include "tests/support/FakeDialogs.h"
#include "tests/support/FakeMediaDevice.h"
#include "tests/support/FakeSerialLines.h"
#include "tests/support/FakeSoundServer.h"

#include <QTemporaryDir>
#include <memory>

#include "ui/PictureButton.h"

// The whole station with its doubles, in a program folder of its own (a copy of the build's
// Images/ and Wav/), started as the program starts. Tests act on it as the operator would.
class StationFixture
{
public:
    // Builds the folder and the station; `start` runs the start-up sequence.
    explicit StationFixture(bool start = true);
    // The same on another sound device (the real one, for instance); `device` then stands idle.
    explicit StationFixture(MediaDevice &soundDevice, bool start = true);
    ~StationFixture();

    FakeMediaDevice device;
    FakeSerialLines lines;
    FakeDialogs dialogs;
    FakeSoundServer server;
    FakeAudioInput input;
    // Plays the recorder's takes.
    FakeMediaDevice preview;
    QTemporaryDir folder;
    std::unique_ptr<VoiceVocta> station;

    AppState &state() { return station->state(); }
    Form1 &window() { return station->window(); }
    QString programDir() const { return folder.path(); }

    // The operator's hand.
    void leftClick(QWidget *widget);
    void rightClick(QWidget *widget);
    void clickMemory(int index) { leftClick(memory(index)); }
    // Brings memory `memory` (0..5) into a player state as the mouse does (idle: started and
    // stopped; repeat wait: with repeat, its message ended); the device's log is cleared then.
    void enter(PlayerState state, int memory);
    // RTS keys the transmitter, on air high, on port 1 opened as the COM dialog's OK opens it.
    void keyThroughRts();
    PictureButton *memory(int index);

    // Lets a window timer tick once, as it would when its time is up; false (and no tick) when
    // it is not running.
    static bool tick(FormTimer &timer);

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
