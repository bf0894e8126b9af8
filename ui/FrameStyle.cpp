// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/FrameStyle.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QGroupBox>

namespace FrameStyle {

namespace {
// The caption's distance from the frame's left edge, with its padding on both sides, and the
// width of the border.
constexpr int CaptionLeft = 5;
constexpr int CaptionPadding = 2;
constexpr int BorderWidth = 2;
// The border's distance from the frame's top, in lines of the window's font, for frames whose
// border does not follow their own caption's font.
constexpr qreal CaptionMargin = 0.6;
// Captions shrink no further than this.
constexpr qreal SmallestPointSize = 5;

bool fits(const QFont &font, const QString &caption, int width)
{
    const qreal needed = QFontMetricsF(font).horizontalAdvance(caption) + CaptionLeft
                         + 2 * CaptionPadding + BorderWidth;
    return needed <= width;
}

// Sets its frame's top margin from the frame's own font: style sheet lengths in "em" follow the
// window's font, not the caption's.
class CaptionMarginKeeper : public QObject
{
public:
    explicit CaptionMarginKeeper(QGroupBox *frame) : QObject(frame), m_frame(frame)
    {
        frame->installEventFilter(this);
        update();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_frame && event->type() == QEvent::FontChange)
            update();
        return false;
    }

private:
    void update()
    {
        // The border's middle goes through the middle of the caption's capitals.
        const QFontMetricsF metrics(m_frame->font());
        const int margin
            = qMax(0, qRound(metrics.ascent() - metrics.capHeight() / 2) - BorderWidth / 2);
        // A new style sheet polishes the frame again, which may report a font change in turn.
        if (margin == m_margin)
            return;
        m_margin = margin;
        m_frame->setStyleSheet(QStringLiteral("QGroupBox { margin-top: %1px; }").arg(margin));
    }

    QGroupBox *m_frame;
    int m_margin = -1;
};
} // namespace

QString styleSheet()
{
    // The border starts about half a caption line below the frame's top; the caption, in the
    // margin above it, is a line high and so sits across the border.
    return QStringLiteral("QGroupBox { border: %1px groove palette(mid); margin-top: %4em; }"
                          "QGroupBox::title { subcontrol-origin: margin;"
                          " subcontrol-position: top left; left: %2px; padding: 0px %3px; }")
        .arg(BorderWidth)
        .arg(CaptionLeft)
        .arg(CaptionPadding)
        .arg(CaptionMargin);
}

void keepCaptionsOnTheBorder(const QList<QGroupBox *> &frames)
{
    for (QGroupBox *frame : frames)
        new CaptionMarginKeeper(frame);
}

void fitCaptions(const QList<QGroupBox *> &frames)
{
    for (QGroupBox *frame : frames) {
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
