// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QList>
#include <QRgb>

// Turns a picture drawn in full colour into an 8-bit indexed picture over a fixed colour table.
// Pixels less than half opaque take the entry `transparentIndex` (when it is not -1); every
// other pixel takes the nearest opaque entry of the table.
QImage toIndexed(const QImage &picture, const QList<QRgb> &colorTable, int transparentIndex = -1);

// A colour `amount` (0..1) of the way from `from` to `to`, rounded to whole steps.
QRgb blend(QRgb from, QRgb to, double amount);
