// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QProxyStyle>

// A style's standard icon that is looked up when it is first drawn, not when it is made. Where the
// desktop has an icon theme, the style finds the icon there, which reads the theme's index and
// asks the image plugins to read the file: the window need not wait for that before it shows.
// Drawn, it is the style's icon, pixel for pixel. Only for icons the style always has (it draws
// its own where the theme has none): the icon says it is not null before it is looked up.
QIcon deferredStandardIcon(QStyle *style, QStyle::StandardPixmap which,
                           const QWidget *widget = nullptr);

// The program's style: draws as `base` does (it takes it over), and hands out the media buttons'
// icons and the tool bar's and menu bar's extension arrows as deferred icons. A menu bar's arrow
// shows only when the bar is too narrow for its menus, so it is seldom looked up at all.
class DeferredIconStyle : public QProxyStyle
{
public:
    explicit DeferredIconStyle(QStyle *base);

    QIcon standardIcon(StandardPixmap which, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;
};
