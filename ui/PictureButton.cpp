// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PictureButton.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>

namespace {
constexpr int Rim = 3; // width of the back colour around the face
}

PictureButton::PictureButton(QWidget *parent)
    : QAbstractButton(parent), m_backColor(palette().color(QPalette::Button))
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureButton::setPicture(const QPixmap &picture)
{
    m_picture = picture;
    update();
}

void PictureButton::setDownPicture(const QPixmap &picture)
{
    m_downPicture = picture;
    update();
}

void PictureButton::setDisabledPicture(const QPixmap &picture)
{
    m_disabledPicture = picture;
    update();
}

void PictureButton::setBackColor(const QColor &color)
{
    m_backColor = color;
    update();
}

QSize PictureButton::sizeHint() const
{
    return {73, 41};
}

void PictureButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const bool down = isDown();
    painter.drawPixmap(0, 0, body(down));

    const QRect faceRect = rect().adjusted(Rim, Rim, -Rim, -Rim);
    painter.setFont(font());
    painter.setPen(isEnabled() ? palette().color(QPalette::ButtonText)
                               : palette().color(QPalette::Disabled, QPalette::ButtonText));
    const QRect textRect = down ? faceRect.translated(1, 1) : faceRect;
    if (!m_number.draw(painter, textRect, text()))
        painter.drawText(textRect, Qt::AlignCenter | Qt::TextWordWrap, text());

    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = faceRect.adjusted(2, 2, -2, -2);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

// The button without its caption: the back colour as a rim, the face picture scaled onto the
// rest, and a raised bevel, sunken while held down. It is kept, as it changes far less often than
// the caption: the status panel's caption changes about eighteen times a second while a message
// plays, and drawing all of it each time would cost more than everything else the program does
// then.
QPixmap PictureButton::body(bool down) const
{
    QPixmap face = m_picture;
    if (!isEnabled() && !m_disabledPicture.isNull())
        face = m_disabledPicture;
    else if (down && !m_downPicture.isNull())
        face = m_downPicture;

    const qreal ratio = devicePixelRatioF();
    const QRect all = rect();
    const BodyKey key{face.cacheKey(), all.size(), ratio, m_backColor.rgba(), down};
    if (key == m_bodyKey && !m_body.isNull())
        return m_body;

    m_body = QPixmap((QSizeF(all.size()) * ratio).toSize());
    m_body.setDevicePixelRatio(ratio);
    QPainter painter(&m_body);
    painter.fillRect(all, m_backColor);
    const QRect faceRect = all.adjusted(Rim, Rim, -Rim, -Rim);
    if (!face.isNull())
        painter.drawPixmap(faceRect, face.scaled((QSizeF(faceRect.size()) * ratio).toSize(),
                                                 Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    const QColor light(255, 255, 255, 200);
    const QColor dark(0, 0, 0, 150);
    painter.setPen(down ? dark : light);
    painter.drawLine(all.topLeft(), all.topRight());
    painter.drawLine(all.topLeft(), all.bottomLeft());
    painter.setPen(down ? light : dark);
    painter.drawLine(all.bottomLeft(), all.bottomRight());
    painter.drawLine(all.topRight(), all.bottomRight());
    m_bodyKey = key;
    return m_body;
}

// The button paints every pixel it covers: a change of its face or caption repaints it alone, not
// the frame and the window behind it. A style sheet's style clears that when it polishes the
// button, so it is said again after every polish.
bool PictureButton::event(QEvent *event)
{
    const bool handled = QAbstractButton::event(event);
    if (event->type() == QEvent::Polish || event->type() == QEvent::StyleChange)
        setAttribute(Qt::WA_OpaquePaintEvent);
    return handled;
}

void PictureButton::mousePressEvent(QMouseEvent *event)
{
    emit mouseDown(event->button(), event->modifiers(), event->position().toPoint());
    QAbstractButton::mousePressEvent(event);
}
