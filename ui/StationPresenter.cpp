// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/StationPresenter.h"

#include "settings/TextRules.h"
#include "station/AppState.h"
#include "station/Clock.h"
#include "station/Log.h"
#include "station/LogText.h"
#include "ui/Form1.h"
#include "ui/PictureButton.h"
#include "ui/PictureFile.h"

#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QSlider>
#include <limits>

namespace {
// The StdBy blink and the Lock button's time-out warning: 250 ms per face.
constexpr int BlinkInterval = 250;
// The refusal face shows for one second.
constexpr int RefusalMs = 1000;
} // namespace

StationPresenter::StationPresenter(Form1 &form, const AppState &settings, Clock &clock,
                                   QObject *parent)
    : QObject(parent)
    , m_form(form)
    , m_settings(settings)
    , m_standbyBlink(clock.timer([this] { blinkStandby(); }, true))
    , m_refusalTimer(clock.timer([this] { hideRefusal(); }))
    , m_lockBlink(clock.timer([this] { blinkLock(); }, true))
{ }

StationPresenter::~StationPresenter() = default;

void StationPresenter::start(const StationState &state)
{
    m_shown.reset();
    m_secondsShown.reset();
    const ImageList &faces = m_form.ImageList1();
    for (PictureButton *button : m_form.memoryButtons())
        button->setPicture(faces.picture(Face::Blue));
    for (PictureButton *button :
         {m_form.Panel3d1(), m_form.Panel3d2(), m_form.Command3d2(), m_form.Command3d3()})
        button->setPicture(faces.picture(Face::Blue));
    m_form.Command3d2()->setTag(QStringLiteral("B"));
    m_form.Command3d3()->setTag(QStringLiteral("B"));
    m_form.Picture1()->setVisible(false);
    // The delay as start-up writes it (" 4.5"), until the slider first moves.
    m_form.HScroll1()->setValue(state.delay);
    m_form.Panel3d2()->setText(TextRules::numberText(state.delay / 1000.0));
    showPicture(state.onAir || state.transmitting);
    StationState atRest;
    atRest.delay = state.delay;
    m_shown = atRest;
    show(state);
}

void StationPresenter::show(const StationState &state)
{
    if (!m_shown)
        return; // the window is not at rest yet: start() shows what is then

    if (state.memory != m_shown->memory || state.playing() != m_shown->playing())
        showMemories(state);
    showStatus(state);
    showDelay(state);
    showLock(state);
    showStandby(state);
    // On the air while asked, and while the transmitter may still be keyed.
    if ((state.onAir || state.transmitting) != (m_shown->onAir || m_shown->transmitting))
        showPicture(state.onAir || state.transmitting);
    for (int refusal = m_shown->refusals; refusal < state.refusals; ++refusal)
        showRefusal();
    m_shown = state;
}

void StationPresenter::setFace(PictureButton *button, Face face)
{
    const QPixmap picture = m_form.ImageList1().picture(face);
    if (button->picture().cacheKey() != picture.cacheKey())
        button->setPicture(picture);
}

// The memory that plays or waits for its repeat is red, the memory last started green, the
// others blue.
void StationPresenter::showMemories(const StationState &state)
{
    for (int i = 0; i < MemoryCount; ++i) {
        Face face = Face::Blue;
        if (i == state.memory)
            face = state.playing() ? Face::Red : Face::Green;
        setFace(m_form.Command3d1(i), face);
    }
}

// The status panel: yellow (repeat) or orange (once) while a message is busy, else blue; its
// caption the elapsed seconds while they are counted, else "Pause" or "Idle"; the progress bar.
void StationPresenter::showStatus(const StationState &state)
{
    PictureButton *panel = m_form.Panel3d1();
    if (state.playing() != m_shown->playing()
        || state.startedWithRepeat != m_shown->startedWithRepeat) {
        Face face = Face::Blue;
        if (state.playing())
            face = state.startedWithRepeat ? Face::Yellow : Face::Orange;
        setFace(panel, face);
    }

    QProgressBar *bar = m_form.Gauge1();
    if (state.playTime <= 0) {
        const QString caption = state.paused ? tr("Pause") : tr("Idle");
        m_secondsShown.reset();
        if (panel->text() != caption) {
            panel->setText(caption);
            panel->repaint();
        }
        if (bar->value() != bar->minimum())
            bar->setValue(bar->minimum());
        return;
    }
    if (state.playTime == m_shown->playTime && state.length == m_shown->length)
        return;
    const std::optional<StatusShown> shown = statusShown(state);
    if (!shown)
        return;
    // Seconds with the operator's own decimal separator ("1,1" in German), read as the count
    // starts. The caption is made again only when its tenths change: about every second report.
    if (!m_secondsShown)
        m_separator = QLocale().decimalPoint();
    if (m_secondsShown != shown->tenths) {
        m_secondsShown = shown->tenths;
        const QString caption = TextRules::formatOneDecimal(state.playTime / 1000, m_separator);
        if (panel->text() != caption)
            panel->setText(caption);
    }
    if (bar->value() != shown->bar)
        bar->setValue(shown->bar);
}

// While the elapsed time is counted: the caption's tenths of seconds and the bar's value. None
// for nothing open, or far past a short file's end (beyond 16 bits of percent): the bar and the
// caption stay as they are.
std::optional<StationPresenter::StatusShown> StationPresenter::statusShown(
    const StationState &state) const
{
    if (state.playTime <= 0 || state.length <= 0)
        return std::nullopt;
    const double percentage = TextRules::roundHalfEven(state.playTime / state.length * 100);
    if (percentage > std::numeric_limits<qint16>::max())
        return std::nullopt;
    const QProgressBar *bar = m_form.Gauge1();
    return StatusShown{TextRules::tenthsOf(state.playTime / 1000),
                       bar->maximum() < percentage ? bar->maximum() : int(percentage)};
}

bool StationPresenter::sameOnScreen(const StationState &a, const StationState &b) const
{
    return statusShown(a) == statusShown(b);
}

void StationPresenter::showDelay(const StationState &state)
{
    if (state.delay == m_shown->delay)
        return;
    if (m_form.HScroll1()->value() != state.delay)
        m_form.HScroll1()->setValue(state.delay);
    m_form.Panel3d2()->setText(TextRules::formatOneDecimal(state.delay / 1000.0));
}

// Lock: red while engaged, blue while released; during the time-out's warning it blinks, from the
// face it did not show.
void StationPresenter::showLock(const StationState &state)
{
    if (state.lock == m_shown->lock && state.timeoutWarning == m_shown->timeoutWarning)
        return;
    PictureButton *lock = m_form.Command3d2();
    if (state.timeoutWarning && !m_shown->timeoutWarning) {
        m_lockBlinkRed = !state.lock;
        setFace(lock, m_lockBlinkRed ? Face::Red : Face::Blue);
        m_lockBlink->start(BlinkInterval);
        return;
    }
    if (state.timeoutWarning)
        return;
    m_lockBlink->stop();
    setFace(lock, state.lock ? Face::Red : Face::Blue);
}

void StationPresenter::blinkLock()
{
    m_lockBlinkRed = !m_lockBlinkRed;
    setFace(m_form.Command3d2(), m_lockBlinkRed ? Face::Red : Face::Blue);
}

// StdBy: blue ("B") while released; engaged, it blinks green ("R") and blue, starting green.
void StationPresenter::showStandby(const StationState &state)
{
    if (state.standby == m_shown->standby)
        return;
    PictureButton *standby = m_form.Command3d3();
    m_standbyGreen = state.standby;
    setFace(standby, m_standbyGreen ? Face::Green : Face::Blue);
    standby->setTag(m_standbyGreen ? QStringLiteral("R") : QStringLiteral("B"));
    if (state.standby)
        m_standbyBlink->start(BlinkInterval);
    else
        m_standbyBlink->stop();
}

void StationPresenter::blinkStandby()
{
    m_standbyGreen = !m_standbyGreen;
    PictureButton *standby = m_form.Command3d3();
    setFace(standby, m_standbyGreen ? Face::Green : Face::Blue);
    standby->setTag(m_standbyGreen ? QStringLiteral("R") : QStringLiteral("B"));
}

// "ontheair.bmp" or "receive.bmp" of the Images folder, read at each change and shown at its own
// size. A picture that cannot be read leaves the area empty and is said once per run.
void StationPresenter::showPicture(bool onAir)
{
    const QString path = m_settings.Places.ImgDir + QLatin1String(onAir ? "ontheair.bmp" : "receive.bmp");
    const QPixmap picture = readPicture(path);
    if (picture.isNull() && !m_reported.contains(path)) {
        m_reported.insert(path);
        qCWarning(lcUi).noquote() << "cannot load the picture" << LogText::quoted(path);
    }
    QLabel *image = m_form.Image1();
    image->setPixmap(picture);
    image->resize(picture.isNull() ? image->size() : picture.size());
}

// One of the four refusal faces, picked by a generator that is never seeded (every run shows the
// same sequence), for one second; another refusal within it changes the face and starts the
// second again.
void StationPresenter::showRefusal()
{
    // A 24-bit linear congruential generator; its values lie in [0, 1).
    m_random = (m_random * 0x43FD43FDu + 0xC39EC3u) & 0xFFFFFFu;
    const int face = int(m_random / 16777216.0 * 4) + 1;
    m_refusalTimer->start(RefusalMs);
    QLabel *picture = m_form.Picture1();
    picture->setVisible(true);
    picture->setPixmap(m_form.ImageList2().picture(face));
}

void StationPresenter::hideRefusal()
{
    m_form.Picture1()->setVisible(false);
}
