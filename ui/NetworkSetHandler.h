// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class SettingsBook;
struct AppState;
class NetworkSet;
class QWidget;

// The handlers of the "Network" dialog. The dialog is modeless and loaded on demand; each time it
// is shown it is filled from the shared state (AppState::Network).
//
// Nothing reaches the shared state before "OK": it refuses a destination that is not host:port,
// a port out of 1 to 65535 and a station name that the settings do not take (saying why in the
// status line, the dialog stays open), else it stores every field, hides the dialog and reports
// applied(); whoever runs the station network then takes the new settings and saves them. A
// station name typed as the host name is stored as none (the host name, whatever it becomes).
// "Cancel" and the close box change nothing.
class NetworkSetHandler : public QObject
{
    Q_OBJECT
public:
    NetworkSetHandler(SettingsBook &settings, QWidget &mainWindow);
    ~NetworkSetHandler() override;

    // Shows the dialog, loading it first if it is not loaded, and fills it unless it is already on
    // the screen.
    void Network_Click();

    void Form_Load();
    void OkButton_Click();
    void CancelButton_Click();

    // The network's state for the status line (`good` false: something is wrong), shown now and
    // each time the dialog is shown until the next call.
    void setStatus(const QString &text, bool good);

    // The dialog while it is loaded, else null.
    NetworkSet *form() const;

signals:
    // "OK" stored new network settings in the shared state.
    void applied();

private:
    void load();
    void showStatus(const QString &text, bool good);

    SettingsBook &m_settings;
    const AppState &m_state;
    QWidget &m_mainWindow;
    QPointer<NetworkSet> m_dialog;
    QString m_status;
    bool m_good = true;
};
