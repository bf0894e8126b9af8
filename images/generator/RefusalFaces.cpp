// SPDX-License-Identifier: GPL-3.0-or-later
#include "images/generator/RefusalFaces.h"

#include "images/generator/IconArt.h"

#include <QPainter>
#include <QPainterPath>

using namespace IconArt;

namespace {

// Pixel-exact drawing: every shape is drawn without antialiasing in the 16 inks.
class FacePainter : public QPainter
{
public:
    explicit FacePainter(QImage *image) : QPainter(image)
    {
        setRenderHint(QPainter::Antialiasing, false);
    }

    void pixels(Ink which, std::initializer_list<QPoint> points)
    {
        setPen(ink(which));
        for (const QPoint &p : points)
            drawPoint(p);
    }

    void line(Ink which, int x1, int y1, int x2, int y2)
    {
        setPen(ink(which));
        drawLine(x1, y1, x2, y2);
    }

    void box(Ink which, int x, int y, int w, int h) { fillRect(x, y, w, h, ink(which)); }
};

// The head: a round face with a shaded lower right and a tuft of hair, wearing the operator's
// headphones. `box` is the outline's bounding box (its right and bottom edges included).
void drawHead(FacePainter &p, QRect box)
{
    p.setPen(ink(Black));
    p.setBrush(ink(Skin));
    p.drawEllipse(box.adjusted(0, 0, -1, -1));

    // Shade: the lower right of the face, clipped to the inside of the outline.
    QPainterPath inside;
    inside.addEllipse(QRectF(box).adjusted(1.5, 1.5, -1.5, -1.5));
    QPainterPath lit;
    lit.addEllipse(QRectF(box).adjusted(-1, -2, -3, -3));
    p.save();
    p.setClipPath(inside.subtracted(lit));
    p.fillRect(box, ink(SkinShade));
    p.restore();

    // Headphones: a band over the crown and a cup on each ear.
    const int cupY = box.center().y() - 3;
    QPainterPath band;
    band.addEllipse(QRectF(box).adjusted(-1.5, -2.5, 0.5, 0.5));
    QPainterPath underBand;
    underBand.addEllipse(QRectF(box).adjusted(0.5, -0.5, -1.5, 2.5));
    QPainterPath above;
    above.addRect(QRectF(box.left() - 3, box.top() - 4, box.width() + 6, cupY - box.top() + 5));
    p.save();
    p.setClipPath(band.subtracted(underBand).intersected(above));
    p.fillRect(box.adjusted(-3, -4, 3, 0), ink(DarkGrey));
    p.restore();
    for (int x : {box.left() - 2, box.right() - 2}) {
        p.setPen(ink(Black));
        p.setBrush(ink(DarkGrey));
        p.drawRoundedRect(QRect(x, cupY, 4, 7), 1, 1);
        p.line(Grey, x + 1, cupY + 1, x + 1, cupY + 5);
    }

    // A tuft of hair on the crown.
    const int cx = box.center().x();
    const int top = box.top();
    p.line(Hair, cx - 3, top, cx + 2, top);
    p.line(Hair, cx - 2, top - 1, cx + 1, top - 1);
    p.pixels(Hair, {{cx - 1, top - 2}, {cx + 1, top - 3}, {cx - 3, top - 2}, {cx + 2, top - 2}});
    p.pixels(Black, {{cx, top - 2}, {cx + 2, top - 3}});
}

// Two eyes in cartoon style, each a black oval with a glint.
void drawEyes(FacePainter &p, int leftX, int rightX, int y)
{
    for (int x : {leftX, rightX}) {
        p.box(Black, x, y, 2, 4);
        p.pixels(White, {{x, y}});
    }
}

// One round, wide-open eye with its lid line above.
void drawWideEye(FacePainter &p, int x, int y)
{
    p.box(White, x, y, 3, 4);
    p.box(Black, x + 1, y + 1, 2, 2);
    p.line(Black, x, y - 1, x + 2, y - 1);
}

QImage frowning()
{
    QImage image = canvas();
    FacePainter p(&image);
    drawHead(p, QRect(5, 6, 23, 23));
    // Brows pulled down towards the nose.
    p.line(Hair, 9, 11, 13, 13);
    p.line(Hair, 9, 12, 13, 14);
    p.line(Hair, 23, 11, 19, 13);
    p.line(Hair, 23, 12, 19, 14);
    drawEyes(p, 11, 20, 15);
    // A downturned mouth.
    p.line(Black, 13, 23, 18, 23);
    p.pixels(Black, {{12, 24}, {19, 24}, {11, 25}, {20, 25}});
    p.end();
    return image;
}

QImage shakingHead()
{
    QImage image = canvas();
    FacePainter p(&image);
    // Motion marks on both sides.
    for (int offset : {0, 3}) {
        p.setPen(ink(Blue));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRect(0 + offset, 11, 6, 12), 110 * 16, 140 * 16);
        p.drawArc(QRect(26 - offset, 11, 6, 12), -70 * 16, 140 * 16);
    }
    drawHead(p, QRect(8, 7, 19, 21));
    // Eyes squeezed shut in the shake: two chevrons.
    p.pixels(Black, {{11, 14}, {12, 15}, {13, 16}, {12, 17}, {11, 18}});
    p.pixels(Black, {{22, 14}, {21, 15}, {20, 16}, {21, 17}, {22, 18}});
    // A firm, wavy "no" mouth.
    for (int x = 12; x <= 21; ++x)
        p.pixels(Black, {{x, x % 2 == 0 ? 23 : 22}});
    p.end();
    return image;
}

QImage handsUp()
{
    QImage image = canvas();
    FacePainter p(&image);
    // Shoulders in a blue shirt, arms raised to two open hands beside the head.
    for (int mirror : {0, 1}) {
        const auto mx = [mirror](int x) {
            return mirror ? 31 - x : x;
        };
        // Sleeve, from the shoulder up to the wrist.
        p.setPen(ink(Black));
        p.setBrush(ink(Blue));
        p.drawPolygon(QPolygon(
            {QPoint(mx(1), 14), QPoint(mx(5), 14), QPoint(mx(10), 29), QPoint(mx(5), 29)}));
        // Palm and fingers.
        p.setBrush(ink(Skin));
        p.drawRect(QRect(mirror ? mx(6) : mx(0), 8, 6, 6));
        for (int f = 0; f < 4; ++f) {
            const int fx = mx(f + f / 2);
            const int tip = (f == 0 || f == 3) ? 5 : 3;
            p.line(Black, fx, tip, fx, 8);
            p.line(Skin, mirror ? fx - 1 : fx + 1, tip + 1, mirror ? fx - 1 : fx + 1, 8);
        }
        // Thumb, pointing in towards the head.
        p.line(Black, mx(6), 10, mx(8), 8);
        p.pixels(Skin, {{mx(6), 11}, {mx(7), 10}, {mx(6), 9}});
    }
    p.setPen(ink(Black));
    p.setBrush(ink(Blue));
    p.drawRoundedRect(QRect(5, 27, 21, 8), 3, 3);
    drawHead(p, QRect(8, 8, 17, 19));
    // Brows raised in dismay.
    p.line(Hair, 11, 12, 13, 11);
    p.line(Hair, 19, 11, 21, 12);
    drawEyes(p, 12, 19, 14);
    // A round "oh" mouth.
    p.setPen(ink(Black));
    p.setBrush(ink(Red));
    p.drawEllipse(QRect(15, 20, 3, 3));
    p.end();
    return image;
}

QImage raisedEyebrow()
{
    QImage image = canvas();
    FacePainter p(&image);
    drawHead(p, QRect(5, 6, 23, 23));
    // Left brow flat and low, right brow arched high.
    p.line(Hair, 10, 14, 14, 14);
    p.line(Hair, 10, 13, 14, 13);
    p.setPen(ink(Hair));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRect(17, 9, 7, 5), 20 * 16, 140 * 16);
    p.drawArc(QRect(17, 10, 7, 5), 20 * 16, 140 * 16);
    // The left eye narrowed under its brow, the right one wide open.
    p.box(Black, 11, 17, 3, 2);
    p.pixels(White, {{11, 17}});
    drawWideEye(p, 19, 16);
    // A doubtful half smile, lower on the left.
    p.line(Black, 12, 24, 16, 24);
    p.line(Black, 16, 24, 20, 22);
    p.pixels(Black, {{21, 21}});
    p.end();
    return image;
}

} // namespace

QImage drawRefusalFace(int pose)
{
    switch (pose) {
    case 1:
        return finish(frowning());
    case 2:
        return finish(shakingHead());
    case 3:
        return finish(handsUp());
    case 4:
        return finish(raisedEyebrow());
    }
    return {};
}
