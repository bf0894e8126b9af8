// SPDX-License-Identifier: GPL-3.0-or-later
#include "images/generator/StationSigns.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

struct SignColours
{
    QColor panelCentre; // the lit middle of the panel
    QColor panelEdge; // the panel towards its rim
    QColor letters;
    QColor glow; // the halo around the letters
};

// Lays `text` out as one line filling `box`: as tall as the box, and narrowed to fit its width,
// but never to less than MinWidthRatio of the letters' own width; past that the line shrinks.
QPainterPath letteringPath(const QString &text, QFont font, const QRectF &box)
{
    constexpr double MinWidthRatio = 0.75;
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setPixelSize(100);
    QPainterPath path;
    path.addText(0, 0, font, text);
    const QRectF bounds = path.boundingRect();
    if (bounds.isEmpty())
        return {};

    double scaleY = box.height() / bounds.height();
    const double scaleX = std::min(scaleY, box.width() / bounds.width());
    scaleY = std::min(scaleY, scaleX / MinWidthRatio);

    QTransform transform;
    transform.translate(box.center().x(), box.center().y());
    transform.scale(scaleX, scaleY);
    transform.translate(-bounds.center().x(), -bounds.center().y());
    return transform.map(path);
}

QImage drawSign(const QString &text, const QFont &font, const SignColours &colours)
{
    QImage image(StationSignSize, QImage::Format_RGB32);
    image.fill(QColor(0x30, 0x30, 0x34));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    const QRectF all(QPointF(0, 0), QSizeF(StationSignSize));

    // The housing: a dark metal box with a lighter top edge.
    QLinearGradient housing(all.topLeft(), all.bottomLeft());
    housing.setColorAt(0, QColor(0x70, 0x70, 0x78));
    housing.setColorAt(0.5, QColor(0x38, 0x38, 0x3c));
    housing.setColorAt(1, QColor(0x18, 0x18, 0x1a));
    p.setPen(Qt::NoPen);
    p.setBrush(housing);
    p.drawRoundedRect(all.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);

    // The lit panel: brightest in the middle, like a lamp behind frosted glass.
    const QRectF panel = all.adjusted(6, 6, -6, -6);
    QRadialGradient light(panel.center(), panel.width() * 0.62);
    light.setColorAt(0, colours.panelCentre);
    light.setColorAt(1, colours.panelEdge);
    p.setBrush(light);
    p.setPen(QPen(QColor(0x10, 0x10, 0x10), 1.5));
    p.drawRoundedRect(panel, 3, 3);

    // The lettering with a soft halo and a thin dark rim, so it reads on every screen.
    const QPainterPath letters = letteringPath(text, font, panel.adjusted(6, 12, -6, -12));
    p.setBrush(Qt::NoBrush);
    for (int width : {6, 4}) {
        QColor halo = colours.glow;
        halo.setAlpha(60);
        p.setPen(QPen(halo, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(letters);
    }
    p.setPen(QPen(QColor(0, 0, 0, 110), 0.8));
    p.setBrush(colours.letters);
    p.drawPath(letters);
    p.end();
    return image;
}

} // namespace

QFont signFont()
{
    const QString file = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf");
    const int id = QFontDatabase::addApplicationFont(file);
    const QStringList families
        = id >= 0 ? QFontDatabase::applicationFontFamilies(id) : QStringList();
    QFont font = families.isEmpty() ? QFont() : QFont(families.first());
    font.setBold(true);
    return font;
}

QImage drawOnTheAirSign(const QFont &font)
{
    return drawSign(QStringLiteral("ON THE AIR"), font,
                    {QColor(0xff, 0x30, 0x20), QColor(0x90, 0x00, 0x00), QColor(0xff, 0xfa, 0xe8),
                     QColor(0xff, 0xe0, 0x80)});
}

QImage drawReceiveSign(const QFont &font)
{
    return drawSign(QStringLiteral("RECEIVE"), font,
                    {QColor(0x30, 0xd0, 0x40), QColor(0x00, 0x60, 0x10), QColor(0xf4, 0xff, 0xf0),
                     QColor(0xc0, 0xff, 0xa0)});
}
