// SPDX-License-Identifier: GPL-3.0-or-later
#include "images/generator/ContactSheet.h"

#include <QPainter>

namespace {

constexpr int Zoom = 4;
constexpr int Gap = 8;

// A face drawn as a button draws it: scaled smoothly into the button less a 3-pixel rim, with a
// centred black caption.
QImage asButton(const QImage &face, QSize size, const QString &caption)
{
    QImage button(size, QImage::Format_RGB32);
    button.fill(QColor(0xf0, 0xf0, 0xf0));
    QPainter p(&button);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect faceRect = button.rect().adjusted(3, 3, -3, -3);
    p.drawImage(faceRect, face);
    QFont font = p.font();
    font.setPixelSize(16);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(faceRect, Qt::AlignCenter, caption);
    return button;
}

QImage zoomed(const QImage &image, int zoom)
{
    return image.convertToFormat(QImage::Format_ARGB32)
        .scaled(image.size() * zoom, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

} // namespace

QImage drawContactSheet(const QList<QImage> &faces, const QList<QImage> &refusalFaces,
                        const QImage &icon, const QList<QImage> &signs)
{
    // Rows: the faces at full size; the faces as wide and square buttons, enlarged; the icons and
    // the signs, enlarged.
    QList<QList<QImage>> rows;
    rows.append(faces);
    QList<QImage> buttons;
    const QStringList captions{QStringLiteral("Idle"), QStringLiteral("Lock"),
                               QStringLiteral("StdBy"), QStringLiteral("12.3"),
                               QStringLiteral("4.5")};
    for (int i = 0; i < faces.size(); ++i) {
        buttons.append(zoomed(asButton(faces.at(i), {73, 41}, captions.at(i)), Zoom));
        buttons.append(zoomed(asButton(faces.at(i), {41, 41}, QString::number(i + 1)), Zoom));
    }
    rows.append(buttons);
    QList<QImage> icons;
    for (const QImage &face : refusalFaces)
        icons.append(zoomed(face, Zoom * 2));
    icons.append(zoomed(icon, Zoom * 2));
    // The icons at their own size too, as a window would show them.
    for (const QImage &face : refusalFaces)
        icons.append(face);
    icons.append(icon);
    rows.append(icons);
    QList<QImage> signRow;
    for (const QImage &sign : signs) {
        signRow.append(sign);
        signRow.append(zoomed(sign, Zoom));
    }
    rows.append(signRow);

    int width = 0;
    int height = Gap;
    for (const QList<QImage> &row : rows) {
        int rowWidth = Gap;
        int rowHeight = 0;
        for (const QImage &image : row) {
            rowWidth += image.width() + Gap;
            rowHeight = std::max(rowHeight, image.height());
        }
        width = std::max(width, rowWidth);
        height += rowHeight + Gap;
    }

    QImage sheet(width, height, QImage::Format_RGB32);
    sheet.fill(QColor(0xd4, 0xd0, 0xc8));
    QPainter p(&sheet);
    int y = Gap;
    for (const QList<QImage> &row : rows) {
        int x = Gap;
        int rowHeight = 0;
        for (const QImage &image : row) {
            p.drawImage(x, y, image);
            x += image.width() + Gap;
            rowHeight = std::max(rowHeight, image.height());
        }
        y += rowHeight + Gap;
    }
    p.end();
    return sheet;
}
