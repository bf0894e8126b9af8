// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QLine>
#include <QList>
#include <QRect>

class QPainter;

// A picture kept as the shapes it is drawn from, on a square grid of whole pixels, so that one
// drawing gives the crisp pixel picture at the grid's size, smooth pictures at any other size,
// and a scalable SVG file of the same design.
//
// The shapes follow QPainter's pixel rules: a filled rectangle covers its pixels exactly; a line
// or an outline of width 1 covers the pixels to the right of and below its points.
class Sketch
{
public:
    explicit Sketch(int gridSize) : m_grid(gridSize) { }

    int gridSize() const { return m_grid; }

    void fillRect(const QRect &rect, const QColor &color);
    void line(const QLine &line, const QColor &color);
    // Outlined with a pen of width 1 and filled with `brush`.
    void roundedRect(const QRect &rect, int radius, const QColor &pen, const QColor &brush);
    void ellipse(const QRect &rect, const QColor &pen, const QColor &brush);
    // Angles in sixteenths of a degree, counter-clockwise from three o'clock, as QPainter has
    // them.
    void arc(const QRect &rect, int startAngle, int spanAngle, const QColor &pen, int penWidth);

    // Paints the shapes on the grid as it is, without smoothing: pixel for pixel.
    void paintPixels(QPainter &painter) const;
    // The picture `size` x `size` pixels large, smoothed.
    QImage render(int size) const;
    // The picture as an SVG document over the grid.
    QByteArray svg() const;

private:
    enum Kind { FillRect, Line, RoundedRect, Ellipse, Arc };
    struct Shape
    {
        Kind kind;
        QRect rect;
        QLine line;
        QColor pen; // invalid: no outline
        QColor brush; // invalid: no filling
        int penWidth = 1;
        int radius = 0;
        int startAngle = 0;
        int spanAngle = 0;
    };

    void paint(QPainter &painter, const Shape &shape, bool smooth) const;
    static QByteArray svgShape(const Shape &shape);

    int m_grid;
    QList<Shape> m_shapes;
};
