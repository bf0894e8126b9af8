// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WindowControls.h"

#include "station/AppState.h"
#include "station/Log.h"
#include "ui/Form1.h"
#include "ui/ImageList.h"
#include "ui/PictureButton.h"

#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QSlider>

PictureButtonControl::PictureButtonControl(PictureButton &button, const ImageList &faces)
    : m_button(button), m_faces(faces)
{ }

void PictureButtonControl::setFace(Face face)
{
    m_button.setPicture(m_faces.picture(face));
}

void PictureButtonControl::setCaption(const QString &caption)
{
    m_button.setText(caption);
}

void PictureButtonControl::setTag(const QString &tag)
{
    m_button.setTag(tag);
}

void PictureButtonControl::setBackColor(quint32 rgb)
{
    m_button.setBackColor(QColor::fromRgb(QRgb(rgb)));
}

void PictureButtonControl::repaint()
{
    m_button.repaint();
}

int SliderAdapter::value() const
{
    return m_slider.value();
}

void SliderAdapter::setValue(int value)
{
    m_slider.setValue(value);
}

int ProgressAdapter::minimum() const
{
    return m_bar.minimum();
}

int ProgressAdapter::maximum() const
{
    return m_bar.maximum();
}

void ProgressAdapter::setValue(int value)
{
    m_bar.setValue(value);
}

void StationImage::show(bool onAir)
{
    const QString path = m_state.ImgDir + QLatin1String(onAir ? "ontheair.bmp" : "receive.bmp");
    QPixmap picture(path);
    if (picture.isNull() && !m_reported.contains(path)) {
        // Said once per picture and run: a keyer that keys all day must not flood the log.
        m_reported.insert(path);
        qCWarning(lcVocta).noquote() << "cannot load the picture" << path;
    }
    // The picture is shown at its own size; a missing one leaves the area empty.
    m_image.setPixmap(picture);
    m_image.resize(picture.isNull() ? m_image.size() : picture.size());
}

void RefusalImage::show(int face)
{
    m_picture.setVisible(true);
    m_picture.setPixmap(m_faces.picture(face));
}

void RefusalImage::hide()
{
    m_picture.setVisible(false);
}

WindowControls::WindowControls(Form1 &form, const AppState &state)
{
    const ImageList &faces = form.ImageList1();
    for (int i = 0; i < 6; ++i) {
        m_memories[i] = std::make_unique<PictureButtonControl>(*form.Command3d1(i), faces);
        m_Command3d1[i] = m_memories[i].get();
    }
    m_Panel3d1 = std::make_unique<PictureButtonControl>(*form.Panel3d1(), faces);
    m_Panel3d2 = std::make_unique<PictureButtonControl>(*form.Panel3d2(), faces);
    m_Command3d2 = std::make_unique<PictureButtonControl>(*form.Command3d2(), faces);
    m_Command3d3 = std::make_unique<PictureButtonControl>(*form.Command3d3(), faces);
    m_HScroll1 = std::make_unique<SliderAdapter>(*form.HScroll1());
    m_Gauge1 = std::make_unique<ProgressAdapter>(*form.Gauge1());
    m_Image1 = std::make_unique<StationImage>(*form.Image1(), state);
    m_Picture1 = std::make_unique<RefusalImage>(*form.Picture1(), form.ImageList2());
}

WindowControls::~WindowControls() = default;
