// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/Recorder.h"

#include <QObject>
#include <QPointer>
#include <functional>

struct AppState;
class QWidget;
class RecordSet;
class SoundServer;

// The handlers of the "Record" dialog: it shows the recorder and passes the operator's buttons
// to it. The dialog is modeless and loaded on demand; the take lives in the recorder, so closing
// the dialog (which stops a recording or a preview) keeps it for the next opening.
class RecordSetHandler : public QObject
{
    Q_OBJECT
public:
    RecordSetHandler(const AppState &state, QWidget &mainWindow, Recorder &recorder,
                     SoundServer &server);
    ~RecordSetHandler() override;

    // Setup > Record...: shows the dialog, loading it first if it is not loaded.
    void Record_Click();
    // The same, with memory `number` (1..6) chosen in it.
    void openFor(int number);

    void Form_Load();
    // Record, Stop, Play, Save.
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();

    // The voice kit's folder as the settings choose it now (unset: no "kit" to save to).
    void setKitFolder(std::function<QString()> folder) { m_kitFolder = std::move(folder); }

    // The dialog while it is loaded, else null.
    RecordSet *form() const;

private:
    void load();
    void showPhase();
    void showTake();
    void showPeak(double dBFS);
    void showInput();
    // ---- The voice kit (Combo1's "kit")
    bool kitChosen() const;
    void showKit();
    void saveKitPart();

    const AppState &m_state;
    QWidget &m_mainWindow;
    Recorder &m_recorder;
    SoundServer &m_server;
    QPointer<RecordSet> m_dialog;
    std::function<QString()> m_kitFolder;
};
