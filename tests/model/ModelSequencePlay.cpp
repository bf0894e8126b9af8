// SPDX-License-Identifier: GPL-3.0-or-later
// Playing an event on the real station, and reading what it shows.

#include "tests/model/ModelSequence.h"

#include "remote/KeyerAdaptor.h"
#include "ui/ComSet.h"
#include "ui/PictureButton.h"
#include "ui/RecordSet.h"
#include "ui/TransportBar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>

void ModelSequence::play(const ModelEvent &event)
{
    Form1 &w = window();
    TransportBar *bar = w.MMControl1();
    StationModel &model = *m_model;
    const auto deliver = [this](int number, FormTimer &timer) {
        m_delivering = number;
        QVERIFY(timer.isRunning());
        emit timer.Timer();
        m_delivering = -1;
    };

    switch (event.kind) {
    case ModelEvent::LeftClick:
        QTest::mouseClick(w.Command3d1(event.arg), Qt::LeftButton);
        model.leftClickMemory(event.arg);
        break;
    case ModelEvent::RightClick:
        m_dialogs.fileAnswer = event.answer;
        QTest::mouseClick(w.Command3d1(event.arg), Qt::RightButton);
        model.rightClickMemory(event.arg, event.answer);
        break;
    case ModelEvent::Lock:
        QTest::mouseClick(w.Command3d2(), Qt::LeftButton);
        model.clickLock();
        break;
    case ModelEvent::Standby:
        QTest::mouseClick(w.Command3d3(), Qt::LeftButton);
        model.clickStandby();
        break;
    case ModelEvent::RepeatBox:
        w.Check3d1(event.arg)->click();
        model.clickRepeatBox(event.arg);
        break;
    case ModelEvent::Slider:
        w.HScroll1()->setValue(event.arg);
        model.moveSlider(event.arg);
        break;
    case ModelEvent::DelayButton:
        QTest::mouseClick(w.Panel3d2(), Qt::LeftButton);
        model.clickDelayButton();
        break;
    case ModelEvent::StatusPanel:
        QTest::mouseClick(w.Panel3d1(), Qt::LeftButton);
        model.clickStatusPanel();
        break;
    case ModelEvent::Play:
        bar->button(TransportBar::Play)->click();
        model.transportPlay();
        break;
    case ModelEvent::Prev:
        bar->button(TransportBar::Prev)->click();
        model.transportPrev();
        break;
    case ModelEvent::Stop:
        bar->button(TransportBar::Stop)->click();
        model.transportStop();
        break;
    case ModelEvent::Pause:
        bar->button(TransportBar::Pause)->click();
        model.transportPause();
        break;
    case ModelEvent::Next: {
        const bool plays = m_device.Mode() == MediaDevice::Playing;
        bar->button(TransportBar::Next)->click();
        model.transportNext();
        // To the end of the file: a play ends there.
        if (plays)
            m_forced.push_back(ModelEvent{ModelEvent::DeviceEnds, StationModel::Successful, {}});
        break;
    }
    case ModelEvent::DeviceEnds:
        m_device.finish(event.arg);
        model.done(event.arg, true);
        break;
    case ModelEvent::LateDone:
        m_pendingDone.pop_front();
        m_device.deliverDone(event.arg);
        model.done(event.arg, false);
        break;
    case ModelEvent::StrayDone:
        m_device.deliverDone(event.arg);
        model.done(event.arg, false);
        break;
    case ModelEvent::Report:
        m_device.report();
        model.statusReport();
        break;
    case ModelEvent::Tick1:
        deliver(1, w.Timer1());
        model.tickTimer1();
        break;
    case ModelEvent::Tick2:
        deliver(2, w.Timer2());
        model.tickTimer2();
        break;
    case ModelEvent::Tick3:
        deliver(3, w.Timer3());
        model.tickTimer3();
        break;
    case ModelEvent::ComOpen:
        w.menuItem(QStringLiteral("Parameters"))->trigger();
        model.openComDialog();
        break;
    case ModelEvent::ComRtsBox:
        dialog()->Check1()->click();
        model.clickRtsBox();
        break;
    case ModelEvent::ComDtrBox:
        dialog()->Check2()->click();
        model.clickDtrBox();
        break;
    case ModelEvent::ComRtsPolarity:
        dialog()->Option2(event.arg ? 0 : 1)->click();
        model.chooseRtsPolarity(event.arg);
        break;
    case ModelEvent::ComDtrPolarity:
        dialog()->Option3(event.arg ? 0 : 1)->click();
        model.chooseDtrPolarity(event.arg);
        break;
    case ModelEvent::ComPort:
        dialog()->Option1(event.arg)->click();
        model.choosePort(event.arg);
        break;
    case ModelEvent::ComOk:
        m_lines.openError = event.answer;
        dialog()->Command1()->click();
        model.clickOk(event.answer);
        if (m_lines.isOpen())
            m_portEverOpened = true;
        break;
    case ModelEvent::ComClose:
        dialog()->close();
        model.closeComDialog();
        break;
    case ModelEvent::Time:
        passTime(event.arg);
        break;
    case ModelEvent::KeyF:
        pressKey(event, Qt::Key(Qt::Key_F1 + event.arg), Qt::NoModifier);
        model.pressF(event.arg);
        break;
    case ModelEvent::KeyEscape:
        pressKey(event, Qt::Key_Escape, Qt::NoModifier);
        model.pressEscape();
        break;
    case ModelEvent::KeyShiftF:
        pressKey(event, Qt::Key(Qt::Key_F1 + event.arg), Qt::ShiftModifier);
        model.pressShiftF(event.arg);
        break;
    case ModelEvent::RemotePlay:
        m_answer = m_keyer->Play(event.arg) ? "true" : "false";
        model.remotePlay(event.arg);
        break;
    case ModelEvent::RemoteStop:
        m_answer = m_keyer->Stop() ? "true" : "false";
        model.remoteStop();
        break;
    case ModelEvent::RemoteSetLock:
        m_keyer->SetLock(event.arg);
        model.remoteSetLock(event.arg);
        break;
    case ModelEvent::RemoteSetStandby:
        m_keyer->SetStandby(event.arg);
        model.remoteSetStandby(event.arg);
        break;
    case ModelEvent::KindCount:
        break;
    }
}

void ModelSequence::passTime(int milliseconds)
{
    StationModel &model = *m_model;
    const qint64 until = model.now() + milliseconds;
    while (const std::optional<StationModel::KeyingTimer> due = model.nextDue(until)) {
        FormTimer &timer = keyingTimer(*due);
        m_delivering = 10 + *due;
        QVERIFY(timer.isRunning());
        emit timer.Timer();
        m_delivering = -1;
        model.tick(*due);
    }
    model.passTime(until);
}

// A key pressed and released on the control that has the focus; what that control leaves alone
// goes on to the window.
void ModelSequence::pressKey(const ModelEvent &event, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    Form1 &w = window();
    QWidget *target = &w;
    if (event.target >= 1 && event.target <= 6)
        target = w.Command3d1(event.target - 1);
    else if (event.target == 7)
        target = w.Check3d1(0);
    else if (event.target == 8)
        target = w.HScroll1();
    else if (event.target == 9)
        target = w.Command3d2();
    QTest::keyClick(target, key, modifiers);
}

StationView ModelSequence::observe()
{
    const AppState &s = m_station->state();
    Form1 &w = window();
    const ImageList &faces = w.ImageList1();
    StationView v;

    v.player = int(s.Player);
    v.Playing = s.Playing();
    v.CurMem = s.CurMem;
    v.RepOn = s.RepOn;
    v.LockOn = s.LockOn;
    v.StdByOn = s.StdByOn;
    v.PlayTime = s.PlayTime;
    for (int i = 0; i < 6; ++i) {
        v.MemFile[i] = s.MemFile[i];
        v.MemDelay[i] = s.MemDelay[i];
        v.memoryFace[i] = faces.indexOf(w.Command3d1(i)->picture());
        v.memoryYellow[i] = w.Command3d1(i)->backColor() == QColor(255, 255, 0);
        v.repeatBox[i] = w.Check3d1(i)->isChecked();
    }
    v.ComNum = s.ComNum;
    v.RtsOn = s.RtsOn;
    v.RtsPos = s.RtsPos;
    v.DtrOn = s.DtrOn;
    v.DtrPos = s.DtrPos;

    v.panelFace = faces.indexOf(w.Panel3d1()->picture());
    v.panelCaption = w.Panel3d1()->text();
    v.gauge = w.Gauge1()->value();
    v.slider = w.HScroll1()->value();
    v.delayCaption = w.Panel3d2()->text();
    v.lockFace = faces.indexOf(w.Command3d2()->picture());
    v.standbyFace = faces.indexOf(w.Command3d3()->picture());
    v.standbyTag = w.Command3d3()->tag();
    const QImage picture = w.Image1()->pixmap().toImage();
    v.onAirPicture = !picture.isNull() && picture.pixelColor(0, 0) == OnAirColour;
    v.refusalShown = w.Picture1()->isVisibleTo(&w);
    v.timer1Interval = w.Timer1().isRunning() ? w.Timer1().interval() : 0;
    v.timer2Interval = w.Timer2().isRunning() ? w.Timer2().interval() : 0;
    v.timer3Running = w.Timer3().isRunning();
    const auto shown = [](FormTimer &timer) {
        return timer.isRunning() ? timer.interval() : 0;
    };
    Keying &keying = m_station->keying();
    v.leadInterval = shown(keying.leadTimer());
    v.tailInterval = shown(keying.tailTimer());
    v.timeoutInterval = shown(keying.timeoutTimer());
    v.lockBlinkInterval = shown(keying.lockBlinkTimer());
    v.timeoutLines = timeoutLinesSeen - m_timeoutLinesAtStart;
    TransportBar *bar = w.MMControl1();
    for (int i = 0; i < 5; ++i)
        v.transport[i] = bar->button(TransportBar::ButtonId(i))->isEnabled();

    v.deviceMode = m_device.Mode();
    v.updateInterval = m_device.UpdateInterval();
    v.deviceFile = m_device.FileName();
    v.deviceLog = m_device.log;
    v.fileRequests = int(m_dialogs.fileRequests.size());
    if (!m_dialogs.fileRequests.isEmpty())
        v.fileTitle = m_dialogs.fileRequests.last().title;

    v.rts = m_lines.rts();
    v.dtr = m_lines.dtr();
    v.portOpen = m_lines.isOpen();
    v.wireLog = m_lines.wire;
    v.wireRts = m_lines.wireRts;
    v.wireDtr = m_lines.wireDtr;
    v.receiveRts = m_lines.receiveLevels().rts;
    v.receiveDtr = m_lines.receiveLevels().dtr;
    v.messages = m_dialogs.messages;

    if (RecordSet *recorder = m_station->recordSet().form(); recorder && recorder->isVisible())
        v.recorderMemory = recorder->Combo1()->currentIndex() + 1;
    v.remoteStatus = QStringLiteral("%1 %2 %3 %4 %5")
                         .arg(m_keyer->state())
                         .arg(m_keyer->memory())
                         .arg(int(m_keyer->onAir()))
                         .arg(int(m_keyer->lock()))
                         .arg(int(m_keyer->standby()));
    v.changedSignals = m_changedSignals;
    v.answer = m_answer;

    if (ComSet *com = dialog()) {
        v.dialog = com->isVisible() ? StationView::Shown : StationView::Hidden;
        v.check1 = com->Check1()->isChecked();
        v.check2 = com->Check2()->isChecked();
        v.option2Positive = com->Option2(0)->isChecked();
        v.option3Positive = com->Option3(0)->isChecked();
        v.option2Enabled = com->Option2(0)->isEnabled() && com->Option2(1)->isEnabled();
        v.option3Enabled = com->Option3(0)->isEnabled() && com->Option3(1)->isEnabled();
        v.portOption = -1;
        for (int i = 0; i < 8; ++i) {
            if (com->Option1(i)->isChecked())
                v.portOption = i;
        }
    }
    return v;
}
