// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/KeyWatch.h"

#include "station/StationKeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace {
// Shift bits as a window reports them: shift 1, ctrl 2, alt 4.
int shiftBits(Qt::KeyboardModifiers modifiers)
{
    int Shift = 0;
    if (modifiers & Qt::ShiftModifier)
        Shift |= StationKeys::ShiftKey;
    if (modifiers & Qt::ControlModifier)
        Shift |= StationKeys::CtrlKey;
    if (modifiers & Qt::AltModifier)
        Shift |= StationKeys::AltKey;
    return Shift;
}
} // namespace

KeyWatch::KeyWatch(StationKeys &keys, QWidget &mainWindow) : m_keys(keys), m_mainWindow(mainWindow)
{
    QCoreApplication *application = QCoreApplication::instance();
    application->installEventFilter(this);
    // Keys let go while another program has the keyboard are never seen going up here.
    if (auto *gui = qobject_cast<QGuiApplication *>(application)) {
        connect(gui, &QGuiApplication::applicationStateChanged, this,
                [this](Qt::ApplicationState state) {
                    if (state != Qt::ApplicationActive)
                        m_keys.releaseAll();
                });
    }
}

KeyWatch::~KeyWatch()
{
    if (QCoreApplication *application = QCoreApplication::instance())
        application->removeEventFilter(this);
}

bool KeyWatch::belongs(const QWidget *widget) const
{
    for (; widget; widget = widget->parentWidget()) {
        if (widget == &m_mainWindow)
            return true;
    }
    return false;
}

bool KeyWatch::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if ((type != QEvent::KeyPress && type != QEvent::KeyRelease) || !watched->isWidgetType())
        return false;
    auto *widget = static_cast<QWidget *>(watched);
    auto *key = static_cast<QKeyEvent *>(event);
    if (key == m_lastEvent && m_lastReceiver && !m_lastReceiver->isWindow()
        && m_lastReceiver->parentWidget() == widget) {
        m_lastReceiver = widget;
        return false;
    }
    if (!belongs(widget))
        return false;
    m_lastEvent = key;
    m_lastReceiver = widget;

    if (type == QEvent::KeyRelease) {
        m_keys.keyUp(key->key(), key->isAutoRepeat(), key->timestamp());
        return false;
    }
    const bool taken = m_keys.keyDown(key->key(), shiftBits(key->modifiers()), key->isAutoRepeat(),
                                      key->timestamp());
    if (taken)
        key->accept();
    return taken;
}
