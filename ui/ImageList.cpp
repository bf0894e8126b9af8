// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ImageList.h"

#include "ui/PictureFile.h"

ImageList ImageList::load(const QString &prefix, int count)
{
    QList<QPixmap> pictures;
    for (int n = 1; n <= count; ++n)
        pictures.append(readPicture(prefix + QString::number(n) + QLatin1String(".png")));
    return ImageList(std::move(pictures));
}

QPixmap ImageList::picture(int n) const
{
    if (n < 1 || n > m_pictures.size())
        return {};
    return m_pictures.at(n - 1);
}

int ImageList::indexOf(const QPixmap &pixmap) const
{
    if (pixmap.isNull())
        return 0;
    for (int i = 0; i < m_pictures.size(); ++i) {
        if (m_pictures.at(i).cacheKey() == pixmap.cacheKey())
            return i + 1;
    }
    return 0;
}
