// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Fonts.h"

#include "station/AppState.h"
#include "station/Dialogs.h"

#include <QWidget>
#include <cmath>

Fonts::Fonts(AppState &state, QList<QWidget *> buttons, QList<QWidget *> labels, Dialogs &dialogs)
    : m_state(state), m_buttons(std::move(buttons)), m_labels(std::move(labels)), m_dialogs(dialogs)
{ }

void Fonts::SetFontsB()
{
    apply(1, m_buttons);
}

void Fonts::SetFontsL()
{
    apply(2, m_labels);
}

void Fonts::Charactersb_Click()
{
    choose(1);
    SetFontsB();
}

void Fonts::Charactersl_Click()
{
    choose(2);
    SetFontsL();
}

void Fonts::apply(int element, const QList<QWidget *> &controls)
{
    for (QWidget *control : controls) {
        QFont font = control->font();
        font.setFamily(m_state.Fonts.FntName[element]);
        // A size the toolkit cannot show (0 or less, from a hand-edited file) keeps the
        // control's present size.
        if (m_state.Fonts.FntSize[element] > 0)
            font.setPointSize(m_state.Fonts.FntSize[element]);
        font.setBold(m_state.Fonts.FntBold[element]);
        font.setItalic(m_state.Fonts.FntItalic[element]);
        control->setFont(font);
        control->repaint();
    }
}

void Fonts::choose(int element)
{
    const Dialogs::FontChoice stored{m_state.Fonts.FntName[element], double(m_state.Fonts.FntSize[element]),
                                     m_state.Fonts.FntBold[element], m_state.Fonts.FntItalic[element]};
    const Dialogs::FontChoice chosen = m_dialogs.chooseFont(stored);
    m_state.Fonts.FntName[element] = chosen.name;
    // Whole points, an exact half to the even neighbour (10.5 gives 10, 11.5 gives 12).
    const double rounded = std::nearbyint(chosen.pointSize);
    m_state.Fonts.FntSize[element] = qint16(qBound(-32768.0, rounded, 32767.0));
    m_state.Fonts.FntBold[element] = chosen.bold;
    m_state.Fonts.FntItalic[element] = chosen.italic;
}
