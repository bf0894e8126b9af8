// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/VoiceVoctaRemote.h"
#include "playback/MemoryBank.h"
#include "playback/Player.h"
#include "playback/Recorder.h"
#include "playback/Repeat.h"
#include "ptt/KeyerChoice.h"
#include "ptt/SerialKeyer.h"
#include "settings/Settings.h"
#include "settings/SettingsPlace.h"
#include "station/AppState.h"
#include "station/Keying.h"
#include "station/Refusal.h"
#include "station/StationKeys.h"
#include "ui/Aboutfrm.h"
#include "ui/ComSetHandler.h"
#include "ui/Fonts.h"
#include "ui/Form1.h"
#include "ui/PttSetHandler.h"
#include "ui/RecordSetHandler.h"
#include "ui/SoundSetHandler.h"
#include "ui/WindowControls.h"

class AudioInput;
class Dialogs;
class MediaDevice;
class SerialLines;
class SoundServer;
class SourceMute;

// The station: owns the shared state, the main window and the handler classes, and wires the
// window's events to the handlers. The hardware (sound device, serial lines, the sound server's
// list of devices, the recording input) and the standard dialogs come from outside, so that
// tests can put doubles in their place. The preview device plays the recorder's takes on the
// monitor output (or the system's default output); it is never the device that plays into the
// transmitter.
class VoiceVocta : public QObject
{
    Q_OBJECT
public:
    VoiceVocta(MediaDevice &MMControl1, SerialLines &MSComm1, Dialogs &dialogs, SoundServer &server,
               AudioInput &input, MediaDevice &preview, const QString &appDir);
    ~VoiceVocta() override;

    // The microphone muted while the transmitter is keyed for a message (none: nothing is).
    void setSourceMute(SourceMute *mute) { m_sourceMute = mute; }

    // Start-up: runs before the window is first shown.
    void Form_Load();
    // File > Exit: close the device, save, end.
    void Exit_Click();
    // The window was closed other than by File > Exit: save.
    void Form_Terminate();

    AppState &state() { return m_state; }
    Form1 &window() { return m_form; }
    MediaDevice &device() { return m_device; }
    Settings &settings() { return m_settings; }
    AboutBox &about() { return m_about; }
    // Where the settings file and the recordings are, as start-up chose it.
    const SettingsPlace &settingsPlace() const { return m_place; }
    // Decides whether the transmitter is keyed.
    Keying &keying() { return m_keying; }
    // Keys through the serial port's RTS and DTR lines.
    SerialKeyer &serialKeyer() { return m_serialKeyer; }
    // Which keyer keys: the serial lines, the rig through hamlib, or none.
    KeyerChoice &keyers() { return m_keyers; }
    ComSetHandler &comSet() { return m_comSet; }
    SoundSetHandler &soundSet() { return m_soundSet; }
    PttSetHandler &pttSet() { return m_pttSet; }
    RecordSetHandler &recordSet() { return m_recordSet; }
    Recorder &recorder() { return m_recorder; }
    // The station as the keys and other programs drive it.
    StationRemote &remote() { return m_remote; }

signals:
    // The program is to end now (File > Exit).
    void endProgram();

private:
    void wire();
    // Tells the microphone's mute whether a message keys the transmitter now (its lead, its
    // sound and its tail).
    void muteWhileKeyed();

    AppState m_state;
    SettingsPlace m_place;
    MediaDevice &m_device;
    Form1 m_form;
    WindowControls m_controls;
    Fonts m_fonts;
    Settings m_settings;
    Refusal m_refusal;
    Keying m_keying;
    SerialKeyer m_serialKeyer;
    KeyerChoice m_keyers;
    ComSetHandler m_comSet;
    Repeat m_repeat;
    Player m_player;
    MemoryBank m_bank;
    AboutBox m_about;
    MediaDevice &m_preview;
    SoundSetHandler m_soundSet;
    PttSetHandler m_pttSet;
    Recorder m_recorder;
    RecordSetHandler m_recordSet;
    VoiceVoctaRemote m_remote;
    StationKeys m_keys;
    SourceMute *m_sourceMute = nullptr;
    bool m_ended = false;
};
