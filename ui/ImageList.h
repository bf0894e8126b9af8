// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/Face.h"

#include <QList>
#include <QPixmap>
#include <QStringList>

// A numbered list of pictures; pictures count from 1. A list loaded from files reads each picture
// when it is first asked for, and keeps it: a face that never shows takes no memory.
class ImageList
{
public:
    ImageList() = default;
    explicit ImageList(QList<QPixmap> pictures)
        : m_pictures(std::move(pictures)), m_read(m_pictures.size(), true)
    { }

    // Loads prefix + "1.png", prefix + "2.png", ... up to count.
    static ImageList load(const QString &prefix, int count);

    // Gives picture n (1-based) as already read, should it be in range.
    void setPicture(int n, QPixmap picture);

    // Picture n (1-based); an empty picture when n is out of range.
    QPixmap picture(int n) const;
    // The button face `face` (of ImageList1).
    QPixmap picture(Face face) const { return picture(int(face)); }
    int count() const { return int(m_pictures.size()); }
    // The number of the picture that `pixmap` shows, or 0 if it is none of them.
    int indexOf(const QPixmap &pixmap) const;

private:
    QStringList m_files; // of a list loaded from files
    mutable QList<QPixmap> m_pictures;
    mutable QList<bool> m_read;
};
