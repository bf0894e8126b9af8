#include "images/generator/ProgramIcon.h"

#include "images/generator/IconArt.h"

#include <QPainter>

using namespace IconArt;

namespace {

void fill(QPainter &p, Ink which, int x, int y, int w, int h)
{
    p.fillRect(x, y, w, h, ink(which));
}

void line(QPainter &p, Ink which, int x1, int y1, int x2, int y2)
{
    p.setPen(ink(which));
    p.drawLine(x1, y1, x2, y2);
}

void drawMicrophone(QPainter &p)
{
    // Base: a heavy rounded foot with a talk bar on its front.
    p.setPen(ink(Black));
    p.setBrush(ink(DarkGrey));
    p.drawRoundedRect(QRect(2, 25, 17, 5), 2, 2);
    line(p, Grey, 4, 26, 17, 26);
    fill(p, Red, 8, 28, 5, 1);

    // Column.
    fill(p, Black, 9, 19, 4, 6);
    fill(p, Grey, 10, 19, 2, 6);
    line(p, LightGrey, 10, 19, 10, 24);

    // Yoke holding the head.
    p.setPen(QPen(ink(DarkGrey), 2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRect(1, 1, 19, 19), 205 * 16, 130 * 16);

    // The round head: a chrome ring around a grille.
    p.setPen(ink(Black));
    p.setBrush(ink(LightGrey));
    p.drawEllipse(QRect(2, 1, 17, 17));
    p.setPen(ink(Grey));
    p.setBrush(ink(DarkGrey));
    p.drawEllipse(QRect(5, 4, 11, 11));
    // Grille lines.
    for (int y = 6; y <= 13; y += 2)
        line(p, Grey, 7, y, 14, y);
    // A glint on the ring.
    p.setPen(ink(White));
    p.drawArc(QRect(3, 2, 15, 15), 100 * 16, 60 * 16);
}

void drawMeter(QPainter &p)
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
        fill(p, Black, bar.x - 1, Floor - bar.height - 1, 4, bar.height + 2);
        fill(p, bar.on ? bar.lit : DarkGreen, bar.x, Floor - bar.height, 2, bar.height);
        if (bar.on)
            line(p, White, bar.x, Floor - bar.height, bar.x, Floor - bar.height + 1);
    }
}

} // namespace

QImage drawProgramIcon()
{
    QImage image = canvas();
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, false);
        drawMeter(p);
        drawMicrophone(p);
    }
    return finish(image);
}
