// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "playback/MemoryPreview.h"
#include "playback/Recorder.h"
#include "ptt/KeyerChoice.h"
#include "ptt/RigModule.h"
#include "ptt/SerialKeyer.h"
#include "settings/Settings.h"
#include "settings/SettingsPlace.h"
#include "station/AppState.h"
#include "station/Clock.h"
#include "station/RadioPair.h"
#include "station/SettingsBook.h"
#include "station/Station.h"
#include "station/StationKeys.h"
#include "station/StationRemote.h"
#include "ui/Aboutfrm.h"
#include "ui/ComSetHandler.h"
#include "ui/Fonts.h"
#include "ui/Form1.h"
#include "ui/KeyWatch.h"
#include "ui/ManualHelp.h"
#include "ui/MemoryBank.h"
#include "ui/PttSetHandler.h"
#include "ui/RecordSetHandler.h"
#include "ui/SoundSetHandler.h"
#include "ui/StationPresenter.h"
#include "ui/TransportAdapter.h"

#include <memory>
#include <optional>

class AudioInput;
class Dialogs;
class LoudnessBook;
class SerialLines;
class SoundPlayer;
class SoundServer;
class SecondRadio;
class OtrspWiring;
class PttGuard;
class SourceMute;
class NetworkWiring;

// The program: owns the settings, the station, the main window and the dialogs' handlers, and
// wires the window's events to the station and the station's changes to the window. The hardware
// (sound player, serial lines, the sound server's list of devices, the recording input), the
// standard dialogs and the clock come from outside, so that tests can put doubles in their place.
// The preview player plays the recorder's takes on the monitor output (or the system's default
// output); it is never the player that plays into the transmitter.
class VoiceVocta : public QObject
{
    Q_OBJECT
public:
    // `clock` runs the station's and the window's timers; null: the event loop's. `pictures`, if
    // any, has read the window's pictures ahead (Form1::picturesAtStart()).
    VoiceVocta(SoundPlayer &MMControl1, SerialLines &MSComm1, Dialogs &dialogs, SoundServer &server,
               AudioInput &input, SoundPlayer &preview, const QString &appDir,
               Clock *clock = nullptr, PictureReadAhead *pictures = nullptr);
    ~VoiceVocta() override;

    // The microphone muted while the transmitter is keyed for a message (none: nothing is).
    void setSourceMute(SourceMute *mute);
    // The guard that releases the transmitter should the program die or freeze (none: none). It
    // is told what keys and when the transmitter is keyed; a release of its own ends what keyed
    // it.
    void setGuard(PttGuard *guard);
    // The player of the memories' previews (Ctrl+F1..F6), on the operator's own output; none:
    // previews are refused.
    void setPreviewPlayer(SoundPlayer *player);
    // The memories' preview; null until a player is set.
    MemoryPreview *memoryPreview() { return m_memoryPreview.get(); }
    // The loudness the messages play at (none: each as recorded): the settings' target and
    // ceiling go to `book` now and at each change in the "Sound" dialog (loudnessChanged() then
    // tells the players), and with a target the memories' files are measured in the background,
    // now and whenever one is set. Called once the window shows.
    void setLoudness(LoudnessBook *book);

    // Start-up: runs before the window is first shown.
    void Form_Load();
    // File > Exit: close the device, save, end.
    void Exit_Click();
    // The window was closed other than by File > Exit: save.
    void Form_Terminate();

    const AppState &state() const { return m_state; }
    SettingsBook &settingsBook() { return m_book; }
    Form1 &window() { return m_form; }
    SoundPlayer &device() { return m_device; }
    Settings &settings() { return m_settings; }
    AboutBox &about() { return m_about; }
    // Where the settings file and the recordings are, as start-up chose it.
    const SettingsPlace &settingsPlace() const { return m_place; }
    // The message's life cycle and the keying of the transmitter: the first radio's.
    Station &station() { return m_station; }
    // The radios, one or two: where the operator's and other programs' events go.
    RadioPair &radios() { return m_pair; }
    // The second radio, when the settings have one (after Form_Load): its player and serial lines.
    // Returns it; null when the settings have none.
    SecondRadio *addSecondRadio(SoundPlayer &player, SerialLines &lines, PttGuard *guard);
    SecondRadio *secondRadio() { return m_second.get(); }
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
    // The station network: the radios told to the stations around, and held back by them.
    NetworkWiring &network() { return *m_network; }

signals:
    // The program is to end now (File > Exit).
    void endProgram();
    // The loudness target or the ceiling that the messages play with changed.
    void loudnessChanged();

private:
    void wire();
    void wireWindow();
    void wireDialogs();
    void shutdownKeying();
    void wireRadios();
    // Tells the microphone's mute which source it mutes (the station tells it when).
    void chooseMutedSource();
    void applyLoudness();
    // The keyers of the radio the PTT dialog shows.
    KeyerChoice &pttKeyers();
    void measureMemories();

    AppState m_state;
    SettingsBook m_book{m_state}; // the one way to change m_state
    SettingsPlace m_place;
    SoundPlayer &m_device;
    SoundServer &m_server;
    std::unique_ptr<SystemClock> m_systemClock; // when no clock was given
    Clock &m_clock;
    Form1 m_form;
    Fonts m_fonts;
    Settings m_settings;
    Station m_station;
    RadioPair m_pair;
    StationPresenter m_presenter;
    SerialKeyer m_serialKeyer;
    RigModule m_rigModule; // hamlib, beside the program
    KeyerChoice m_keyers;
    ComSetHandler m_comSet;
    MemoryBank m_bank;
    TransportAdapter m_transport;
    AboutBox m_about;
    ManualHelp m_help;
    SoundPlayer &m_preview;
    SoundSetHandler m_soundSet;
    PttSetHandler m_pttSet;
    Recorder m_recorder;
    RecordSetHandler m_recordSet;
    StationRemote m_remote;
    // The keys of a contest logger (F1..F6, Esc, Shift+F1..F6), from every window.
    StationKeys m_keys;
    KeyWatch m_keyWatch;
    SourceMute *m_sourceMute = nullptr;
    std::optional<QString> m_muteSource; // what it was told last
    bool m_keyedElsewhereTold = false;
    std::unique_ptr<MemoryPreview> m_memoryPreview;
    LoudnessBook *m_loudness = nullptr;
    Dialogs &m_dialogs;
    std::unique_ptr<SecondRadio> m_second;
    std::unique_ptr<OtrspWiring> m_otrsp;
    bool m_ended = false;
    std::unique_ptr<NetworkWiring> m_network;
};
