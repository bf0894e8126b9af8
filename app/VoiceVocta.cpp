// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/VoiceVocta.h"

#include "playback/MediaDevice.h"
#include "playback/SoundServer.h"
#include "playback/SourceMute.h"
#include "settings/TextRules.h"
#include "ui/PictureButton.h"
#include "ui/TransportBar.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QSlider>

VoiceVocta::VoiceVocta(MediaDevice &MMControl1, SerialLines &MSComm1, Dialogs &dialogs,
                       SoundServer &server, AudioInput &input, MediaDevice &preview,
                       const QString &appDir)
    : m_device(MMControl1)
    , m_controls(m_form, m_state)
    , m_fonts(m_state, m_form.buttonFontControls(), m_form.labelFontControls(), dialogs)
    , m_settings(m_state)
    , m_refusal(m_controls.Picture1(), m_form.Timer3())
    , m_keying(
          m_state,
          {m_controls.Command3d2(), m_controls.Command3d3(), m_form.Timer2(), m_controls.Image1()},
          m_refusal)
    , m_serialKeyer(m_state, MSComm1, dialogs)
    , m_keyers(m_state, m_keying, m_serialKeyer)
    , m_comSet(m_state, m_form, MSComm1, m_serialKeyer)
    , m_repeat(
          m_state,
          {m_controls.HScroll1(), m_controls.Panel3d1(), m_controls.Panel3d2(), m_form.Timer1()},
          m_keying, m_refusal)
    , m_player(m_state, {m_controls.Command3d1(), m_controls.Panel3d1(), m_controls.Gauge1()},
               m_device, m_keying, m_repeat, m_refusal)
    , m_bank(m_state, {m_controls.Command3d1(), m_controls.HScroll1(), m_controls.Panel3d1()},
             m_player, m_repeat, m_keying, m_refusal, m_settings, dialogs)
    , m_about(m_form, m_form.ImageList1())
    , m_preview(preview)
    , m_soundSet(m_state, m_form, server, m_device)
    , m_pttSet(m_state, m_form)
    , m_recorder(m_state, input, m_preview)
    , m_recordSet(m_state, m_form, m_recorder, server)
    , m_remote({m_state, m_bank, m_keying, m_refusal, m_recordSet})
    , m_keys(m_remote)
{
    m_state.AppDir = appDir;
    // The recorder's takes never go out on the transmitter's output, the default one included.
    m_recorder.setDefaultOutput([&server] { return server.defaultOutput(); });
    wire();
}

void VoiceVocta::wire()
{
    Form1 *form = &m_form;

    // The serial lines key the transmitter; a message's audio starts when the keying says so,
    // and the time-out stops it as the operator would.
    m_keyers.apply();
    m_keying.setMessages({[this] { return m_player.audioReady(); },
                          [this](bool restart) { return m_player.startAudio(restart); },
                          [this] {
                              m_bank.stopPlaying();
                          }});

    connect(form, &Form1::Command3d1_Click, this, [this](int i) { m_bank.Command3d1_Click(i); });
    connect(form, &Form1::Command3d1_MouseDown, this,
            [this](int i, int button, int shift, int x, int y) {
                m_bank.Command3d1_MouseDown(i, button, shift, x, y);
            });

    // The repeat boxes show the memories' repeat flags and change them; the settings read at
    // start-up show in them, and the fonts apply.
    connect(form, &Form1::Check3d1_Click, this, [this](int i) {
        m_state.MemRepeat.at(i) = m_form.Check3d1(i)->isChecked();
        m_repeat.Check3d1_Click(i);
    });
    m_settings.setShowRead([this] {
        for (int i = 0; i < 6; ++i)
            m_form.Check3d1(i)->setChecked(m_state.MemRepeat[i]);
        m_fonts.SetFontsB();
        m_fonts.SetFontsL();
    });
    connect(form, &Form1::HScroll1_Change, this, [this] { m_repeat.HScroll1_Change(); });
    connect(form, &Form1::Panel3d1_Click, this, [this] { m_repeat.Panel3d1_Click(); });
    connect(form, &Form1::Panel3d2_Click, this, [this] { m_repeat.Panel3d2_Click(); });
    connect(form, &Form1::Timer1_Timer, this, [this] { m_repeat.Timer1_Timer(); });
    connect(form, &Form1::Timer3_Timer, this, [this] { m_refusal.Timer3_Timer(); });

    connect(&m_device, &MediaDevice::Done, this,
            [this](int code) { m_player.MMControl1_Done(code); });
    connect(&m_device, &MediaDevice::StatusUpdate, this,
            [this] { m_player.MMControl1_StatusUpdate(); });

    // The transport bar: its Play, Prev and Stop raise their events before the device acts.
    TransportBar *bar = m_form.MMControl1();
    connect(bar, &TransportBar::PlayClick, this,
            [this](bool &Cancel) { m_player.MMControl1_PlayClick(Cancel); });
    connect(bar, &TransportBar::PrevClick, this,
            [this](bool &Cancel) { m_player.MMControl1_PrevClick(Cancel); });
    connect(bar, &TransportBar::StopClick, this,
            [this](bool &Cancel) { m_player.MMControl1_StopClick(Cancel); });
    connect(bar, &TransportBar::command, &m_device, &MediaDevice::setCommand);
    connect(&m_device, &MediaDevice::modeChanged, bar, &TransportBar::setMode);
    bar->setMode(m_device.Mode());

    connect(form, &Form1::Charactersb_Click, this, [this] { m_fonts.Charactersb_Click(); });
    connect(form, &Form1::Charactersl_Click, this, [this] { m_fonts.Charactersl_Click(); });

    connect(form, &Form1::About_Click, this, [this] { m_about.About_Click(); });

    connect(form, &Form1::Exit_Click, this, &VoiceVocta::Exit_Click);
    connect(form, &Form1::Form_Terminate, this, &VoiceVocta::Form_Terminate);

    connect(form, &Form1::Command3d2_Click, this, [this] { m_keying.Command3d2_Click(); });
    connect(form, &Form1::Command3d3_Click, this, [this] { m_keying.Command3d3_Click(); });
    connect(form, &Form1::Timer2_Timer, this, [this] { m_keying.Timer2_Timer(); });
    connect(form, &Form1::Parameters_Click, this, [this] { m_comSet.Parameters_Click(); });

    connect(form, &Form1::Sound_Click, this, [this] { m_soundSet.Sound_Click(); });
    // The PTT dialog: its OK puts the chosen keyer in place (a rig connects then); its status
    // line follows the keyer in place.
    connect(form, &Form1::Ptt_Click, this, [this] { m_pttSet.Ptt_Click(); });
    connect(&m_pttSet, &PttSetHandler::applied, this, [this] { m_keyers.apply(); });
    connect(&m_keyers, &KeyerChoice::statusChanged, &m_pttSet, &PttSetHandler::setStatus);
    connect(&m_pttSet, &PttSetHandler::opened, this, [this] {
        const PttKeyer &keyer = m_keyers.current();
        m_pttSet.setStatus(keyer.statusText(), keyer.isReady());
    });
    connect(form, &Form1::Record_Click, this, [this] { m_recordSet.Record_Click(); });
    // A recording waits while a message plays, also one started with the transport bar.
    m_recorder.setMessageBusy(
        [this] { return m_state.Playing() != 0 || m_device.Mode() == MediaDevice::Playing; });
    // A take bound to a memory is saved at once, as a file chosen for it is.
    m_recorder.setSaveSettings([this] {
        m_settings.WriteMem();
        return !m_settings.lastSaveFailed();
    });

    // The keys of a contest logger: F1..F6, Esc, Shift+F1..F6.
    connect(form, &Form1::Form_KeyDown, this,
            [this](int KeyCode, int Shift, bool Repeated, bool &Handled) {
                Handled = m_keys.keyDown(KeyCode, Shift, Repeated);
            });
    // What the remote reports follows every event that can change it, once its handler has run
    // (these connections come after the handlers').
    const auto notify = [this] {
        m_remote.notify();
    };
    connect(form, &Form1::Command3d1_Click, this, notify);
    connect(form, &Form1::Command3d2_Click, this, notify);
    connect(form, &Form1::Command3d3_Click, this, notify);
    connect(form, &Form1::Timer1_Timer, this, notify);
    connect(&m_device, &MediaDevice::Done, this, notify);
    connect(&m_remote, &StationRemote::changed, this, &VoiceVocta::muteWhileKeyed);
    // The keying's own timers: the audio after the lead, the release after the tail, the
    // time-out.
    for (FormTimer *timer :
         {&m_keying.leadTimer(), &m_keying.tailTimer(), &m_keying.timeoutTimer()})
        connect(timer, &FormTimer::Timer, this, notify);
}

VoiceVocta::~VoiceVocta() = default;

void VoiceVocta::muteWhileKeyed()
{
    if (!m_sourceMute)
        return;
    const bool message = m_state.Player == PlayerState::Lead
                         || m_state.Player == PlayerState::Playing
                         || m_keying.tailTimer().isRunning();
    m_sourceMute->setSource(m_state.MuteSource);
    m_sourceMute->setMessageKeyed(m_keying.onAir() && message && !m_ended);
}

void VoiceVocta::Form_Load()
{
    // Folders come from the executable's directory, never from the working directory.
    const QString separator = QDir::separator();
    m_state.ImgDir = m_state.AppDir + separator + QLatin1String("Images") + separator;
    m_state.WavDir = m_state.AppDir + separator + QLatin1String("Wav") + separator;
    // The settings file beside the program, or in the user's own folder when the program
    // folder cannot be written (an installed program).
    m_place = SettingsPlace::choose(m_state.AppDir);
    m_state.IniFile = m_place.iniFile;
    m_state.RecordDir = m_place.recordDir;
    m_settings.setPlace(m_place);

    m_device.setFileName(m_state.WavDir + QLatin1String("Default.wav"));
    m_device.setCommand(QStringLiteral("Open"));
    m_device.setTimeFormat(0);
    m_device.setUpdateInterval(0);

    m_state.CurMem = -1;

    QSlider *slider = m_form.HScroll1();
    slider->setValue(4500);
    m_form.Panel3d2()->setText(TextRules::numberText(slider->value() / 1000.0));

    m_keying.RecStat();

    m_form.Gauge1()->setMinimum(0);
    m_form.Gauge1()->setMaximum(100);

    m_settings.ReadMem();
    // The messages play on the chosen output at the chosen level; the recorder's takes on the
    // monitor output, as Play asks.
    m_device.setOutput(m_state.AudioOutput);
    m_device.setLevel(m_state.AudioLevel);
    // The keyer of the chosen method; a rig keyed through CAT or a CM108 chip connects now.
    m_keyers.apply();

    const ImageList &faces = m_form.ImageList1();
    for (PictureButton *button : m_form.memoryButtons()) {
        button->setToolTip(
            QStringLiteral("Left Button Starts Play/Right Button To Enter File Name"));
        button->setDownPicture(faces.picture(Face::Green));
        button->setDisabledPicture(faces.picture(Face::Green));
        button->setPicture(faces.picture(Face::Blue));
    }
    m_form.Panel3d1()->setPicture(faces.picture(Face::Blue));
    m_form.Panel3d2()->setPicture(faces.picture(Face::Blue));
    m_form.Command3d2()->setPicture(faces.picture(Face::Blue));
    m_form.Command3d2()->setTag(QStringLiteral("B"));
    m_form.Command3d3()->setPicture(faces.picture(Face::Blue));
    m_form.Command3d3()->setTag(QStringLiteral("B"));
    m_form.Picture1()->setVisible(false);
    m_remote.notify();
}

void VoiceVocta::Exit_Click()
{
    if (m_ended)
        return;
    m_device.setCommand(QStringLiteral("Close"));
    // The transmitter is released first, then the settings are saved.
    m_keyers.shutdown();
    m_ended = true;
    muteWhileKeyed();
    m_settings.WriteMem();
    emit endProgram();
}

void VoiceVocta::Form_Terminate()
{
    if (m_ended)
        return;
    m_ended = true;
    // The transmitter is released first, then the settings are saved.
    m_keyers.shutdown();
    muteWhileKeyed();
    m_settings.WriteMem();
}
