// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// What can be seen of the station after an event: the window, the shared state, and what the
// sound device and the serial lines were told during the event. The model predicts one, the test
// reads one from the real station, and differences() says where they part.
struct StationView
{
    // Shared state. The player: 0 idle, 1 in the lead, 2 playing, 3 waiting for the repeat.
    int player = 0;
    int Playing = 0;
    int CurMem = -1;
    bool RepOn = false;
    bool LockOn = false;
    bool StdByOn = false;
    double PlayTime = 0;
    std::array<QString, 6> MemFile;
    std::array<double, 6> MemDelay{};
    qint16 ComNum = 0;
    bool RtsOn = false;
    bool RtsPos = false;
    bool DtrOn = false;
    bool DtrPos = false;

    // The window. Faces are ImageList1 numbers (1 blue .. 5 orange), 0 for none.
    std::array<int, 6> memoryFace{};
    std::array<bool, 6> memoryYellow{}; // the back colour of a right-clicked memory
    std::array<bool, 6> repeatBox{};
    int panelFace = 0;
    QString panelCaption;
    int gauge = 0;
    int slider = 0;
    QString delayCaption;
    int lockFace = 0;
    int standbyFace = 0;
    QString standbyTag;
    bool onAirPicture = false; // the station picture: on air, else receive
    bool refusalShown = false;
    int timer1Interval = 0; // the interval while Timer1 runs, 0 while it is dormant
    int timer2Interval = 0;
    bool timer3Running = false;
    // The keying's timers, likewise: the lead, the tail, the time-out, the Lock button's blink.
    int leadInterval = 0;
    int tailInterval = 0;
    int timeoutInterval = 0;
    int lockBlinkInterval = 0;
    int timeoutLines = 0; // lines on standard error that tell of a time-out, so far
    // Prev, Play, Pause, Stop, Next of the transport bar.
    std::array<bool, 5> transport{};

    // The sound device: its mode as the double reports it and what it was told in this event.
    int deviceMode = 0;
    int updateInterval = 0;
    QString deviceFile;
    QStringList deviceLog;
    int fileRequests = 0; // file dialogs opened so far
    QString fileTitle; // the last one's title

    // The serial lines: the levels remembered by the port layer, the port, and what reached the
    // wire in this event; the levels on the wire now.
    std::optional<bool> rts;
    std::optional<bool> dtr;
    bool portOpen = false;
    QStringList wireLog;
    bool wireRts = false;
    bool wireDtr = false;
    // The receive levels the port layer was told (none: the line keys nothing); checked by the
    // safety rules, not compared.
    std::optional<bool> receiveRts;
    std::optional<bool> receiveDtr;
    QStringList messages; // message boxes shown so far

    // The recorder's dialog: the memory it shows while shown, 0 otherwise.
    int recorderMemory = 0;

    // The keyer interface: what it reports ("playing 3 1 0 0": state, memory, on air, Lock,
    // standby), how often it said Changed in this event, and the answer of the method called in
    // this event ("true", "false", empty for none).
    QString remoteStatus;
    int changedSignals = 0;
    QString answer;

    // The "COM Control" dialog.
    enum Dialog { Unloaded, Shown, Hidden };
    Dialog dialog = Unloaded;
    // Its controls, while it is loaded: the boxes, the selected polarity options (true:
    // "Positive"), whether the options can be chosen, the selected port option (-1: none).
    bool check1 = false;
    bool check2 = false;
    bool option2Positive = false;
    bool option3Positive = false;
    bool option2Enabled = true;
    bool option3Enabled = true;
    int portOption = -1;

    // Where `actual` differs from this view, one line each: "name: expected X, found Y".
    QStringList differences(const StationView &actual) const;
    // The keying state in one line, for reports.
    QString summary() const;
};
