// SPDX-License-Identifier: GPL-3.0-or-later
#include "images/generator/ProgramIcon.h"

#include "images/generator/IconArt.h"

#include <QPainter>

using namespace IconArt;

namespace {

void fill(Sketch &s, Ink which, int x, int y, int w, int h)
{
    s.fillRect(QRect(x, y, w, h), ink(which));
}

void line(Sketch &s, Ink which, int x1, int y1, int x2, int y2)
{
    s.line(QLine(x1, y1, x2, y2), ink(which));
}

void drawMicrophone(Sketch &s)
{
    // Base: a heavy rounded foot with a talk bar on its front.
    s.roundedRect(QRect(2, 25, 17, 5), 2, ink(Black), ink(DarkGrey));
    line(s, Grey, 4, 26, 17, 26);
    fill(s, Red, 8, 28, 5, 1);

    // Column.
    fill(s, Black, 9, 19, 4, 6);
    fill(s, Grey, 10, 19, 2, 6);
    line(s, LightGrey, 10, 19, 10, 24);

    // Yoke holding the head.
    s.arc(QRect(1, 1, 19, 19), 205 * 16, 130 * 16, ink(DarkGrey), 2);

    // The round head: a chrome ring around a grille.
    s.ellipse(QRect(2, 1, 17, 17), ink(Black), ink(LightGrey));
    s.ellipse(QRect(5, 4, 11, 11), ink(Grey), ink(DarkGrey));
    // Grille lines.
    for (int y = 6; y <= 13; y += 2)
        line(s, Grey, 7, y, 14, y);
    // A glint on the ring.
    s.arc(QRect(3, 2, 15, 15), 100 * 16, 60 * 16, ink(White), 1);
}

void drawMeter(Sketch &s)
{
    // Four bars rising left to right, lit to a healthy level: green, green, amber, and the red
    // peak bar dark.
    struct Bar
    {
        int x;
        int height;
        Ink lit;
        bool on;
    };
    const Bar bars[] = {
        {21, 7, Green, true},
        {24, 11, Green, true},
        {27, 15, Amber, true},
        {30, 19, Red, false},
    };
    constexpr int Floor = 29;
    for (const Bar &bar : bars) {
        fill(s, Black, bar.x - 1, Floor - bar.height - 1, 4, bar.height + 2);
        fill(s, bar.on ? bar.lit : DarkGreen, bar.x, Floor - bar.height, 2, bar.height);
        if (bar.on)
            line(s, White, bar.x, Floor - bar.height, bar.x, Floor - bar.height + 1);
    }
}

} // namespace

Sketch programIconSketch()
{
    Sketch sketch(IconSize);
    drawMeter(sketch);
    drawMicrophone(sketch);
    return sketch;
}

QImage drawProgramIcon()
{
    QImage image = canvas();
    {
        QPainter p(&image);
        programIconSketch().paintPixels(p);
    }
    return finish(image);
}

QImage drawProgramIcon(int size)
{
    // At the size it was designed for, the crisp pixel picture looks best.
    if (size == IconSize)
        return drawProgramIcon();
    return programIconSketch().render(size);
}
