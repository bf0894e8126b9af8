// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CaptionFrame.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>

namespace {
// The caption's distance from the frame's left edge, the clear space on either side of it, and
// the border's width (two lines: the etched groove).
constexpr int CaptionLeft = 5;
constexpr int CaptionPadding = 2;
constexpr int BorderWidth = 2;

void line(QPainter &painter, QPoint from, QPoint to, const QColor &color)
{
    painter.fillRect(QRect(from, to), color);
}
} // namespace

CaptionFrame::CaptionFrame(QWidget *parent) : QGroupBox(parent) { }

qreal CaptionFrame::widthFor(const QFont &font, const QString &caption)
{
    return QFontMetricsF(font).horizontalAdvance(caption) + CaptionLeft + 2 * CaptionPadding
           + BorderWidth;
}

int CaptionFrame::borderTop() const
{
    if (title().isEmpty())
        return 0;
    const QFontMetricsF metrics(font());
    return qMax(0, qRound(metrics.ascent() - metrics.capHeight() / 2) - BorderWidth / 2);
}

QRect CaptionFrame::captionRect() const
{
    if (title().isEmpty())
        return {};
    return textRect().adjusted(-CaptionPadding, 0, CaptionPadding, 0);
}

QRect CaptionFrame::textRect() const
{
    // The caption is centred in a space one blank wider than it.
    const QFontMetrics metrics(font());
    const int width = metrics.size(Qt::TextShowMnemonic, title() + QLatin1Char(' ')).width();
    return {CaptionLeft + CaptionPadding, 0, width, metrics.height()};
}

void CaptionFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect caption = captionRect();
    painter.setClipRegion(QRegion(rect()) - caption);

    // The groove: a dark outer and a light inner line at the top and left, the other way round
    // at the bottom and right; the top and left lines are drawn over the corners they share.
    const QColor dark = palette().color(QPalette::Mid);
    const QColor light = dark.lighter();
    const int left = 0, top = borderTop(), right = width() - 1, bottom = height() - 1;
    line(painter, {left, bottom}, {right, bottom}, light);
    line(painter, {left + 1, bottom - 1}, {right - 1, bottom - 1}, dark);
    line(painter, {right, top}, {right, bottom}, light);
    line(painter, {right - 1, top + 1}, {right - 1, bottom - 1}, dark);
    line(painter, {left, top}, {right, top}, dark);
    line(painter, {left + 1, top + 1}, {right - 1, top + 1}, light);
    line(painter, {left, top}, {left, bottom}, dark);
    line(painter, {left + 1, top + 1}, {left + 1, bottom - 1}, light);

    if (caption.isEmpty())
        return;
    painter.setClipping(false);
    style()->drawItemText(&painter, textRect(), Qt::AlignCenter | Qt::TextShowMnemonic, palette(),
                          isEnabled(), title(), QPalette::WindowText);
}
