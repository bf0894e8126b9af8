// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>

struct AppState;
class SoundPlayer;
class QComboBox;
class QWidget;
class SoundServer;
class SoundSet;

// The handlers of the "Sound" dialog. The dialog is modeless and loaded on demand; its lists
// follow the sound server while it is open. Every choice reaches the shared state at once:
//   the output is used from the next message on (a message that plays goes on where it plays);
//   the level applies at once, from the next buffer, also to a message that plays;
//   the input is used from the next recording on.
// "OK" reports applied(): the settings are then saved.
class SoundSetHandler : public QObject
{
    Q_OBJECT
public:
    SoundSetHandler(AppState &state, QWidget &mainWindow, SoundServer &server,
                    SoundPlayer &MMControl1);
    ~SoundSetHandler() override;

    // Setup > Sound...: shows the dialog, loading it first if it is not loaded.
    void Sound_Click();

    void Form_Load();
    void Combo1_Click(int Index);
    void Combo2_Click(int Index);
    void HScroll1_Change();
    // "OK": hides the dialog and reports applied().
    void Command1_Click();

    // The dialog while it is loaded, else null.
    SoundSet *form() const;

signals:
    // "OK": the choices in the shared state are the operator's.
    void applied();

private:
    void load();
    // Fills both lists from the server, keeping the stored choices selected.
    void showDevices();

    AppState &m_state;
    QWidget &m_mainWindow;
    SoundServer &m_server;
    SoundPlayer &m_device;
    QPointer<SoundSet> m_dialog;
};
