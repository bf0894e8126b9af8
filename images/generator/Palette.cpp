// SPDX-License-Identifier: GPL-3.0-or-later
#include "images/generator/Palette.h"

#include <cmath>
#include <limits>

QImage toIndexed(const QImage &picture, const QList<QRgb> &colorTable, int transparentIndex)
{
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    QImage indexed(argb.size(), QImage::Format_Indexed8);
    indexed.setColorTable(colorTable);
    for (int y = 0; y < argb.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        uchar *out = indexed.scanLine(y);
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb pixel = in[x];
            if (transparentIndex >= 0 && qAlpha(pixel) < 128) {
                out[x] = uchar(transparentIndex);
                continue;
            }
            int best = 0;
            int bestDistance = std::numeric_limits<int>::max();
            for (int i = 0; i < colorTable.size(); ++i) {
                if (i == transparentIndex)
                    continue;
                const QRgb entry = colorTable.at(i);
                const int dr = qRed(pixel) - qRed(entry);
                const int dg = qGreen(pixel) - qGreen(entry);
                const int db = qBlue(pixel) - qBlue(entry);
                // Weighted as the eye weighs the channels, so skin and metal keep their tone.
                const int distance = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
                if (distance < bestDistance) {
                    bestDistance = distance;
                    best = i;
                }
            }
            out[x] = uchar(best);
        }
    }
    return indexed;
}

QRgb blend(QRgb from, QRgb to, double amount)
{
    const auto mix = [amount](int a, int b) {
        return int(std::lround(a + (b - a) * amount));
    };
    return qRgba(mix(qRed(from), qRed(to)), mix(qGreen(from), qGreen(to)),
                 mix(qBlue(from), qBlue(to)), mix(qAlpha(from), qAlpha(to)));
}
