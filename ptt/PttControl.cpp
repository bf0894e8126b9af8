#include "PttControl.h"

#include "AppState.h"

#include <QLabel>
#include <QPixmap>
#include <cstdio>

PttControl::PttControl(AppState &state, QLabel &Image1)
    : m_state(state)
    , m_Image1(Image1)
{
}

void PttControl::SendStat()
{
    showPicture("ontheair.bmp");
}

void PttControl::RecStat()
{
    showPicture("receive.bmp");
}

void PttControl::showPicture(const char *fileName)
{
    const QString path = m_state.ImgDir + QLatin1String(fileName);
    QPixmap picture(path);
    if (picture.isNull() && !m_reported.contains(path)) {
        // Said once per picture and run: a keyer that keys all day must not flood the log.
        m_reported.insert(path);
        std::fprintf(stderr, "voicevocta: cannot load the picture %s\n", qPrintable(path));
    }
    // The picture is shown at its own size; a missing one leaves the area empty.
    m_Image1.setPixmap(picture);
    m_Image1.resize(picture.isNull() ? m_Image1.size() : picture.size());
}
