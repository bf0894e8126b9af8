// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "remote/NetworkLink.h"
#include "ui/NetworkSetHandler.h"

#include <QObject>
#include <QSet>
#include <QString>

class SettingsBook;
struct AppState;
class Clock;
class Dialogs;
class Form1;
class Settings;
class Station;

// The station network in the program: Setup > Network... and its dialog, whose OK applies the
// settings and saves them; the radios' stations on the network (NetworkLink); and what the
// operator sees of it: the "Status" frame's caption names the stations that hold this one back,
// and a problem of the network shows once in a notice beside the window and in the dialog's status
// line.
class NetworkWiring : public QObject
{
    Q_OBJECT
public:
    NetworkWiring(SettingsBook &book, Clock &clock, Form1 &window, Settings &settings,
                  Dialogs &dialogs, QObject *parent = nullptr);
    ~NetworkWiring() override;

    // A radio of this station, by its number (1, 2), and the station that keys it.
    void addRadio(int radioNr, StationDoor &station,
                  std::function<NetworkLink::Tuning()> tuning = {})
    {
        m_link.addRadio(radioNr, station, std::move(tuning));
    }
    // Takes the settings as they are now (at start-up, once they are read).
    void apply();

    NetworkLink &link() { return m_link; }
    NetworkSetHandler &dialog() { return m_dialog; }

private:
    void showInhibited(const QString &stations);
    void showProblem(const QString &text);
    void showStatus();

    Form1 &m_window;
    Dialogs &m_dialogs;
    NetworkLink m_link;
    NetworkSetHandler m_dialog;
    QString m_statusCaption; // the "Status" frame's own caption
    QSet<QString> m_told; // problems already shown in a notice
    QString m_problem; // the last one since the settings were applied
};
