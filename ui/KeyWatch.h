// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>

class QKeyEvent;
class QWidget;
class StationKeys;

// Hands the station its keys from every window of the program: the main window, its dialogs,
// their menus and lists, the standard dialogs opened over it. It watches the key events of the
// whole application and takes those of the windows that belong to `mainWindow` (the window and
// everything opened over it); what the station leaves alone goes on to the window as before.
class KeyWatch : public QObject
{
    Q_OBJECT
public:
    KeyWatch(StationKeys &keys, QWidget &mainWindow);
    ~KeyWatch() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool belongs(const QWidget *widget) const;

    StationKeys &m_keys;
    QWidget &m_mainWindow;
    // The key event seen last, and the control it went to: a key that a control leaves alone is
    // passed on to the control that holds it, as the same event, which is not a new key.
    const QKeyEvent *m_lastEvent = nullptr;
    QPointer<QWidget> m_lastReceiver;
};
