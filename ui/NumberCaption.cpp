// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/NumberCaption.h"

#include <QGlyphRun>
#include <QPainter>
#include <QTextLayout>

#include <cmath>

namespace {
// Text positions are kept in 1/64 pixel: the line's origin is cut to that, as drawText does (a
// centred caption often starts half a step off it; rounding that up moves a glyph's shading).
qreal onGrid(qreal value)
{
    return std::trunc(value * 64) / 64.0;
}
} // namespace

int NumberCaption::indexOf(QChar c)
{
    for (int i = 0; i < Count; ++i)
        if (c == QLatin1Char(Characters[i]))
            return i;
    return -1;
}

bool NumberCaption::learn(const QFont &font)
{
    m_font = font;
    m_learned = true;
    m_usable = false;

    QString probe;
    for (int a = 0; a < Count; ++a)
        for (int b = 0; b < Count; ++b) {
            probe += QLatin1Char(Characters[a]);
            probe += QLatin1Char(Characters[b]);
        }
    QTextLayout layout(probe, font);
    QTextOption option(Qt::AlignLeft);
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (!line.isValid())
        return false;
    line.setLineWidth(1e6);
    line.setPosition(QPointF(0, 0));
    const bool oneLine = !layout.createLine().isValid();
    layout.endLayout();

    const QList<QGlyphRun> runs = layout.glyphRuns();
    if (!oneLine || runs.size() != 1)
        return false; // a fallback font, or more than one line
    const QList<quint32> glyphs = runs.first().glyphIndexes();
    const QList<QPointF> positions = runs.first().positions();
    if (glyphs.size() != probe.size() || positions.size() != probe.size())
        return false; // ligatures, or characters the font splits

    std::array<bool, Count> known{};
    for (qsizetype i = 0; i < probe.size(); ++i) {
        const int c = indexOf(probe.at(i));
        const qreal next
            = i + 1 < probe.size() ? positions.at(i + 1).x() : line.horizontalAdvance();
        const qreal advance = next - positions.at(i).x();
        if (positions.at(i).y() != positions.first().y())
            return false;
        if (!known[c]) {
            known[c] = true;
            m_glyphs[c] = glyphs.at(i);
            m_advances[c] = advance;
        } else if (m_glyphs[c] != glyphs.at(i) || m_advances[c] != advance) {
            return false; // this pair is set apart from the others (kerning)
        }
    }
    m_rawFont = runs.first().rawFont();
    m_ascent = line.ascent();
    m_height = line.ascent() + line.descent();
    m_usable = positions.first().y() == m_ascent;
    return m_usable;
}

bool NumberCaption::draw(QPainter &painter, const QRectF &rect, const QString &text)
{
    if (text.isEmpty() || text.size() > MaxLength || painter.layoutDirection() != Qt::LeftToRight)
        return false;
    std::array<int, MaxLength> characters;
    for (qsizetype i = 0; i < text.size(); ++i) {
        characters[i] = indexOf(text.at(i));
        if (characters[i] < 0)
            return false;
    }
    const QFont font = painter.font();
    if (!m_learned || font != m_font) {
        // A caption that never changes (a memory's number) is left to drawText: learning a font
        // costs more than drawing it a few times.
        if (m_firstText.isEmpty() || m_firstText == text || font != m_firstFont) {
            m_firstText = text;
            m_firstFont = font;
            return false;
        }
        learn(font);
    }
    if (!m_usable)
        return false;

    QList<quint32> glyphs(text.size());
    QList<QPointF> positions(text.size());
    qreal width = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        glyphs[i] = m_glyphs[characters[i]];
        positions[i] = QPointF(width, m_ascent);
        width += m_advances[characters[i]];
    }
    // Centred as drawText centres one line; a caption that needs wrapping or clipping is its.
    const QRectF bounds(rect.x() + (rect.width() - width) / 2,
                        rect.y() + (rect.height() - m_height) / 2, width, m_height);
    if (width > rect.width() || !rect.contains(bounds))
        return false;

    QGlyphRun run;
    run.setRawFont(m_rawFont);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    painter.drawGlyphRun(QPointF(onGrid(bounds.x()), onGrid(bounds.y())), run);
    return true;
}
