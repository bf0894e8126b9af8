// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>

class SettingsBook;
struct AppState;
class LoudnessBook;
class SoundPlayer;
class QComboBox;
class QWidget;
class SoundServer;
class SoundSet;
class SoundSetLoudness;

// The handlers of the "Sound" dialog. The dialog is modeless and loaded on demand; its lists
// follow the sound server while it is open. Every choice reaches the shared state at once:
//   the output is used from the next message on (a message that plays goes on where it plays);
//   the level applies at once, also to a message that plays;
//   the monitor (monitorChanged()) from the next message on, its level at once; a monitor that is
//   the transmitter's output is refused, and an output chosen where the monitor is turns the
//   monitor off;
//   the microphone to mute from the next keying on;
//   the input is used from the next recording on;
//   the loudness target and the ceiling (loudnessChanged()) from the next message on.
// The status line says when no sound server answers, when the level is 0 (messages would key
// the transmitter and send silence) and why a choice was refused. "OK" reports applied(): the
// settings are then saved.
class SoundSetHandler : public QObject
{
    Q_OBJECT
public:
    SoundSetHandler(SettingsBook &settings, QWidget &mainWindow, SoundServer &server,
                    SoundPlayer &MMControl1);
    ~SoundSetHandler() override;

    // Setup > Sound...: shows the dialog, loading it first if it is not loaded.
    void Sound_Click();

    void Form_Load();
    void Combo1_Click(int Index);
    void Combo2_Click(int Index);
    void Combo3_Click(int Index);
    void Combo4_Click(int Index);
    void HScroll1_Change();
    void HScroll2_Change();
    // "OK": hides the dialog and reports applied().
    void Command1_Click();

    // A second radio's settings and its player (null: one radio): the dialog then shows a radio
    // choice for the output and the level, and refuses an output the other radio plays on.
    void setSecondRadio(SettingsBook *second, SoundPlayer *device);
    void RadioCombo_Click(int Index);

    // The dialog while it is loaded, else null.
    SoundSet *form() const;
    // The messages' measurements, shown for each memory (none: nothing shows).
    void setLoudness(LoudnessBook *book) { m_book = book; }

signals:
    // The monitor output or its level changed (AppState::AudioMonitor, MonitorLevel).
    void monitorChanged();
    // The loudness target or the ceiling changed (AppState::AudioLoudness, AudioTruePeak).
    void loudnessChanged();
    // "OK": the choices in the shared state are the operator's.
    void applied();

private:
    void load();
    // Fills the lists from the server, keeping the stored choices selected.
    void showDevices();
    void showMonitorLevel();
    void showStatus();
    // The sink the messages go to: the chosen one, else the server's default (empty: unknown).
    QString transmitterSink() const;
    void showRadio();
    // The radio the dialog shows: its settings and player; the other radio's settings.
    SettingsBook &edited();
    const SettingsBook &other() const;
    SoundPlayer &device();

    SettingsBook &m_settings;
    const AppState &m_state;
    QWidget &m_mainWindow;
    SoundServer &m_server;
    SoundPlayer &m_device;
    SettingsBook *m_second = nullptr;
    SoundPlayer *m_secondDevice = nullptr;
    int m_radio = 1;
    QPointer<SoundSet> m_dialog;
    QPointer<SoundSetLoudness> m_loudness; // the dialog's child
    LoudnessBook *m_book = nullptr;
    QString m_note; // why the last choice was refused or changed another, until the next one
};
