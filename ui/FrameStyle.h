// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

class QGroupBox;

// Frames as an operator knows them: an etched border whose caption sits on its top line. The
// main window and the COM dialog draw their captioned frames this way.
namespace FrameStyle {

// Style sheet rules for the group boxes of a window; set them on the window or on the widget
// that holds its frames.
QString styleSheet();

// Keeps each frame's top border through the middle of its caption, now and whenever the frame's
// font changes.
void keepCaptionsOnTheBorder(const QList<QGroupBox *> &frames);

// Shrinks the caption of each frame that is too narrow for it, until the whole caption fits
// beside the border; what the frame holds keeps the font it has.
void fitCaptions(const QList<QGroupBox *> &frames);

} // namespace FrameStyle
