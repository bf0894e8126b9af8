// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QList>

// A preview of all the artwork for whoever draws it: every picture enlarged four times, and the
// button faces also at the sizes the buttons show them, with a caption in black.
QImage drawContactSheet(const QList<QImage> &faces, const QList<QImage> &refusalFaces,
                        const QImage &icon, const QList<QImage> &signs);
