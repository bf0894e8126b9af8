// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QGroupBox>

// A frame as an operator knows it: an etched border whose caption, in the frame's own font, sits
// across its top line, the border passing through the middle of the caption's capitals. A frame
// without a caption has its border along its top edge. It draws itself: no style sheet (which
// would be polished into every control the window holds) is needed for it.
class CaptionFrame : public QGroupBox
{
    Q_OBJECT
public:
    explicit CaptionFrame(QWidget *parent = nullptr);

    // The width a frame needs to show `caption` in `font` beside its border.
    static qreal widthFor(const QFont &font, const QString &caption);

    // The border's distance from the frame's top.
    int borderTop() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Where the caption goes, with the space kept clear on either side of it (empty: none).
    QRect captionRect() const;
    // Where its text is centred.
    QRect textRect() const;
};
