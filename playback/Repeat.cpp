// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/Repeat.h"

#include "settings/TextRules.h"
#include "station/AppState.h"
#include "station/Controls.h"
#include "station/FormTimer.h"
#include "station/Keying.h"
#include "station/Refusal.h"

Repeat::Repeat(AppState &state, const Controls &controls, Keying &keying, Refusal &refusal)
    : m_state(state), m_controls(controls), m_keying(keying), m_refusal(refusal)
{ }

void Repeat::Check3d1_Click(int Index)
{
    // Only the current memory's box counts now; the others are read when their memory starts.
    if (Index == m_state.CurMem)
        m_state.RepOn = m_state.MemRepeat.at(Index);
}

void Repeat::HScroll1_Change()
{
    m_controls.Panel3d2.setCaption(
        TextRules::formatOneDecimal(m_controls.HScroll1.value() / 1000.0));
}

void Repeat::Panel3d2_Click()
{
    if (m_state.CurMem == -1) {
        m_refusal.ShowErr();
        return;
    }
    m_state.MemDelay[m_state.CurMem] = m_controls.HScroll1.value();
}

void Repeat::Panel3d1_Click()
{
    m_refusal.ShowErr();
}

void Repeat::RepReset()
{
    const bool pause = m_state.Playing() == 1 && m_state.RepOn;
    m_controls.Panel3d1.setCaption(pause ? QStringLiteral("Pause") : QStringLiteral("Idle"));
    m_controls.Panel3d1.repaint();
}

void Repeat::Timer1_Timer()
{
    // One tick per arming.
    m_controls.Timer1.setInterval(0);
    m_controls.Timer1.setEnabled(false);
    if (!m_state.Playing())
        return; // the cycle was stopped meanwhile

    m_state.PlayTime = 0;
    // The open file plays again from its start, keyed as the rules say.
    m_keying.messageRestarts();
}

void Repeat::arm()
{
    m_controls.Timer1.setInterval(m_controls.HScroll1.value());
    m_controls.Timer1.setEnabled(true);
}

void Repeat::disarm()
{
    m_controls.Timer1.setEnabled(false);
}
