// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/VoiceVocta.h"

#include "app/NetworkWiring.h"
#include "app/OtrspWiring.h"
#include "app/SecondRadio.h"
#include "playback/SoundServer.h"
#include "playback/kit/VoiceKit.h"
#include "playback/loudness/LoudnessBook.h"
#include "ptt/PttGuard.h"
#include "ptt/RigLibrary.h"
#include "station/Dialogs.h"
#include "station/Log.h"
#include "station/SoundPlayer.h"
#include "station/SourceMute.h"
#include "ui/PictureButton.h"
#include "ui/TransportBar.h"

#include <QCheckBox>
#include <QDir>
#include <QProgressBar>
#include <QSlider>

namespace {
Clock &clockOr(Clock *given, std::unique_ptr<SystemClock> &own)
{
    if (given)
        return *given;
    own = std::make_unique<SystemClock>();
    return *own;
}
} // namespace

VoiceVocta::VoiceVocta(SoundPlayer &MMControl1, SerialLines &MSComm1, Dialogs &dialogs,
                       SoundServer &server, AudioInput &input, SoundPlayer &preview,
                       const QString &appDir, Clock *clock, PictureReadAhead *pictures)
    : m_device(MMControl1)
    , m_server(server)
    , m_clock(clockOr(clock, m_systemClock))
    , m_form(nullptr, pictures)
    , m_fonts(m_book, m_form.buttonFontControls(), m_form.labelFontControls(), dialogs)
    , m_settings(m_book)
    , m_station(m_book, m_device, m_clock)
    , m_pair(m_station)
    , m_presenter(m_form, m_state, m_clock)
    , m_serialKeyer(m_state, MSComm1, dialogs)
    , m_rigModule(RigModule::locate(appDir))
    , m_keyers(m_state, m_serialKeyer, m_rigModule)
    , m_comSet(m_book, m_form, MSComm1, m_serialKeyer)
    , m_bank(
          m_book, [this]() -> const StationState & { return m_pair.state(); }, m_settings, dialogs,
          [this](int Index) {
              PictureButton *button = m_form.Command3d1(Index);
              button->setBackColor(QColor(255, 255, 0));
              button->repaint();
          })
    , m_transport(*m_form.MMControl1(), m_device,
                  [this](StationEvents::TransportButton button) {
                      m_pair.handle(StationEvents::Transport{button});
                  })
    , m_about(m_form, m_form.ImageList1())
    , m_help(dialogs, appDir)
    , m_preview(preview)
    , m_soundSet(m_book, m_form, server, m_device)
    , m_pttSet(m_book, m_form,
               {.rigs =
                    [this] {
                        const auto library = m_rigModule.library();
                        return library ? library->models() : QList<PttDevices::RigModel>{};
                    },
                .rigsProblem =
                    [this] {
                        return m_rigModule.problem();
                    }})
    , m_recorder(m_book, input, m_preview)
    , m_recordSet(m_state, m_form, m_recorder, server)
    , m_remote(m_pair, m_clock, [this](int number) { m_recordSet.openFor(number); })
    , m_keys(m_remote)
    , m_keyWatch(m_keys, m_form)
    , m_dialogs(dialogs)
{
    PlaceValues places;
    places.AppDir = appDir;
    m_book.setPlaces(places);
    // The recorder's takes never go out on the transmitter's output, the default one included.
    m_recorder.setDefaultOutput([&server] { return server.defaultOutput(); });
    // What the operator must know of the settings file shows in the window.
    m_settings.setTell(
        [&dialogs](const QString &text, bool problem) { dialogs.notice(text, problem); });
    // A transmitter found keyed by another program shows in the window, once each time.
    connect(&m_keyers, &KeyerChoice::statusChanged, this, [this, &dialogs] {
        const bool elsewhere = m_keyers.current().link() == PttKeyer::Link::KeyedElsewhere;
        if (elsewhere && !m_keyedElsewhereTold)
            dialogs.notice(tr("%1.\n\nThis program leaves it alone: it keys nothing (a click "
                              "shows the refusal face) until the other program has released it.")
                               .arg(m_keyers.current().statusText()),
                           true);
        m_keyedElsewhereTold = elsewhere;
    });
    m_network = std::make_unique<NetworkWiring>(m_book, m_clock, m_form, m_settings, dialogs);
    m_network->addRadio(1, m_station, m_state);
    wire();
}

void VoiceVocta::wire()
{
    // The station's every change shows in the window; the keyer (the serial lines until the
    // settings say otherwise) keys, and the COM dialog's lines go through the station.
    connect(&m_pair, &StationDoor::changed, &m_presenter, &StationPresenter::show);
    m_station.setSameOnScreen([this](const StationState &a, const StationState &b) {
        return m_presenter.sameOnScreen(a, b);
    });
    // The microphone muted while the transmitter is keyed for a message is the one chosen; the
    // station tells it when, after it has been told which.
    connect(&m_station, &Station::changed, this, &VoiceVocta::chooseMutedSource);
    m_station.setLineUse(&m_serialKeyer);
    connect(&m_keyers, &KeyerChoice::keyerChanged, &m_station, &Station::setKeyer,
            Qt::DirectConnection);
    connect(&m_comSet, &ComSetHandler::linesChanged, this,
            [this](int takenIntoUse) { m_pair.handle(StationEvents::LinesChanged{takenIntoUse}); });
    m_keyers.apply();
    wireWindow();
    wireDialogs();
}

// The window's events: each one an event of the station's (the form keeps its controls' names
// for them), the right click's file choice the bank's.
void VoiceVocta::wireWindow()
{
    using namespace StationEvents;
    Form1 *form = &m_form;
    const auto send = [this](const Event &event) {
        m_pair.handle(event);
    };
    connect(form, &Form1::Command3d1_Click, this, [send](int i) { send(MemoryClick{i}); });
    connect(form, &Form1::Command3d1_MouseDown, this,
            [this](int i, int button, int shift, int x, int y) {
                m_bank.Command3d1_MouseDown(i, button, shift, x, y);
            });
    connect(form, &Form1::Check3d1_Click, this, [this, send](int i) {
        send(RepeatBox{i, m_form.Check3d1(i)->isChecked()});
    });
    connect(form, &Form1::HScroll1_Change, this,
            [this, send] { send(DelayMoved{m_form.HScroll1()->value()}); });
    connect(form, &Form1::Panel3d1_Click, this, [send] { send(Refuse{}); });
    connect(form, &Form1::Panel3d2_Click, this, [send] { send(StoreDelay{}); });
    connect(form, &Form1::Command3d2_Click, this, [send] { send(LockClick{}); });
    connect(form, &Form1::Command3d3_Click, this, [send] { send(StandbyClick{}); });
}

void VoiceVocta::wireDialogs()
{
    Form1 *form = &m_form;
    // The repeat boxes show the settings read at start-up, and the fonts apply.
    m_settings.setShowRead([this] {
        for (int i = 0; i < MemoryCount; ++i)
            m_form.Check3d1(i)->setChecked(m_state.Memories.MemRepeat[i]);
        m_fonts.SetFontsB();
        m_fonts.SetFontsL();
    });

    connect(form, &Form1::Charactersb_Click, this, [this] { m_fonts.Charactersb_Click(); });
    connect(form, &Form1::Charactersl_Click, this, [this] { m_fonts.Charactersl_Click(); });
    connect(form, &Form1::About_Click, this, [this] { m_about.About_Click(); });
    connect(form, &Form1::Help_Click, &m_help, &ManualHelp::Help_Click);
    connect(form, &Form1::Exit_Click, this, &VoiceVocta::Exit_Click);
    connect(form, &Form1::Form_Terminate, this, &VoiceVocta::Form_Terminate);
    connect(form, &Form1::Parameters_Click, this, [this] { m_comSet.Parameters_Click(); });
    connect(form, &Form1::Sound_Click, this, [this] { m_soundSet.Sound_Click(); });

    // The PTT dialog: its OK puts the chosen keyer in place (a rig connects then); its status
    // line follows the keyer in place.
    connect(form, &Form1::Ptt_Click, this, [this] { m_pttSet.Ptt_Click(); });
    connect(&m_pttSet, &PttSetHandler::applied, this, [this] {
        if (m_pttSet.radio() == 2 && m_second)
            m_second->applyKeying();
        else
            m_keyers.apply();
    });
    connect(&m_pttSet, &PttSetHandler::applied, m_network.get(), &NetworkWiring::followRigs);
    // What the PTT and Sound dialogs' OK applies is saved at once.
    connect(&m_pttSet, &PttSetHandler::applied, this, [this] { m_settings.WriteMem(); });
    connect(&m_soundSet, &SoundSetHandler::applied, this, [this] { m_settings.WriteMem(); });
    connect(&m_soundSet, &SoundSetHandler::loudnessChanged, this, &VoiceVocta::applyLoudness);
    m_bank.setFileChosen([this](int) { measureMemories(); });
    connect(&m_keyers, &KeyerChoice::statusChanged, &m_pttSet,
            [this](const QString &text, bool ready) {
                if (m_pttSet.radio() == 1)
                    m_pttSet.setStatus(text, ready);
            });
    connect(&m_pttSet, &PttSetHandler::opened, this,
            [this] { m_pttSet.setStatus(pttKeyers().statusText(), pttKeyers().isReady()); });

    // The recorder: no message starts while it records, and it waits while a message plays, also
    // one started with the transport bar; a take bound to a memory is saved at once, as a file
    // chosen for it is.
    connect(form, &Form1::Record_Click, this, [this] { m_recordSet.Record_Click(); });
    connect(&m_recorder, &Recorder::phaseChanged, this, [this](Recorder::Phase phase) {
        m_pair.handle(StationEvents::Recording{phase == Recorder::Recording});
    });
    m_recorder.setMessageBusy([this] { return m_pair.state().busy(); });
    m_recorder.setCurrentMemory([this] { return m_pair.state().memory; });
    // The recorder also records the voice kit's parts, into the kit the settings choose.
    m_recordSet.setKitFolder([this] {
        return VoiceKit::folderFor(m_state.Kit.KitFolder, m_place.kitDir, m_state.Places.AppDir);
    });
    m_recorder.setSaveSettings([this] {
        measureMemories(); // a take saved for a memory
        m_settings.WriteMem();
        return !m_settings.lastSaveFailed();
    });
}

VoiceVocta::~VoiceVocta() = default;

KeyerChoice &VoiceVocta::pttKeyers()
{
    return m_pttSet.radio() == 2 && m_second ? m_second->keyers() : m_keyers;
}

void VoiceVocta::setPreviewPlayer(SoundPlayer *player)
{
    m_keys.setPreview(nullptr, nullptr);
    m_memoryPreview.reset();
    if (!player)
        return;
    m_memoryPreview = std::make_unique<MemoryPreview>(m_state, *player);
    MemoryPreview *preview = m_memoryPreview.get();
    // Never beside a message: refused while one plays, stopped when one starts.
    preview->setMessageBusy([this] { return m_pair.state().busy(); });
    preview->setDefaultOutput([this] { return m_server.defaultOutput(); });
    connect(&m_pair, &StationDoor::changed, preview, [preview](const StationState &state) {
        if (state.playing())
            preview->stop();
    });
    m_keys.setPreview([preview](int number) { return preview->preview(number); },
                      [preview] { return preview->stop(); });
}

void VoiceVocta::setLoudness(LoudnessBook *book)
{
    m_loudness = book;
    m_soundSet.setLoudness(book);
    applyLoudness();
}

void VoiceVocta::applyLoudness()
{
    if (!m_loudness)
        return;
    if (m_loudness->target() != m_state.Audio.AudioLoudness
        || m_loudness->ceiling() != m_state.Audio.AudioTruePeak) {
        m_loudness->setTarget(m_state.Audio.AudioLoudness, m_state.Audio.AudioTruePeak);
        emit loudnessChanged();
    }
    measureMemories();
}

void VoiceVocta::measureMemories()
{
    // Without a target nothing is measured unasked (the "Sound" dialog asks for what it shows).
    if (m_loudness && m_state.Audio.AudioLoudness)
        m_loudness->measureSoon(
            QStringList(m_state.Memories.MemFile.cbegin(), m_state.Memories.MemFile.cend()));
}

void VoiceVocta::setSourceMute(SourceMute *mute)
{
    m_sourceMute = mute;
    m_muteSource.reset();
    m_station.setSourceMute(mute);
    chooseMutedSource();
}

void VoiceVocta::setGuard(PttGuard *guard)
{
    m_keyers.setGuard(guard);
    if (!guard)
        return;
    connect(&m_station, &Station::changed, guard, [this, guard](const StationState &state) {
        guard->setKeyed(state.onAir || state.transmitting, m_state.Ptt.TimeoutS);
    });
    connect(guard, &PttGuard::tookOver, this, [this](const QString &reason) {
        m_station.handle(StationEvents::ReleasedElsewhere{
            QStringLiteral("by the PTT guard: the program %1").arg(reason)});
    });
}

void VoiceVocta::chooseMutedSource()
{
    if (!m_sourceMute || (m_muteSource && *m_muteSource == m_state.Audio.MuteSource))
        return;
    m_muteSource = m_state.Audio.MuteSource;
    m_sourceMute->setSource(m_state.Audio.MuteSource);
}

void VoiceVocta::Form_Load()
{
    // Folders come from the executable's directory, never from the working directory: the
    // pictures and sounds beside the program, or in ../share/voicevocta when it is installed.
    // The settings file beside the program, or in the user's own folder when the program
    // folder cannot be written or the program is installed.
    m_place = SettingsPlace::choose(m_state.Places.AppDir);
    if (!m_place.missing.isEmpty())
        qCWarning(lcVocta).noquote() << m_place.missingDescription();
    const QString separator = QDir::separator();
    PlaceValues places = m_state.Places;
    places.ImgDir = m_place.dataDir + separator + QLatin1String("Images") + separator;
    places.WavDir = m_place.dataDir + separator + QLatin1String("Wav") + separator;
    places.IniFile = m_place.iniFile;
    places.RecordDir = m_place.recordDir;
    m_book.setPlaces(places);
    m_settings.setPlace(m_place);

    // The window at rest (the slider at 4500, every face blue), then the default message opened
    // and the transmitter to receive.
    m_presenter.start(m_station.state());
    m_station.handle(StationEvents::StartUp{m_state.Places.WavDir + QLatin1String("Default.wav")});

    m_form.Gauge1()->setMinimum(0);
    m_form.Gauge1()->setMaximum(100);

    m_settings.ReadMem();
    chooseMutedSource();
    // The station network, where the settings ask for one; not for a second copy, whose
    // transmitter is the first's.
    if (!m_settings.inUseElsewhere())
        m_network->apply();
    // A second copy on the same settings file keys nothing: the transmitter is the first's.
    if (m_settings.inUseElsewhere())
        m_keyers.standDown(QStringLiteral("Not keying: another copy of Voice Vocta that is running "
                                          "keys the transmitter from %1")
                               .arg(m_state.Places.IniFile));
    // What saves cut short in an earlier run left behind, unless another copy that runs owns the
    // settings (and so may be saving now).
    if (!m_settings.inUseElsewhere()) {
        const QString kit
            = VoiceKit::folderFor(m_state.Kit.KitFolder, m_place.kitDir, m_state.Places.AppDir);
        Recorder::removeLeftovers({m_state.Places.RecordDir, kit, kit + QLatin1String("/calls")});
    }
    // The messages play on the chosen output at the chosen level; the recorder's takes on the
    // monitor output, as Play asks.
    m_device.setOutput(m_state.Audio.AudioOutput);
    m_device.setLevel(m_state.Audio.AudioLevel);
    // The keyer of the chosen method; a rig keyed through CAT or a CM108 chip connects now.
    m_keyers.apply();

    const ImageList &faces = m_form.ImageList1();
    for (PictureButton *button : m_form.memoryButtons()) {
        button->setToolTip(tr("Left Button Starts Play/Right Button To Enter File Name"));
        button->setDownPicture(faces.picture(Face::Green));
        button->setDisabledPicture(faces.picture(Face::Green));
    }
}

void VoiceVocta::Exit_Click()
{
    if (m_ended)
        return;
    m_device.close();
    // The transmitter is released first, then the settings are saved.
    shutdownKeying();
    m_ended = true;
    m_settings.WriteMem();
    emit endProgram();
}

void VoiceVocta::Form_Terminate()
{
    if (m_ended)
        return;
    m_ended = true;
    // The transmitter is released first, then the settings are saved.
    shutdownKeying();
    m_settings.WriteMem();
}

// Both radios' transmitters released through the keyers in place, then every keyer let go.
void VoiceVocta::shutdownKeying()
{
    m_pair.handle(StationEvents::Shutdown{});
    m_keyers.shutdown();
    if (m_second)
        m_second->shutdown();
}

// A second radio, where the settings have one: a station of its own beside the first, both under
// the pair that interlocks them.
SecondRadio *VoiceVocta::addSecondRadio(SoundPlayer &player, SerialLines &lines, PttGuard *guard)
{
    const std::optional<AppState> &settings = m_settings.secondRadio();
    if (!settings || m_second)
        return m_second.get();
    if (!settings->Audio.AudioOutput.isEmpty()
        && settings->Audio.AudioOutput == m_state.Audio.AudioOutput) {
        const QString text = tr("Radio 2 is not used: its sound output %1 is the first radio's.")
                                 .arg(settings->Audio.AudioOutput);
        qCWarning(lcVocta).noquote() << text;
        m_dialogs.notice(text, true);
        return nullptr;
    }
    m_second = std::make_unique<SecondRadio>(*settings, m_state, player, lines, m_dialogs,
                                             m_rigModule, m_clock);
    m_second->setGuard(guard);
    if (guard)
        connect(&m_second->station(), &StationDoor::changed, guard,
                [this, guard](const StationState &state) {
                    guard->setKeyed(state.onAir || state.transmitting,
                                    m_second->settings().Ptt.TimeoutS);
                });
    if (guard)
        connect(guard, &PttGuard::tookOver, &m_second->station(), [this](const QString &reason) {
            m_second->station().handle(StationEvents::ReleasedElsewhere{
                QStringLiteral("by the PTT guard: the program %1").arg(reason)});
        });
    m_pair.setSecond(&m_second->station(), m_state.So2r.Interlock,
                     [this] { m_second->followMemories(m_state); });
    m_pair.setAlternate(m_state.So2r.Alternate);
    if (!m_state.So2r.Otrsp.isEmpty())
        m_otrsp = std::make_unique<OtrspWiring>(m_state.So2r.Otrsp, m_pair, m_state.So2r.Stereo);
    m_remote.setRadios(&m_pair);
    m_network->addRadio(2, m_second->station(), m_second->settings());
    // The PTT and Sound dialogs show either radio; a save writes the second one's sections too.
    m_settings.setSecondRadio(&m_second->settings());
    m_pttSet.setSecondRadio(&m_second->book());
    m_soundSet.setSecondRadio(&m_second->book(), &player);
    connect(&m_second->keyers(), &KeyerChoice::statusChanged, &m_pttSet,
            [this](const QString &text, bool ready) {
                if (m_pttSet.radio() == 2)
                    m_pttSet.setStatus(text, ready);
            });
    wireRadios();
    qCInfo(lcVocta) << "two radios; the focus is on radio 1";
    return m_second.get();
}

// The window of two radios: its title says which radio has the focus and which is on the air;
// the Pause key and the "Radios" menu swap the focus, and the menu turns stereo listening on and
// off (saved at once).
void VoiceVocta::wireRadios()
{
    m_keys.setFocusSwap([this] {
        m_pair.swapFocus();
        return true;
    });
    m_form.showRadiosMenu(m_state.So2r.Stereo, m_otrsp != nullptr);
    connect(&m_form, &Form1::FocusSwap_Click, &m_pair, &RadioPair::swapFocus);
    connect(&m_form, &Form1::Stereo_Click, this, [this](bool on) {
        qCDebug(lcVocta) << "stereo listening" << on;
        m_book.edit(&AppState::So2r, [on](So2rChoice &so2r) { so2r.Stereo = on; });
        if (m_otrsp)
            m_otrsp->setStereo(on);
        m_settings.WriteMem();
    });
    const auto title = [this] {
        QString text = tr("Voice Vocta — focus: radio %1").arg(m_pair.focus());
        for (int radio : {1, 2})
            if (m_pair.keyed(radio))
                text += tr(" · on the air: radio %1").arg(radio);
        m_form.setWindowTitle(text);
    };
    connect(&m_pair, &StationDoor::changed, this, title);
    connect(&m_pair, &RadioPair::focusChanged, this, title);
    title();
}
