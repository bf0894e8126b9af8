// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QStyle>

// A style's standard icon that is looked up when it is first drawn, not when it is made. Where the
// desktop has an icon theme, the style finds the icon there, which reads the theme's index: the
// window need not wait for that before it shows. Drawn, it is the style's icon, pixel for pixel.
// The standard icons the style draws itself where the theme has none are never null.
QIcon deferredStandardIcon(QStyle *style, QStyle::StandardPixmap which);
