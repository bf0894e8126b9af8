// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/Controls.h"

#include <QSet>
#include <QString>
#include <array>
#include <memory>

struct AppState;
class Form1;
class ImageList;
class PictureButton;
class QLabel;
class QProgressBar;
class QSlider;

// The main window's controls behind the handlers' interfaces (station/Controls.h): each adapter
// acts on its widget.
class PictureButtonControl : public FaceButton
{
public:
    PictureButtonControl(PictureButton &button, const ImageList &faces);
    void setFace(Face face) override;
    void setCaption(const QString &caption) override;
    void setTag(const QString &tag) override;
    void setBackColor(quint32 rgb) override;
    void repaint() override;

private:
    PictureButton &m_button;
    const ImageList &m_faces;
};

class SliderAdapter : public SliderControl
{
public:
    explicit SliderAdapter(QSlider &slider) : m_slider(slider) { }
    int value() const override;
    void setValue(int value) override;

private:
    QSlider &m_slider;
};

class ProgressAdapter : public ProgressControl
{
public:
    explicit ProgressAdapter(QProgressBar &bar) : m_bar(bar) { }
    int minimum() const override;
    int maximum() const override;
    void setValue(int value) override;

private:
    QProgressBar &m_bar;
};

// The station picture in Image1, read from AppState::ImgDir at each change, shown at its own
// size. A picture that cannot be read leaves the area empty and is said once per run on standard
// error.
class StationImage : public StationPicture
{
public:
    StationImage(QLabel &image, const AppState &state) : m_image(image), m_state(state) { }
    void show(bool onAir) override;

private:
    QLabel &m_image;
    const AppState &m_state;
    QSet<QString> m_reported;
};

// The refusal picture in Picture1: a face of ImageList2.
class RefusalImage : public RefusalPicture
{
public:
    RefusalImage(QLabel &picture, const ImageList &faces) : m_picture(picture), m_faces(faces) { }
    void show(int face) override;
    void hide() override;

private:
    QLabel &m_picture;
    const ImageList &m_faces;
};

// All of them, for the main window.
class WindowControls
{
public:
    WindowControls(Form1 &form, const AppState &state);
    ~WindowControls();

    const std::array<FaceButton *, 6> &Command3d1() const { return m_Command3d1; }
    FaceButton &Panel3d1() { return *m_Panel3d1; }
    FaceButton &Panel3d2() { return *m_Panel3d2; }
    FaceButton &Command3d2() { return *m_Command3d2; }
    FaceButton &Command3d3() { return *m_Command3d3; }
    SliderControl &HScroll1() { return *m_HScroll1; }
    ProgressControl &Gauge1() { return *m_Gauge1; }
    StationPicture &Image1() { return *m_Image1; }
    RefusalPicture &Picture1() { return *m_Picture1; }

private:
    std::array<std::unique_ptr<PictureButtonControl>, 6> m_memories;
    std::array<FaceButton *, 6> m_Command3d1{};
    std::unique_ptr<PictureButtonControl> m_Panel3d1;
    std::unique_ptr<PictureButtonControl> m_Panel3d2;
    std::unique_ptr<PictureButtonControl> m_Command3d2;
    std::unique_ptr<PictureButtonControl> m_Command3d3;
    std::unique_ptr<SliderAdapter> m_HScroll1;
    std::unique_ptr<ProgressAdapter> m_Gauge1;
    std::unique_ptr<StationImage> m_Image1;
    std::unique_ptr<RefusalImage> m_Picture1;
};
