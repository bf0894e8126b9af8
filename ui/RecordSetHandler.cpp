// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/RecordSetHandler.h"

#include "playback/SoundChoices.h"
#include "playback/SoundServer.h"
#include "station/AppState.h"
#include "ui/RecordSet.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <cmath>

namespace {
// The meter's range, in tenths of a dB.
constexpr int MeterFloor = -600;
} // namespace

RecordSetHandler::RecordSetHandler(AppState &state, QWidget &mainWindow, Recorder &recorder,
                                   SoundServer &server)
    : m_state(state), m_mainWindow(mainWindow), m_recorder(recorder), m_server(server)
{
    connect(&m_recorder, &Recorder::phaseChanged, this, [this] {
        if (m_dialog)
            showPhase();
    });
    connect(&m_recorder, &Recorder::takeChanged, this, [this] {
        if (m_dialog)
            showTake();
    });
    connect(&m_recorder, &Recorder::peak, this, [this](double dBFS) {
        if (m_dialog)
            showPeak(dBFS);
    });
    connect(&m_recorder, &Recorder::messageChanged, this, [this](const QString &message) {
        if (m_dialog)
            m_dialog->Label3()->setText(message);
    });
    connect(&m_server, &SoundServer::changed, this, [this] {
        if (m_dialog)
            showInput();
    });
}

RecordSetHandler::~RecordSetHandler()
{
    delete m_dialog;
}

RecordSet *RecordSetHandler::form() const
{
    return m_dialog;
}

void RecordSetHandler::Record_Click()
{
    if (!m_dialog)
        load();
    // The input may have been chosen anew in the "Sound" dialog meanwhile.
    showInput();
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
}

void RecordSetHandler::openFor(int number)
{
    Record_Click();
    if (number >= 1 && number <= m_dialog->Combo1()->count())
        m_dialog->Combo1()->setCurrentIndex(number - 1);
}

void RecordSetHandler::load()
{
    m_dialog = new RecordSet(&m_mainWindow);
    RecordSet *dialog = m_dialog;
    connect(dialog, &RecordSet::Command1_Click, this, &RecordSetHandler::Command1_Click);
    connect(dialog, &RecordSet::Command2_Click, this, &RecordSetHandler::Command2_Click);
    connect(dialog, &RecordSet::Command3_Click, this, &RecordSetHandler::Command3_Click);
    connect(dialog, &RecordSet::Command4_Click, this, &RecordSetHandler::Command4_Click);
    connect(dialog->Combo1(), &QComboBox::currentIndexChanged, this, [this] {
        if (m_dialog)
            showKit();
    });
    // Closed by its close box: nothing goes on recording or playing unseen.
    connect(dialog, &RecordSet::Form_Unload, this, [this, dialog] {
        if (m_dialog == dialog)
            m_dialog = nullptr;
        m_recorder.stop();
    });
    Form_Load();
}

void RecordSetHandler::Form_Load()
{
    RecordSet &dialog = *m_dialog;
    // The memory last started, else memory 1.
    const int current = m_recorder.currentMemory();
    dialog.Combo1()->setCurrentIndex(current >= 0 && current < MemoryCount ? current : 0);
    dialog.Label3()->setText(m_recorder.message());
    showKit();
    showPhase();
    showTake();
    showInput();
}

void RecordSetHandler::Command1_Click()
{
    m_recorder.record();
}

void RecordSetHandler::Command2_Click()
{
    m_recorder.stop();
}

void RecordSetHandler::Command3_Click()
{
    m_recorder.play();
}

void RecordSetHandler::Command4_Click()
{
    if (kitChosen())
        saveKitPart();
    else
        m_recorder.save(m_dialog->Combo1()->currentIndex() + 1);
}

// ---- The voice kit -----------------------------------------------------------------------------

namespace {
constexpr int KitEntry = MemoryCount; // Combo1's "kit", after the memories

// What a spelled text needs: every letter, digit and the slash.
QStringList spellingParts()
{
    QStringList parts;
    for (char c = 'a'; c <= 'z'; ++c)
        parts << QString(QLatin1Char(c));
    for (char c = '0'; c <= '9'; ++c)
        parts << QString(QLatin1Char(c));
    parts << QStringLiteral("/");
    return parts;
}
} // namespace

bool RecordSetHandler::kitChosen() const
{
    return m_dialog && m_kitFolder && m_dialog->Combo1()->currentIndex() == KitEntry;
}

// With "kit" chosen: the parts to choose from (the spelling's, then the words and calls the kit
// has), and which of the spelling's parts it lacks.
void RecordSetHandler::showKit()
{
    RecordSet &dialog = *m_dialog;
    const bool kit = kitChosen();
    // The part box shows only where a kit part is to be saved.
    dialog.Combo2()->setEnabled(kit);
    dialog.Combo2()->setVisible(kit);
    if (!kit) {
        dialog.Label5()->clear();
        return;
    }
    const QDir folder(m_kitFolder());
    QStringList parts = spellingParts();
    QStringList missing;
    for (const QString &part : parts) {
        if (!QFileInfo(folder.filePath(Recorder::kitFileName(part))).isFile())
            missing << part;
    }
    const QStringList filters{QStringLiteral("*.wav")};
    for (const QString &file : folder.entryList(filters, QDir::Files, QDir::Name)) {
        const QString part = file.chopped(4);
        if (!parts.contains(part) && part != QLatin1String("slash"))
            parts << part;
    }
    for (const QString &file :
         QDir(folder.filePath(QStringLiteral("calls"))).entryList(filters, QDir::Files, QDir::Name))
        parts << QStringLiteral("calls/") + file.chopped(4);

    const QString typed = dialog.Combo2()->currentText();
    dialog.Combo2()->clear();
    dialog.Combo2()->addItems(parts);
    dialog.Combo2()->setCurrentText(typed.isEmpty() && !missing.isEmpty() ? missing.first()
                                                                          : typed);
    const QString said = missing.isEmpty() ? tr("Every letter, digit and / is there.")
                                           : tr("Missing %1 of %2: %3")
                                                 .arg(missing.size())
                                                 .arg(spellingParts().size())
                                                 .arg(missing.join(QLatin1Char(' ')));
    // The whole list, and the kit's folder, in the tip where the line is too short for it.
    dialog.Label5()->setToolTip(said + QLatin1Char('\n') + folder.path());
    dialog.Label5()->setText(
        dialog.Label5()->fontMetrics().elidedText(said, Qt::ElideRight, dialog.Label5()->width()));
}

void RecordSetHandler::saveKitPart()
{
    if (m_recorder.saveKitPart(m_kitFolder(), m_dialog->Combo2()->currentText()))
        m_dialog->Combo2()->setCurrentText(QString());
    showKit();
}

void RecordSetHandler::showPhase()
{
    RecordSet &dialog = *m_dialog;
    const Recorder::Phase phase = m_recorder.phase();
    const bool recording = phase == Recorder::Recording;
    const bool haveTake = phase == Recorder::Ready || phase == Recorder::Previewing;
    dialog.Command1()->setEnabled(!recording);
    dialog.Command2()->setEnabled(recording || phase == Recorder::Previewing);
    dialog.Command3()->setEnabled(haveTake);
    dialog.Command4()->setEnabled(haveTake);
    if (!recording) {
        dialog.Gauge1()->setValue(MeterFloor);
        dialog.Label1()->clear();
    }
}

void RecordSetHandler::showTake()
{
    const double seconds = m_recorder.seconds();
    QString take
        = m_recorder.take().isEmpty() ? tr("No take") : tr("Take: %1 s").arg(seconds, 0, 'f', 1);
    // Its loudness once measured, and how far it lies from the target where that is far.
    const std::optional<Loudness> loudness = m_recorder.takeLoudness();
    if (loudness && !loudness->silent())
        take += QStringLiteral(", %1 LUFS, %2 dBTP")
                    .arg(loudness->lufs, 0, 'f', 1)
                    .arg(loudness->truePeak, 0, 'f', 1);
    const QString far = loudness && m_state.Audio.AudioLoudness
                            ? TakeLoudness::note(*loudness, *m_state.Audio.AudioLoudness)
                            : QString();
    if (!far.isEmpty())
        take += QLatin1Char('\n') + far; // on a line of its own
    m_dialog->Label2()->setText(take);
}

void RecordSetHandler::showPeak(double dBFS)
{
    RecordSet &dialog = *m_dialog;
    const bool below = !std::isfinite(dBFS) || dBFS * 10 < MeterFloor;
    dialog.Gauge1()->setValue(below ? MeterFloor
                                    : std::clamp(int(std::lround(dBFS * 10)), MeterFloor, 0));
    dialog.Label1()->setText(below ? QStringLiteral("< %1 dBFS").arg(MeterFloor / 10)
                                   : QStringLiteral("%1 dBFS").arg(dBFS, 0, 'f', 1));
}

void RecordSetHandler::showInput()
{
    const QList<SoundChoices::Entry> entries = SoundChoices::entries(
        m_server.inputs(), m_server.defaultInput(), m_state.Audio.AudioInput, tr("Default input"));
    const QString caption = entries.at(SoundChoices::indexOf(entries, m_state.Audio.AudioInput)).caption;
    m_dialog->Label4()->setText(tr("Input: %1").arg(caption));
}
