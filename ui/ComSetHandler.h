// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>

class SettingsBook;
struct AppState;
class ComSet;
class SerialKeyer;
class SerialLines;
class QWidget;

// The handlers of the "COM Control" dialog: loading it from the shared state, the "Enabled"
// boxes, the port options and "OK". The dialog is modeless and loaded on demand; its changes
// reach the shared state at once, and the lines' new use is told (linesChanged, for the station).
class ComSetHandler : public QObject
{
    Q_OBJECT
public:
    ComSetHandler(SettingsBook &settings, QWidget &mainWindow, SerialLines &MSComm1,
                  SerialKeyer &keyer);
    ~ComSetHandler() override;

    // Setup > Com > Parameters: shows the dialog, loading it first if it is not loaded.
    void Parameters_Click();

    void Form_Load();
    // "Enabled" of RTS / of DTR changed.
    void Check1_Click();
    void Check2_Click();
    // Port Index + 1 chosen.
    void Option1_Click(int Index);
    // "OK": open the port, hide the dialog.
    void Command1_Click();

    // The dialog while it is loaded, else null.
    ComSet *form() const;

signals:
    // A line's use or polarity changed (LineUse::Rts or LineUse::Dtr: taken into use).
    void linesChanged(int takenIntoUse);

private:
    void load();
    void showDevices();

    SettingsBook &m_settings;
    const AppState &m_state;
    QWidget &m_mainWindow;
    SerialLines &m_lines;
    SerialKeyer &m_keyer;
    QPointer<ComSet> m_dialog;
};
