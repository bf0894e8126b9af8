// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>

class SettingsBook;
struct AppState;
class Dialogs;
class QWidget;

// The two fonts the operator chooses: the button font (element 1) for the picture-style buttons
// and the label font (element 2) for the captioned frames.
class Fonts
{
public:
    Fonts(SettingsBook &settings, QList<QWidget *> buttons, QList<QWidget *> labels,
          Dialogs &dialogs);

    // Applies the stored button font to the buttons.
    void SetFontsB();
    // Applies the stored label font to the frames.
    void SetFontsL();

    // Setup > Characters > Buttons / Labels.
    void Charactersb_Click();
    void Charactersl_Click();

private:
    void apply(int element, const QList<QWidget *> &controls);
    void choose(int element);

    SettingsBook &m_settings;
    const AppState &m_state;
    QList<QWidget *> m_buttons;
    QList<QWidget *> m_labels;
    Dialogs &m_dialogs;
};
