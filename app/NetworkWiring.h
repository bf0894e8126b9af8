// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "remote/NetworkLink.h"
#include "ui/NetworkSetHandler.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

class SettingsBook;
#include <memory>
#include <vector>

struct AppState;
class Clock;
class Dialogs;
class Form1;
class RigTuning;
struct StationState;
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

    // A radio of this station, by its number (1, 2), the station that keys it, and its settings
    // (its keying): a radio keyed through rigctld has its frequency and mode read from there while
    // the station is on the network.
    void addRadio(int radioNr, StationDoor &station, const AppState &settings);
    // Takes the settings as they are now (at start-up, once they are read).
    void apply();
    // Reads the frequency and mode from each radio's rigctld as the settings say now (none but
    // on the network): at apply(), and when the radios' keying settings change.
    void followRigs();

    NetworkLink &link() { return m_link; }
    NetworkSetHandler &dialog() { return m_dialog; }

private:
    struct TunedRadio
    {
        const AppState &settings;
        QPointer<StationDoor> station;
        std::unique_ptr<RigTuning> reader; // none: its frequency and mode are unknown
    };

    bool mayAsk(const StationState &state) const;
    void showInhibited(const QString &stations);
    void showProblem(const QString &text);
    void showStatus();

    const AppState &m_state;
    Clock &m_clock;
    Form1 &m_window;
    Dialogs &m_dialogs;
    NetworkLink m_link;
    NetworkSetHandler m_dialog;
    QString m_statusCaption; // the "Status" frame's own caption
    QSet<QString> m_told; // problems already shown in a notice
    QString m_problem; // the last one since the settings were applied
    std::vector<std::unique_ptr<TunedRadio>> m_radios;
    bool m_applied = false; // the settings were taken (a second copy never takes them)
};
