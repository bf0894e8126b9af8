#pragma once

#include <QImage>

// The program icon, 32 x 32 in 16 colours: a round desk microphone on its stand, beside a small
// bar meter showing a level.
QImage drawProgramIcon();
