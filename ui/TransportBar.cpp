// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TransportBar.h"

#include <QHBoxLayout>
#include <QStyle>
#include <QToolButton>

TransportBar::TransportBar(QWidget *parent) : QWidget(parent)
{
    struct Entry
    {
        ButtonId id;
        const char *name;
        const char *toolTip;
        QStyle::StandardPixmap icon;
    };
    const Entry entries[] = {
        {Prev, "Prev", "Back to the start", QStyle::SP_MediaSkipBackward},
        {Play, "Play", "Play", QStyle::SP_MediaPlay},
        {Pause, "Pause", "Pause", QStyle::SP_MediaPause},
        {Stop, "Stop", "Stop", QStyle::SP_MediaStop},
        {Next, "Next", "To the end", QStyle::SP_MediaSkipForward},
    };

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (const Entry &entry : entries) {
        auto *button = new QToolButton(this);
        button->setObjectName(QLatin1String("MMControl1_") + QLatin1String(entry.name));
        button->setIcon(style()->standardIcon(entry.icon));
        button->setToolTip(QLatin1String(entry.toolTip));
        button->setAutoRaise(false);
        button->setFocusPolicy(Qt::StrongFocus);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        layout->addWidget(button);
        m_buttons[entry.id] = button;
        const ButtonId id = entry.id;
        connect(button, &QToolButton::clicked, this, [this, id] { press(id); });
    }
    setMode(SoundPlayer::Mode::NotReady);
}

QList<QWidget *> TransportBar::focusChain() const
{
    return {m_buttons[Prev], m_buttons[Play], m_buttons[Pause], m_buttons[Stop], m_buttons[Next]};
}

void TransportBar::setMode(SoundPlayer::Mode mode)
{
    const bool ready = mode != SoundPlayer::Mode::NotReady;
    const bool playing = mode == SoundPlayer::Mode::Playing;
    m_buttons[Prev]->setEnabled(ready);
    m_buttons[Next]->setEnabled(ready);
    m_buttons[Play]->setEnabled(ready && !playing);
    m_buttons[Pause]->setEnabled(playing);
    m_buttons[Stop]->setEnabled(playing);
}

void TransportBar::press(ButtonId id)
{
    bool Cancel = false;
    switch (id) {
    case Prev:
        emit PrevClick(Cancel);
        break;
    case Play:
        emit PlayClick(Cancel);
        break;
    case Stop:
        emit StopClick(Cancel);
        break;
    case Pause:
    case Next:
    case ButtonCount:
        break;
    }
    if (!Cancel && id != ButtonCount)
        emit command(id);
}
