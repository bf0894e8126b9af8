// SPDX-License-Identifier: GPL-3.0-or-later
#include "images/generator/Sketch.h"

#include <QPainter>
#include <QtMath>

namespace {

QByteArray num(double value)
{
    // Short and exact enough for a 32-unit grid; the same text on every run.
    QByteArray text = QByteArray::number(value, 'f', 3);
    while (text.contains('.') && (text.endsWith('0') || text.endsWith('.')))
        text.chop(1);
    return text == "-0" ? "0" : text;
}

QByteArray colorText(const QColor &color)
{
    return color.isValid() ? color.name(QColor::HexRgb).toLatin1() : QByteArray("none");
}

QByteArray paintAttributes(const QColor &pen, int penWidth, const QColor &brush)
{
    QByteArray text = " fill=\"" + colorText(brush) + '"';
    if (pen.isValid())
        text += " stroke=\"" + colorText(pen) + "\" stroke-width=\"" + num(penWidth)
                + "\" stroke-linecap=\"square\"";
    return text;
}

// A point of the ellipse in `rect` at `angle` sixteenths of a degree (counter-clockwise on
// screen, so the y axis turns down).
QPointF ellipsePoint(const QRectF &rect, int angle)
{
    const double radians = qDegreesToRadians(angle / 16.0);
    return {rect.center().x() + rect.width() / 2 * std::cos(radians),
            rect.center().y() - rect.height() / 2 * std::sin(radians)};
}

} // namespace

void Sketch::fillRect(const QRect &rect, const QColor &color)
{
    m_shapes.append({FillRect, rect, {}, {}, color});
}

void Sketch::line(const QLine &line, const QColor &color)
{
    m_shapes.append({Line, {}, line, color, {}});
}

void Sketch::roundedRect(const QRect &rect, int radius, const QColor &pen, const QColor &brush)
{
    Shape shape{RoundedRect, rect, {}, pen, brush};
    shape.radius = radius;
    m_shapes.append(shape);
}

void Sketch::ellipse(const QRect &rect, const QColor &pen, const QColor &brush)
{
    m_shapes.append({Ellipse, rect, {}, pen, brush});
}

void Sketch::arc(const QRect &rect, int startAngle, int spanAngle, const QColor &pen, int penWidth)
{
    Shape shape{Arc, rect, {}, pen, {}};
    shape.penWidth = penWidth;
    shape.startAngle = startAngle;
    shape.spanAngle = spanAngle;
    m_shapes.append(shape);
}

void Sketch::paint(QPainter &painter, const Shape &shape, bool smooth) const
{
    if (shape.kind == FillRect) {
        if (smooth)
            painter.fillRect(QRectF(shape.rect), shape.brush);
        else
            painter.fillRect(shape.rect, shape.brush);
        return;
    }
    painter.setPen(QPen(shape.pen, shape.penWidth));
    painter.setBrush(shape.brush.isValid() ? QBrush(shape.brush) : QBrush(Qt::NoBrush));
    // Unsmoothed, a pen of width 1 covers the pixels right of and below its points: smoothed,
    // the same outline lies half a pixel further on.
    painter.save();
    if (smooth)
        painter.translate(0.5, 0.5);
    switch (shape.kind) {
    case Line:
        painter.drawLine(shape.line);
        break;
    case RoundedRect:
        painter.drawRoundedRect(shape.rect, shape.radius, shape.radius);
        break;
    case Ellipse:
        painter.drawEllipse(shape.rect);
        break;
    case Arc:
        painter.drawArc(shape.rect, shape.startAngle, shape.spanAngle);
        break;
    case FillRect:
        break;
    }
    painter.restore();
}

void Sketch::paintPixels(QPainter &painter) const
{
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const Shape &shape : m_shapes)
        paint(painter, shape, false);
}

QImage Sketch::render(int size) const
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.scale(double(size) / m_grid, double(size) / m_grid);
    for (const Shape &shape : m_shapes)
        paint(painter, shape, true);
    return image;
}

QByteArray Sketch::svgShape(const Shape &shape)
{
    // Outlines lie half a unit right of and below their points, as in the smoothed pictures.
    const QRectF r = QRectF(shape.rect).translated(0.5, 0.5);
    switch (shape.kind) {
    case FillRect:
        return "<rect x=\"" + num(shape.rect.x()) + "\" y=\"" + num(shape.rect.y()) + "\" width=\""
               + num(shape.rect.width()) + "\" height=\"" + num(shape.rect.height()) + "\" fill=\""
               + colorText(shape.brush) + "\"/>";
    case Line:
        return "<line x1=\"" + num(shape.line.x1() + 0.5) + "\" y1=\"" + num(shape.line.y1() + 0.5)
               + "\" x2=\"" + num(shape.line.x2() + 0.5) + "\" y2=\"" + num(shape.line.y2() + 0.5)
               + '"' + paintAttributes(shape.pen, shape.penWidth, {}) + "/>";
    case RoundedRect:
        return "<rect x=\"" + num(r.x()) + "\" y=\"" + num(r.y()) + "\" width=\"" + num(r.width())
               + "\" height=\"" + num(r.height()) + "\" rx=\"" + num(shape.radius) + "\" ry=\""
               + num(shape.radius) + '"' + paintAttributes(shape.pen, shape.penWidth, shape.brush)
               + "/>";
    case Ellipse:
        return "<ellipse cx=\"" + num(r.center().x()) + "\" cy=\"" + num(r.center().y())
               + "\" rx=\"" + num(r.width() / 2) + "\" ry=\"" + num(r.height() / 2) + '"'
               + paintAttributes(shape.pen, shape.penWidth, shape.brush) + "/>";
    case Arc: {
        const QPointF from = ellipsePoint(r, shape.startAngle);
        const QPointF to = ellipsePoint(r, shape.startAngle + shape.spanAngle);
        // A positive span turns counter-clockwise on screen: SVG's sweep flag 0.
        const QByteArray large = std::abs(shape.spanAngle) > 180 * 16 ? "1" : "0";
        const QByteArray sweep = shape.spanAngle > 0 ? "0" : "1";
        return "<path d=\"M " + num(from.x()) + ' ' + num(from.y()) + " A " + num(r.width() / 2)
               + ' ' + num(r.height() / 2) + " 0 " + large + ' ' + sweep + ' ' + num(to.x()) + ' '
               + num(to.y()) + '"' + paintAttributes(shape.pen, shape.penWidth, {}) + "/>";
    }
    }
    return {};
}

QByteArray Sketch::svg() const
{
    const QByteArray size = num(m_grid);
    QByteArray text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\""
                      + size + "\" height=\"" + size + "\" viewBox=\"0 0 " + size + ' ' + size
                      + "\">\n";
    for (const Shape &shape : m_shapes)
        text += "  " + svgShape(shape) + '\n';
    text += "</svg>\n";
    return text;
}
