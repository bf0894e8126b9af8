// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QPixmap>

// Reads a picture file as QPixmap(path) does, but with the reader of the format its name says
// first: the toolkit would otherwise load every installed image plugin (and the libraries they
// need) to ask each whether it reads the file. A file whose content is not what its name says
// is still read, as the toolkit finds it. Null when it cannot be read.
QPixmap readPicture(const QString &path);

// The same picture as an image, which (unlike a pixmap) may be read on any thread.
QImage readImage(const QString &path);
