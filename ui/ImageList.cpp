// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ImageList.h"

#include "ui/PictureFile.h"

ImageList ImageList::load(const QString &prefix, int count)
{
    ImageList list;
    for (int n = 1; n <= count; ++n)
        list.m_files.append(prefix + QString::number(n) + QLatin1String(".png"));
    list.m_pictures.resize(count);
    list.m_read.resize(count, false);
    return list;
}

void ImageList::setPicture(int n, QPixmap picture)
{
    if (n < 1 || n > m_pictures.size())
        return;
    m_pictures[n - 1] = std::move(picture);
    m_read[n - 1] = true;
}

QPixmap ImageList::picture(int n) const
{
    if (n < 1 || n > m_pictures.size())
        return {};
    if (!m_read.at(n - 1)) {
        m_pictures[n - 1] = readPicture(m_files.at(n - 1));
        m_read[n - 1] = true;
    }
    return m_pictures.at(n - 1);
}

int ImageList::indexOf(const QPixmap &pixmap) const
{
    if (pixmap.isNull())
        return 0;
    for (int i = 0; i < m_pictures.size(); ++i) {
        if (m_read.at(i) && m_pictures.at(i).cacheKey() == pixmap.cacheKey())
            return i + 1;
    }
    return 0;
}
