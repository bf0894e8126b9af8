// SPDX-License-Identifier: GPL-3.0-or-later
#include "images/generator/IconArt.h"

#include "images/generator/Palette.h"

namespace IconArt {

QList<QRgb> colorTable()
{
    return {
        qRgba(0, 0, 0, 0), // Clear
        qRgb(0x00, 0x00, 0x00), // Black
        qRgb(0xff, 0xff, 0xff), // White
        qRgb(0xff, 0xd0, 0x40), // Skin
        qRgb(0xd8, 0x98, 0x20), // SkinShade
        qRgb(0x7a, 0x48, 0x18), // Hair
        qRgb(0xd8, 0x28, 0x28), // Red
        qRgb(0xff, 0x9a, 0x9a), // Pink
        qRgb(0x40, 0x40, 0x48), // DarkGrey
        qRgb(0x88, 0x88, 0x94), // Grey
        qRgb(0xc8, 0xc8, 0xd0), // LightGrey
        qRgb(0x20, 0xc0, 0x30), // Green
        qRgb(0xff, 0xe8, 0x30), // Amber
        qRgb(0x30, 0x60, 0xe0), // Blue
        qRgb(0xa8, 0xc8, 0xff), // LightBlue
        qRgb(0x18, 0x48, 0x20), // DarkGreen
    };
}

QColor ink(Ink which)
{
    return QColor::fromRgba(colorTable().at(which));
}

QImage canvas()
{
    QImage image(IconSize, IconSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage finish(const QImage &drawn)
{
    return toIndexed(drawn, colorTable(), Clear);
}

} // namespace IconArt
