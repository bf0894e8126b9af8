// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>

class CaptionFrame;

// Frames as an operator knows them (CaptionFrame): the main window and the COM dialog draw
// their captioned frames this way.
namespace FrameStyle {

// Shrinks the caption of each frame that is too narrow for it, until the whole caption fits
// beside the border; what the frame holds keeps the font it has.
void fitCaptions(const QList<CaptionFrame *> &frames);

} // namespace FrameStyle
