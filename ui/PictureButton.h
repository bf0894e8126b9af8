// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/NumberCaption.h"

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>

// A push button in picture style: a face picture behind a readable caption, with its own
// pictures for the pressed and the disabled state, and a back colour that shows as a rim around
// the face. It also reports every mouse press, whichever the button, with its position.
class PictureButton : public QAbstractButton
{
    Q_OBJECT
public:
    explicit PictureButton(QWidget *parent = nullptr);

    void setPicture(const QPixmap &picture);
    QPixmap picture() const { return m_picture; }

    void setDownPicture(const QPixmap &picture);
    QPixmap downPicture() const { return m_downPicture; }

    void setDisabledPicture(const QPixmap &picture);
    QPixmap disabledPicture() const { return m_disabledPicture; }

    void setBackColor(const QColor &color);
    QColor backColor() const { return m_backColor; }

    // A short text the handlers keep on the button (the blink marker of the standby button).
    void setTag(const QString &tag) { m_tag = tag; }
    QString tag() const { return m_tag; }

    QSize sizeHint() const override;

signals:
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    bool event(QEvent *event) override;

private:
    QPixmap body(bool down) const;

    struct BodyKey
    {
        qint64 face = 0;
        QSize size;
        qreal ratio = 0;
        QRgb back = 0;
        bool down = false;
        bool operator==(const BodyKey &) const = default;
    };

    QPixmap m_picture;
    QPixmap m_downPicture;
    QPixmap m_disabledPicture;
    QColor m_backColor;
    QString m_tag;
    mutable QPixmap m_body; // the button last drawn, without its caption
    mutable BodyKey m_bodyKey;
    NumberCaption m_number;
};
