// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/FrameStyle.h"

#include "ui/CaptionFrame.h"

namespace FrameStyle {

namespace {
// Captions shrink no further than this.
constexpr qreal SmallestPointSize = 5;

bool fits(const QFont &font, const QString &caption, int width)
{
    return CaptionFrame::widthFor(font, caption) <= width;
}
} // namespace

void fitCaptions(const QList<CaptionFrame *> &frames)
{
    for (CaptionFrame *frame : frames) {
        const QFont original = frame->font();
        QFont font = original;
        if (font.pointSizeF() <= 0)
            continue; // a font sized in pixels is left as it is
        while (!fits(font, frame->title(), frame->width())
               && font.pointSizeF() - 0.5 >= SmallestPointSize)
            font.setPointSizeF(font.pointSizeF() - 0.5);
        if (font == original)
            continue;
        // The frame's font would pass to its controls: they keep the one they have.
        for (QWidget *control : frame->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            QFont kept = control->font();
            kept.setFamilies(kept.families());
            kept.setPointSizeF(kept.pointSizeF());
            kept.setWeight(kept.weight());
            kept.setItalic(kept.italic());
            control->setFont(kept);
        }
        frame->setFont(font);
    }
}

} // namespace FrameStyle
