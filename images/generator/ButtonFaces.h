// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QList>
#include <QRgb>
#include <QSize>

// The three shades of one button-face tint.
struct FaceShades
{
    QRgb main; // about three quarters of the face
    QRgb dark; // the lower diagonal band
    QRgb light; // the upper diagonal band
};

inline constexpr QSize ButtonFaceSize{319, 256};

// The five tints in picture-list order: 1 blue, 2 red, 3 green, 4 yellow, 5 orange.
QList<FaceShades> buttonFaceShades();

// One face: the main shade crossed by a light and a dark diagonal band, 8-bit indexed, with
// blended edge pixels so that the bands stay smooth when a button scales the face down.
QImage drawButtonFace(const FaceShades &shades);
