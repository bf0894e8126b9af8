// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "images/generator/Sketch.h"

#include <QImage>

// The program icon: a round desk microphone on its stand, beside a small bar meter showing a
// level, designed on a 32 x 32 grid.
Sketch programIconSketch();

// The icon the program shows: 32 x 32 in 16 colours, pixel for pixel as designed.
QImage drawProgramIcon();

// The icon at `size` x `size` pixels for the desktop's icon theme: the icon above at 32, else
// smoothed, in full colour. Its scalable form is programIconSketch().svg().
QImage drawProgramIcon(int size);
