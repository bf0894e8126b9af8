// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QRgb>

// The 16-colour table shared by the small icons (the refusal faces and the program icon), and
// the canvas they are drawn on.
namespace IconArt {

enum Ink {
    Clear, // transparent
    Black,
    White,
    Skin,
    SkinShade,
    Hair,
    Red,
    Pink,
    DarkGrey,
    Grey,
    LightGrey,
    Green,
    Amber,
    Blue,
    LightBlue,
    DarkGreen,
};

inline constexpr int IconSize = 32;

QList<QRgb> colorTable();
QColor ink(Ink which);

// An empty, transparent 32 x 32 picture to draw on.
QImage canvas();
// The drawn picture as an 8-bit indexed picture over the 16-colour table.
QImage finish(const QImage &drawn);

} // namespace IconArt
