// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/StationState.h"
#include "ui/Face.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <array>
#include <memory>
#include <optional>

struct AppState;
class Clock;
class Form1;
class PictureButton;
class Timer;

// Shows the station's state in the main window: the memory buttons' and the status panel's
// faces, the elapsed time and the progress bar, the delay on the slider and its button, the Lock
// and StdBy faces with their blinking, the station picture and the refusal face. It holds no
// rule: it draws what the state says, and touches a control only when what it shows changes.
class StationPresenter : public QObject
{
    Q_OBJECT
public:
    // The station pictures come from `settings`' ImgDir; the blinking and the refusal face's
    // second run on `clock`.
    StationPresenter(Form1 &form, const AppState &settings, Clock &clock,
                     QObject *parent = nullptr);
    ~StationPresenter() override;

    // The window at rest, as start-up leaves it, for `state`.
    void start(const StationState &state);
    // The station changed (nothing before start()).
    void show(const StationState &state);
    // Whether the window shows `a` and `b` alike, which differ only in the elapsed time.
    bool sameOnScreen(const StationState &a, const StationState &b) const;

private:
    void showMemories(const StationState &state);
    void showStatus(const StationState &state);
    struct StatusShown
    {
        double tenths; // of the elapsed seconds, in the caption
        int bar; // the progress bar's value
        bool operator==(const StatusShown &) const = default;
    };
    std::optional<StatusShown> statusShown(const StationState &state) const;
    void showDelay(const StationState &state);
    void showLock(const StationState &state);
    void showStandby(const StationState &state);
    void showPicture(bool onAir);
    void showRefusal();
    void hideRefusal();
    void setFace(PictureButton *button, Face face);
    void blinkLock();
    void blinkStandby();

    Form1 &m_form;
    const AppState &m_settings;
    std::optional<StationState> m_shown;
    std::unique_ptr<Timer> m_standbyBlink; // Timer2
    std::unique_ptr<Timer> m_refusalTimer; // Timer3
    std::unique_ptr<Timer> m_lockBlink;
    bool m_standbyGreen = false; // the StdBy face shows green now ("R"), else blue ("B")
    bool m_lockBlinkRed = false;
    quint32 m_random = 0x50000; // the refusal faces' generator, never seeded
    QSet<QString> m_reported; // pictures that could not be read, said once each
    std::optional<double> m_secondsShown; // the tenths of seconds the status caption shows
    QString m_separator; // the decimal separator of the seconds shown
};
