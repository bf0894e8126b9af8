// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QRawFont>
#include <QString>

#include <array>

class QPainter;
class QRectF;

// Draws a button's caption when it is a number (digits, a decimal point or comma) from glyphs
// looked up once per font, without laying the text out again: the status panel's caption changes
// about eighteen times a second while a message plays, and shaping it each time cost more than
// the rest of the window's work then. What it draws is what QPainter::drawText draws for one line
// centred in the rectangle, pixel for pixel. A font whose digits and separators do not simply
// follow one another (kerning, ligatures, a fallback font for one of them), a caption with any
// other character, or one that does not fit, is left to drawText.
class NumberCaption
{
public:
    // Draws text centred in rect, in the painter's font and pen; false, with nothing drawn, where
    // drawText must draw it.
    bool draw(QPainter &painter, const QRectF &rect, const QString &text);

private:
    // The characters it draws, and where each one's glyph and advance are kept.
    static constexpr char Characters[] = "0123456789.,";
    static constexpr int Count = sizeof(Characters) - 1;
    static constexpr int MaxLength = 24;
    static int indexOf(QChar c);

    // Learns the glyphs of `font` from one laid-out line that holds every pair of the
    // characters; false when they are not simply set one after another.
    bool learn(const QFont &font);

    // The first caption drawn in the font last seen: a font is learnt at its second one.
    QString m_firstText;
    QFont m_firstFont;

    QFont m_font;
    bool m_learned = false;
    bool m_usable = false;
    QRawFont m_rawFont;
    std::array<quint32, Count> m_glyphs{};
    std::array<qreal, Count> m_advances{};
    qreal m_ascent = 0;
    qreal m_height = 0; // ascent and descent: the line's height as drawText centres it
};
