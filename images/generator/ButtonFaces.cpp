// SPDX-License-Identifier: GPL-3.0-or-later
#include "images/generator/ButtonFaces.h"

#include "images/generator/Palette.h"

namespace {

// Each band is the strip of the face where u = (x / width + y / height) / 2 lies between its two
// limits; u runs from 0 in the top-left corner to 1 in the bottom-right one, so the bands follow
// the face's own diagonal at every button size. A strip [a, b] of the upper half covers
// 2 (b² - a²) of the face: both bands together take a quarter.
constexpr double LightFrom = 0.20;
constexpr double LightTo = 0.32;
constexpr double DarkFrom = 1.0 - LightTo;
constexpr double DarkTo = 1.0 - LightFrom;

constexpr int Samples = 4; // samples per pixel along each axis for the edge pixels
constexpr int EdgeSteps = Samples * Samples - 1; // blend entries between the main and a band shade

enum Band { MainBand, DarkBand, LightBand };

Band bandAt(double u)
{
    if (u >= LightFrom && u < LightTo)
        return LightBand;
    if (u >= DarkFrom && u < DarkTo)
        return DarkBand;
    return MainBand;
}

// Colour table: 0 main, 1 dark, 2 light, then the blends from main towards dark and from main
// towards light, one for each count of band samples in an edge pixel.
QList<QRgb> faceColorTable(const FaceShades &shades)
{
    QList<QRgb> table{shades.main, shades.dark, shades.light};
    for (int k = 1; k <= EdgeSteps; ++k)
        table.append(blend(shades.main, shades.dark, double(k) / (EdgeSteps + 1)));
    for (int k = 1; k <= EdgeSteps; ++k)
        table.append(blend(shades.main, shades.light, double(k) / (EdgeSteps + 1)));
    return table;
}

} // namespace

QList<FaceShades> buttonFaceShades()
{
    return {
        {0xff9999ff, 0xff6666ff, 0xffccccff}, // blue
        {0xffff9999, 0xffff6666, 0xffffcccc}, // red
        {0xff99ff99, 0xff66ff66, 0xffccffcc}, // green
        {0xffffff99, 0xffffff66, 0xffffffcc}, // yellow
        {0xffffcc99, 0xffff9966, 0xffffcccc}, // orange
    };
}

QImage drawButtonFace(const FaceShades &shades)
{
    const int width = ButtonFaceSize.width();
    const int height = ButtonFaceSize.height();
    QImage face(ButtonFaceSize, QImage::Format_Indexed8);
    face.setColorTable(faceColorTable(shades));

    for (int y = 0; y < height; ++y) {
        uchar *line = face.scanLine(y);
        for (int x = 0; x < width; ++x) {
            int dark = 0;
            int light = 0;
            for (int sy = 0; sy < Samples; ++sy) {
                for (int sx = 0; sx < Samples; ++sx) {
                    const double u
                        = ((x + (sx + 0.5) / Samples) / width + (y + (sy + 0.5) / Samples) / height)
                          / 2.0;
                    const Band band = bandAt(u);
                    dark += band == DarkBand;
                    light += band == LightBand;
                }
            }
            // The bands never meet, so a pixel mixes the main shade with one band at most.
            if (dark == Samples * Samples)
                line[x] = 1;
            else if (light == Samples * Samples)
                line[x] = 2;
            else if (dark > 0)
                line[x] = uchar(2 + dark);
            else if (light > 0)
                line[x] = uchar(2 + EdgeSteps + light);
            else
                line[x] = 0;
        }
    }
    return face;
}
