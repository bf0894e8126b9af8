// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SoundSetHandler.h"

#include "playback/SoundChoices.h"
#include "playback/SoundServer.h"
#include "station/AppState.h"
#include "station/SettingsBook.h"
#include "station/SoundPlayer.h"
#include "ui/SoundSet.h"
#include "ui/SoundSetLoudness.h"

#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QStringList>

namespace {

// Puts the entries into a list and selects the stored one; the program's filling reports no
// choice.
void fill(QComboBox *combo, const QList<SoundChoices::Entry> &entries, const QString &stored)
{
    const QSignalBlocker blocker(combo);
    combo->clear();
    for (const SoundChoices::Entry &entry : entries) {
        combo->addItem(entry.caption, entry.name);
        combo->setItemData(combo->count() - 1, entry.name, Qt::ToolTipRole);
    }
    combo->setCurrentIndex(int(SoundChoices::indexOf(entries, stored)));
}

} // namespace

SoundSetHandler::SoundSetHandler(SettingsBook &settings, QWidget &mainWindow, SoundServer &server,
                                 SoundPlayer &MMControl1)
    : m_settings(settings)
    , m_state(settings.values())
    , m_mainWindow(mainWindow)
    , m_server(server)
    , m_device(MMControl1)
{
    // Devices plugged in or out while the dialog is open appear and go at once.
    connect(&m_server, &SoundServer::changed, this, [this] {
        if (m_dialog)
            showDevices();
    });
}

SoundSetHandler::~SoundSetHandler()
{
    delete m_dialog;
}

SoundSet *SoundSetHandler::form() const
{
    return m_dialog;
}

void SoundSetHandler::Sound_Click()
{
    if (!m_dialog)
        load();
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
}

void SoundSetHandler::load()
{
    m_dialog = new SoundSet(&m_mainWindow);
    SoundSet *dialog = m_dialog;
    connect(dialog, &SoundSet::RadioCombo_Click, this, &SoundSetHandler::RadioCombo_Click);
    connect(dialog, &SoundSet::Combo1_Click, this, &SoundSetHandler::Combo1_Click);
    connect(dialog, &SoundSet::Combo2_Click, this, &SoundSetHandler::Combo2_Click);
    connect(dialog, &SoundSet::Combo3_Click, this, &SoundSetHandler::Combo3_Click);
    connect(dialog, &SoundSet::Combo4_Click, this, &SoundSetHandler::Combo4_Click);
    connect(dialog, &SoundSet::HScroll1_Change, this, &SoundSetHandler::HScroll1_Change);
    connect(dialog, &SoundSet::HScroll2_Change, this, &SoundSetHandler::HScroll2_Change);
    connect(dialog, &SoundSet::Command1_Click, this, &SoundSetHandler::Command1_Click);
    m_loudness = new SoundSetLoudness(m_settings, *dialog, m_book);
    connect(m_loudness, &SoundSetLoudness::changed, this, &SoundSetHandler::loudnessChanged);
    connect(m_loudness, &SoundSetLoudness::noteChanged, this, &SoundSetHandler::showStatus);
    connect(dialog, &SoundSet::Form_Unload, this, [this, dialog] {
        if (m_dialog == dialog)
            m_dialog = nullptr;
    });
    Form_Load();
}

void SoundSetHandler::Form_Load()
{
    m_note.clear();
    showDevices();
    SoundSet &dialog = *m_dialog;
    {
        const QSignalBlocker blocker(dialog.HScroll1());
        dialog.HScroll1()->setValue(edited().values().Audio.AudioLevel);
    }
    dialog.Label1()->setText(QStringLiteral("%1 %").arg(dialog.HScroll1()->value()));
    showMonitorLevel();
    m_loudness->show();
    showStatus();
}

void SoundSetHandler::showDevices()
{
    SoundSet &dialog = *m_dialog;
    showRadio();
    const QString output = edited().values().Audio.AudioOutput;
    fill(dialog.Combo1(),
         SoundChoices::entries(m_server.outputs(), m_server.defaultOutput(), output,
                               tr("Default output")),
         output);
    fill(dialog.Combo2(),
         SoundChoices::entries(m_server.inputs(), m_server.defaultInput(), m_state.Audio.AudioInput,
                               tr("Default input")),
         m_state.Audio.AudioInput);
    // Both by name only: "none" is never the default.
    fill(dialog.Combo3(),
         SoundChoices::entries(m_server.outputs(), QString(), m_state.Audio.AudioMonitor,
                               tr("None")),
         m_state.Audio.AudioMonitor);
    fill(dialog.Combo4(),
         SoundChoices::entries(m_server.inputs(), QString(), m_state.Audio.MuteSource, tr("None")),
         m_state.Audio.MuteSource);
    showStatus();
}

void SoundSetHandler::showMonitorLevel()
{
    SoundSet &dialog = *m_dialog;
    {
        const QSignalBlocker blocker(dialog.HScroll2());
        dialog.HScroll2()->setValue(m_state.Audio.MonitorLevel);
    }
    dialog.HScroll2()->setEnabled(!m_state.Audio.AudioMonitor.isEmpty());
    dialog.Label3()->setText(QStringLiteral("%1 %").arg(dialog.HScroll2()->value()));
}

void SoundSetHandler::showStatus()
{
    QStringList status;
    if (!m_server.isConnected())
        status << tr("No sound server answers.");
    if (edited().values().Audio.AudioLevel == 0)
        status << tr("The level is 0 %: a message keys the transmitter and sends "
                     "silence.");
    if (!m_note.isEmpty())
        status << m_note;
    if (m_loudness && !m_loudness->note().isEmpty())
        status << m_loudness->note();
    m_dialog->Label2()->setText(status.join(QLatin1Char(' ')));
}

QString SoundSetHandler::transmitterSink() const
{
    return m_state.Audio.AudioOutput.isEmpty() ? m_server.defaultOutput()
                                               : m_state.Audio.AudioOutput;
}

void SoundSetHandler::Combo1_Click(int Index)
{
    const QString name = m_dialog->Combo1()->itemData(Index).toString();
    if (name == edited().values().Audio.AudioOutput)
        return;
    m_note.clear();
    if (m_second && !name.isEmpty() && name == other().values().Audio.AudioOutput) {
        m_note = tr("Radio %1 plays on that output: each radio needs its own.")
                     .arg(m_radio == 1 ? 2 : 1);
        showDevices(); // the choice stays as it was
        return;
    }
    edited().edit(&AppState::Audio, [&](auto &area) { area.AudioOutput = name; });
    device().setOutput(name);
    if (m_radio == 1 && !m_state.Audio.AudioMonitor.isEmpty()
        && m_state.Audio.AudioMonitor == transmitterSink()) {
        // The transmitter's output is never the monitor as well.
        m_note = tr("The monitor was that output: it is off now.");
        m_settings.edit(&AppState::Audio, [&](auto &area) { area.AudioMonitor.clear(); });
        showDevices();
        showMonitorLevel();
        emit monitorChanged();
    }
    showStatus();
}

void SoundSetHandler::Combo2_Click(int Index)
{
    const QString name = m_dialog->Combo2()->itemData(Index).toString();
    if (name == m_state.Audio.AudioInput)
        return;
    m_settings.edit(&AppState::Audio, [&](auto &area) { area.AudioInput = name; });
}

void SoundSetHandler::Combo3_Click(int Index)
{
    const QString name = m_dialog->Combo3()->itemData(Index).toString();
    m_note.clear();
    if (!name.isEmpty() && name == transmitterSink()) {
        m_note = tr("The monitor cannot be the transmitter's output.");
        showDevices(); // the choice stays as it was
        return;
    }
    if (name != m_state.Audio.AudioMonitor) {
        m_settings.edit(&AppState::Audio, [&](auto &area) { area.AudioMonitor = name; });
        showMonitorLevel();
        emit monitorChanged();
    }
    showStatus();
}

void SoundSetHandler::Combo4_Click(int Index)
{
    m_settings.edit(&AppState::Audio, [&](auto &area) {
        area.MuteSource = m_dialog->Combo4()->itemData(Index).toString();
    });
}

void SoundSetHandler::HScroll1_Change()
{
    const int level = m_dialog->HScroll1()->value();
    edited().edit(&AppState::Audio, [&](auto &area) { area.AudioLevel = level; });
    device().setLevel(level);
    m_dialog->Label1()->setText(QStringLiteral("%1 %").arg(level));
    showStatus();
}

void SoundSetHandler::HScroll2_Change()
{
    m_settings.edit(&AppState::Audio,
                    [&](auto &area) { area.MonitorLevel = m_dialog->HScroll2()->value(); });
    m_dialog->Label3()->setText(QStringLiteral("%1 %").arg(m_state.Audio.MonitorLevel));
    emit monitorChanged();
}

void SoundSetHandler::setSecondRadio(SettingsBook *second, SoundPlayer *device)
{
    m_second = second && device ? second : nullptr;
    m_secondDevice = m_second ? device : nullptr;
    m_radio = 1;
    if (m_dialog && m_dialog->isVisible())
        Form_Load();
}

void SoundSetHandler::RadioCombo_Click(int Index)
{
    m_radio = m_second && Index == 1 ? 2 : 1;
    Form_Load();
}

// With two radios the output frame holds the radio choice; the second radio has its own output
// and level, and shares the rest with the first.
void SoundSetHandler::showRadio()
{
    SoundSet &dialog = *m_dialog;
    dialog.RadioCombo()->setVisible(m_second);
    dialog.RadioCombo()->setCurrentIndex(m_radio - 1);
    const QRect whole(8, 22, 328, 26);
    dialog.Combo1()->setGeometry(m_second ? whole.adjusted(88, 0, 0, 0) : whole);
    for (const char *shared : {"Frame3", "Frame4", "Frame5", "Frame6"})
        if (auto *frame = dialog.findChild<QWidget *>(QLatin1String(shared)))
            frame->setEnabled(m_radio == 1);
}

SettingsBook &SoundSetHandler::edited()
{
    return m_radio == 2 && m_second ? *m_second : m_settings;
}

const SettingsBook &SoundSetHandler::other() const
{
    return m_radio == 2 || !m_second ? m_settings : *m_second;
}

SoundPlayer &SoundSetHandler::device()
{
    return m_radio == 2 && m_secondDevice ? *m_secondDevice : m_device;
}

void SoundSetHandler::Command1_Click()
{
    m_dialog->hide();
    emit applied();
}
