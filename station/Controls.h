// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/Face.h"

#include <QString>
#include <QtGlobal>

// The window's controls as the handlers see them: small interfaces that the window's widgets
// stand behind (ui/WindowControls), so that the handlers need no widgets. Every call acts on the
// control at once.

// A push button in picture style: a memory button, the status panel, the delay button, Lock and
// StdBy.
class FaceButton
{
public:
    virtual ~FaceButton() = default;
    virtual void setFace(Face face) = 0;
    virtual void setCaption(const QString &caption) = 0;
    // A short text kept on the button: the blink marker "B" or "R" of Lock and StdBy.
    virtual void setTag(const QString &tag) = 0;
    // The back colour, as red, green and blue in 0xRRGGBB.
    virtual void setBackColor(quint32 rgb) = 0;
    // Draws the button now rather than at the next turn of the event loop.
    virtual void repaint() = 0;
};

// The repeat-delay slider, in milliseconds (0 to 10000). Setting another value reports a change
// as the operator's move does.
class SliderControl
{
public:
    virtual ~SliderControl() = default;
    virtual int value() const = 0;
    virtual void setValue(int value) = 0;
};

// The progress bar.
class ProgressControl
{
public:
    virtual ~ProgressControl() = default;
    virtual int minimum() const = 0;
    virtual int maximum() const = 0;
    virtual void setValue(int value) = 0;
};

// The station picture: "ontheair.bmp" or "receive.bmp" of the Images folder, read at each change.
class StationPicture
{
public:
    virtual ~StationPicture() = default;
    virtual void show(bool onAir) = 0;
};

// The refusal picture: one of the four refusal faces (1 to 4), or nothing.
class RefusalPicture
{
public:
    virtual ~RefusalPicture() = default;
    virtual void show(int face) = 0;
    virtual void hide() = 0;
};
