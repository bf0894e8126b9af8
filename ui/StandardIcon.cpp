// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/StandardIcon.h"

#include <QApplication>
#include <QIconEngine>
#include <QPointer>
#include <QWidget>

namespace {

class DeferredIconEngine : public QIconEngine
{
public:
    DeferredIconEngine(QStyle *style, QStyle::StandardPixmap which, const QWidget *widget)
        : m_style(style), m_which(which), m_widget(const_cast<QWidget *>(widget))
    { }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }

    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, 1.0, mode, state);
    }

    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override
    {
        // `size` is in device pixels; the icon is asked in its own units at that ratio.
        return icon().pixmap(size / scale, scale, mode, state);
    }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }

    QString key() const override { return QStringLiteral("DeferredIconEngine"); }
    QString iconName() override { return icon().name(); }
    bool isNull() override { return false; }
    QIconEngine *clone() const override { return new DeferredIconEngine(*this); }

private:
    const QIcon &icon()
    {
        if (!m_resolved) {
            QStyle *style = m_style ? m_style.data() : QApplication::style();
            m_icon = style->standardIcon(m_which, nullptr, m_widget.data());
            m_resolved = true;
        }
        return m_icon;
    }

    QPointer<QStyle> m_style;
    QStyle::StandardPixmap m_which;
    QPointer<QWidget> m_widget;
    QIcon m_icon;
    bool m_resolved = false;
};

// The icons the style draws itself where the desktop's theme has none: never null.
bool alwaysThere(QStyle::StandardPixmap which)
{
    switch (which) {
    case QStyle::SP_MediaPlay:
    case QStyle::SP_MediaStop:
    case QStyle::SP_MediaPause:
    case QStyle::SP_MediaSkipForward:
    case QStyle::SP_MediaSkipBackward:
    case QStyle::SP_MediaSeekForward:
    case QStyle::SP_MediaSeekBackward:
    case QStyle::SP_ToolBarHorizontalExtensionButton:
    case QStyle::SP_ToolBarVerticalExtensionButton:
        return true;
    default:
        return false;
    }
}

} // namespace

QIcon deferredStandardIcon(QStyle *style, QStyle::StandardPixmap which, const QWidget *widget)
{
    return QIcon(new DeferredIconEngine(style, which, widget));
}

DeferredIconStyle::DeferredIconStyle(QStyle *base) : QProxyStyle(base) { }

QIcon DeferredIconStyle::standardIcon(StandardPixmap which, const QStyleOption *option,
                                      const QWidget *widget) const
{
    // An option (a direction of its own) is not kept for later: such icons are looked up now.
    if (option || !alwaysThere(which))
        return QProxyStyle::standardIcon(which, option, widget);
    return deferredStandardIcon(baseStyle(), which, widget);
}
