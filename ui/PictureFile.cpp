// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/PictureFile.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

QImage readImage(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    if (!format.isEmpty()) {
        QImageReader named(&file, format);
        named.setAutoDetectImageFormat(false);
        if (named.canRead())
            return named.read();
        file.seek(0);
    }
    QImageReader found(&file);
    return found.read();
}

QPixmap readPicture(const QString &path)
{
    return QPixmap::fromImage(readImage(path));
}
