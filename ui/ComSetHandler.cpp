// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ComSetHandler.h"

#include "ptt/SerialKeyer.h"
#include "ptt/SerialLines.h"
#include "station/AppState.h"
#include "station/LineUse.h"
#include "ui/ComSet.h"

#include <QCheckBox>
#include <QRadioButton>

ComSetHandler::ComSetHandler(AppState &state, QWidget &mainWindow, SerialLines &MSComm1,
                             SerialKeyer &keyer)
    : m_state(state), m_mainWindow(mainWindow), m_lines(MSComm1), m_keyer(keyer)
{ }

ComSetHandler::~ComSetHandler()
{
    delete m_dialog;
}

ComSet *ComSetHandler::form() const
{
    return m_dialog;
}

void ComSetHandler::Parameters_Click()
{
    if (!m_dialog)
        load();
    showDevices();
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
}

void ComSetHandler::load()
{
    m_dialog = new ComSet(&m_mainWindow);
    ComSet *dialog = m_dialog;
    connect(dialog, &ComSet::Check1_Click, this, &ComSetHandler::Check1_Click);
    connect(dialog, &ComSet::Check2_Click, this, &ComSetHandler::Check2_Click);
    connect(dialog, &ComSet::Option1_Click, this, &ComSetHandler::Option1_Click);
    connect(dialog, &ComSet::Command1_Click, this, &ComSetHandler::Command1_Click);
    // Unloaded by its close box: the next opening loads it afresh. The port is not touched.
    connect(dialog, &ComSet::Form_Unload, this, [this, dialog] {
        if (m_dialog == dialog)
            m_dialog = nullptr;
    });
    Form_Load();
}

void ComSetHandler::Form_Load()
{
    ComSet &dialog = *m_dialog;
    dialog.Option2(0)->setChecked(m_state.Ptt.RtsPos);
    dialog.Option2(1)->setChecked(!m_state.Ptt.RtsPos);
    dialog.Option3(0)->setChecked(m_state.Ptt.DtrPos);
    dialog.Option3(1)->setChecked(!m_state.Ptt.DtrPos);
    // A box ticked here reports a click, which takes the same polarity again and enables its
    // options; a box left unticked keeps its options selectable.
    dialog.Check1()->setChecked(m_state.Ptt.RtsOn);
    dialog.Check2()->setChecked(m_state.Ptt.DtrOn);
    // A number outside 1 to 8 (a hand-edited settings file) selects no option; "OK" then
    // reports that the port has no device.
    if (m_state.Ptt.ComNum >= 1 && m_state.Ptt.ComNum <= 8)
        dialog.Option1(m_state.Ptt.ComNum - 1)->setChecked(true);
}

void ComSetHandler::Check1_Click()
{
    const bool takenIntoUse = !m_state.Ptt.RtsOn && m_dialog->Check1()->isChecked();
    m_state.Ptt.RtsOn = m_dialog->Check1()->isChecked();
    if (m_state.Ptt.RtsOn)
        m_state.Ptt.RtsPos = m_dialog->Option2(0)->isChecked();
    m_dialog->Option2(0)->setEnabled(m_state.Ptt.RtsOn);
    m_dialog->Option2(1)->setEnabled(m_state.Ptt.RtsOn);
    // Ticking the box never keys.
    emit linesChanged(takenIntoUse ? LineUse::Rts : 0);
}

void ComSetHandler::Check2_Click()
{
    const bool takenIntoUse = !m_state.Ptt.DtrOn && m_dialog->Check2()->isChecked();
    m_state.Ptt.DtrOn = m_dialog->Check2()->isChecked();
    if (m_state.Ptt.DtrOn)
        m_state.Ptt.DtrPos = m_dialog->Option3(0)->isChecked();
    m_dialog->Option3(0)->setEnabled(m_state.Ptt.DtrOn);
    m_dialog->Option3(1)->setEnabled(m_state.Ptt.DtrOn);
    emit linesChanged(takenIntoUse ? LineUse::Dtr : 0);
}

void ComSetHandler::Option1_Click(int Index)
{
    m_state.Ptt.ComNum = qint16(Index + 1);
}

void ComSetHandler::Command1_Click()
{
    m_keyer.open();
    // The message box of a failed opening may have let the close box run meanwhile.
    if (m_dialog)
        m_dialog->hide();
}

// Each port option names its device, which may change while the program runs (adapters are
// plugged in and out), so it is looked up at every opening.
void ComSetHandler::showDevices()
{
    for (int i = 0; i < 8; ++i) {
        const QString device = m_lines.deviceName(i + 1);
        m_dialog->Option1(i)->setToolTip(device.isEmpty() ? tr("no device") : device);
    }
}
