// The whole station against its reference model: random sequences of operator and device events
// are played on the real window (offscreen, with the test doubles), and after every event the
// window, the shared state, the sound device and the serial lines are compared with what
// StationModel says they must be; a few safety rules are checked on top (standby never keys,
// nothing keys without Lock or a message on the air, nothing reaches the wire before the port
// opened).
//
// Every sequence comes from its seed. A failure prints the seed, the events up to the failing one
// and the differences. Environment:
//   VV_MODEL_SEQUENCES=n   sequences to run (default 2000)
//   VV_MODEL_EVENTS=n      events per sequence (default 200)
//   VV_MODEL_FIRST=n       seed of the first sequence (default 1)
//   VV_MODEL_SEED=n        replay only the sequence with seed n, printing every event
//   VV_MODEL_KEEP_GOING=1  run every sequence to its first difference and list them all
//
// The long run, outside CTest (from the build folder):
//   VV_MODEL_SEQUENCES=100000 QT_QPA_PLATFORM=offscreen tests/model/tst_stationmodel
// and to replay a seed it printed:
//   VV_MODEL_SEED=4711 QT_QPA_PLATFORM=offscreen tests/model/tst_stationmodel

#include "StationModel.h"

#include "ComSet.h"
#include "FakeDialogs.h"
#include "FakeMediaDevice.h"
#include "FakeSerialLines.h"
#include "PictureButton.h"
#include "TransportBar.h"
#include "VoiceVocta.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <deque>
#include <memory>
#include <random>

namespace {

int environment(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

// One event of a sequence: what the operator or the device does.
struct Event
{
    enum Kind {
        LeftClick, // memory arg
        RightClick, // memory arg, answer (empty: cancelled)
        Lock,
        Standby,
        RepeatBox, // memory arg
        Slider, // value arg
        DelayButton,
        StatusPanel,
        Play,
        Prev,
        Stop,
        Pause,
        Next,
        DeviceEnds, // the play ends by itself with code arg
        LateDone, // the Aborted that a stop of a play brings
        StrayDone, // a Done with code arg, out of the blue
        Report,
        Tick1,
        Tick2,
        Tick3,
        ComOpen,
        ComRtsBox,
        ComDtrBox,
        ComRtsPolarity, // arg 1 positive, 0 negative
        ComDtrPolarity,
        ComPort, // option arg (port arg + 1)
        ComOk, // answer: the port layer's refusal, empty when it opens
        ComClose,
    };
    Kind kind;
    int arg = 0;
    QString answer;

    QString describe() const
    {
        switch (kind) {
        case LeftClick:
            return QStringLiteral("left click on memory %1").arg(arg + 1);
        case RightClick:
            return QStringLiteral("right click on memory %1, %2")
                .arg(arg + 1)
                .arg(answer.isEmpty() ? QStringLiteral("cancelled") : answer);
        case Lock:
            return QStringLiteral("Lock");
        case Standby:
            return QStringLiteral("StdBy");
        case RepeatBox:
            return QStringLiteral("repeat box %1").arg(arg + 1);
        case Slider:
            return QStringLiteral("slider to %1").arg(arg);
        case DelayButton:
            return QStringLiteral("delay button");
        case StatusPanel:
            return QStringLiteral("status panel");
        case Play:
            return QStringLiteral("transport Play");
        case Prev:
            return QStringLiteral("transport Prev");
        case Stop:
            return QStringLiteral("transport Stop");
        case Pause:
            return QStringLiteral("transport Pause");
        case Next:
            return QStringLiteral("transport Next");
        case DeviceEnds:
            return QStringLiteral("the play ends, Done %1").arg(arg);
        case LateDone:
            return QStringLiteral("late Done 4 of a stopped play");
        case StrayDone:
            return QStringLiteral("stray Done %1").arg(arg);
        case Report:
            return QStringLiteral("status report");
        case Tick1:
            return QStringLiteral("Timer1 ticks");
        case Tick2:
            return QStringLiteral("Timer2 ticks");
        case Tick3:
            return QStringLiteral("Timer3 ticks");
        case ComOpen:
            return QStringLiteral("Setup > Com > Parameters");
        case ComRtsBox:
            return QStringLiteral("COM: RTS Enabled box");
        case ComDtrBox:
            return QStringLiteral("COM: DTR Enabled box");
        case ComRtsPolarity:
            return QStringLiteral("COM: RTS %1").arg(arg ? "Positive" : "Negative");
        case ComDtrPolarity:
            return QStringLiteral("COM: DTR %1").arg(arg ? "Positive" : "Negative");
        case ComPort:
            return QStringLiteral("COM: port %1").arg(arg + 1);
        case ComOk:
            return QStringLiteral("COM: OK%1")
                .arg(answer.isEmpty() ? QString()
                                      : QStringLiteral(", the port layer says \"%1\"").arg(answer));
        case ComClose:
            return QStringLiteral("COM: close box");
        }
        return QString();
    }
};

// What the sequences went through: every kind of event, and the states worth reaching.
struct Coverage
{
    std::array<int, Event::ComClose + 1> events{};
    int keyedOnTheWire = 0;
    int repeatWait = 0;
    int lockUnderStandby = 0;
    int messageUnderStandby = 0;
    int deviceWithoutMessage = 0; // the transport bar's own play, no memory playing
    int refusal = 0;

    void count(const Event &event, const StationModel &model, const StationView &view,
               bool portEverOpened)
    {
        ++events[event.kind];
        keyedOnTheWire += view.portOpen && model.keyed(view, portEverOpened);
        repeatWait += model.inRepeatWait();
        lockUnderStandby += view.LockOn && view.StdByOn;
        messageUnderStandby += model.messageOnAir() && view.StdByOn;
        deviceWithoutMessage += view.deviceMode == StationModel::Playing && !view.Playing;
        refusal += view.refusalShown;
    }

    QStringList states() const
    {
        return {QStringLiteral("keyed on the wire %1").arg(keyedOnTheWire),
                QStringLiteral("repeat wait %1").arg(repeatWait),
                QStringLiteral("Lock under standby %1").arg(lockUnderStandby),
                QStringLiteral("message under standby %1").arg(messageUnderStandby),
                QStringLiteral("device plays without a message %1").arg(deviceWithoutMessage),
                QStringLiteral("refusal shown %1").arg(refusal)};
    }

    // The kinds of event and the states that never came.
    QStringList missing() const
    {
        QStringList out;
        for (int kind = 0; kind <= Event::ComClose; ++kind) {
            if (!events[kind])
                out << Event{Event::Kind(kind), 0, {}}.describe();
        }
        for (const QString &state : states()) {
            if (state.endsWith(QLatin1String(" 0")))
                out << state;
        }
        return out;
    }
};

// The station pictures, told apart by colour.
const QColor OnAirColour(255, 0, 0);
const QColor ReceiveColour(0, 255, 0);

// One random sequence: a fresh station built from random settings, its model, the events.
class Sequence
{
public:
    Sequence(const QString &programDir, quint32 seed, bool verbose);

    // Plays one event and compares; false (with the report in failure) when they part.
    bool step(QString &failure, Coverage &coverage);
    const QStringList &played() const { return m_played; }

private:
    int pick(int n) { return int(m_random() % quint32(n)); }
    bool chance(int percent) { return pick(100) < percent; }

    StationModel::Settings randomSettings();
    void writeSettings(const StationModel::Settings &settings);
    Event choose();
    void play(const Event &event);
    StationView observe();

    Form1 &window() { return m_station->window(); }
    ComSet *dialog() { return m_station->comSet().form(); }

    QString m_programDir;
    std::mt19937 m_random;
    bool m_verbose;
    FakeMediaDevice m_device;
    FakeSerialLines m_lines;
    FakeDialogs m_dialogs;
    std::unique_ptr<VoiceVocta> m_station;
    std::unique_ptr<StationModel> m_model;
    std::deque<Event> m_forced; // events that must come next (a device's own consequence)
    std::deque<int> m_pendingDone; // the Done that stopped plays still owe
    bool m_portEverOpened = false;
    int m_delivering = -1; // the timer whose tick the test delivers now
    QStringList m_unexpected; // ticks that came by themselves
    QStringList m_played;
};

Sequence::Sequence(const QString &programDir, quint32 seed, bool verbose)
    : m_programDir(programDir), m_random(seed), m_verbose(verbose)
{
    const StationModel::Settings settings = randomSettings();
    writeSettings(settings);

    StationModel::Doubles doubles;
    doubles.defaultFile = programDir + QLatin1String("/Wav/Default.wav");
    const qint32 lengths[] = {3000, 3000, 3000, 3000, 1100, 250, 1, 0};
    doubles.length = lengths[pick(8)];
    doubles.raisesOnOpen = chance(80);
    doubles.portsWithDevice = int(m_lines.devices.size());
    m_device.nextLength = doubles.length;
    m_lines.raisesOnOpen = doubles.raisesOnOpen;

    m_station = std::make_unique<VoiceVocta>(m_device, m_lines, m_dialogs, programDir);
    m_station->Form_Load();
    m_model = std::make_unique<StationModel>(settings, doubles);
    // Half of the operators confirm the COM dialog first thing.
    if (chance(50)) {
        m_forced.push_back(Event{Event::ComOpen, 0, {}});
        m_forced.push_back(Event{Event::ComOk, 0, {}});
    }

    // A tick is the test's to give: one that comes by itself would be time the model never saw.
    Form1 &w = window();
    const auto watch = [this](int timer) {
        if (m_delivering != timer)
            m_unexpected << QStringLiteral("Timer%1 ticked by itself").arg(timer);
    };
    QObject::connect(&w, &Form1::Timer1_Timer, &w, [watch] { watch(1); });
    QObject::connect(&w, &Form1::Timer2_Timer, &w, [watch] { watch(2); });
    QObject::connect(&w, &Form1::Timer3_Timer, &w, [watch] { watch(3); });
}

StationModel::Settings Sequence::randomSettings()
{
    StationModel::Settings s;
    const qint16 ports[] = {1, 1, 1, 2, 3, 5, 0};
    s.ComNum = ports[pick(7)];
    s.RtsOn = chance(50);
    s.RtsPos = chance(50);
    s.DtrOn = chance(50);
    s.DtrPos = chance(50);
    const double delays[] = {4500, 4500, 0, 10000, 1000, 250, 12000, -40, 2500.5, 3500.5, 1.5};
    for (int i = 0; i < 6; ++i) {
        s.MemFile[i] = chance(10) ? QString() : QStringLiteral("/station/msg%1.wav").arg(i + 1);
        s.repeat[i] = chance(40);
        s.MemDelay[i] = chance(20) ? double(pick(10001)) : delays[pick(11)];
    }
    return s;
}

void Sequence::writeSettings(const StationModel::Settings &s)
{
    QFile file(m_programDir + QLatin1String("/vocta.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QByteArray text;
    text += "[COM]\nNum=" + QByteArray::number(s.ComNum) + "\nRts=" + (s.RtsOn ? "1" : "0")
            + "\nRtsPos=" + (s.RtsPos ? "1" : "0") + "\nDtr=" + (s.DtrOn ? "1" : "0")
            + "\nDtrPos=" + (s.DtrPos ? "1" : "0") + "\n";
    for (int i = 0; i < 6; ++i) {
        text += "[MEMORY_" + QByteArray::number(i + 1) + "]\nFileName=" + s.MemFile[i].toUtf8()
                + "\nRepeat=" + (s.repeat[i] ? "1" : "0")
                + "\nDelay=" + QByteArray::number(s.MemDelay[i], 'g', 17) + "\n";
    }
    file.write(text);
}

// The operator and the device, as they could act now.
Event Sequence::choose()
{
    if (!m_forced.empty()) {
        const Event event = m_forced.front();
        m_forced.pop_front();
        return event;
    }
    const AppState &state = m_station->state();
    Form1 &w = window();
    TransportBar *bar = w.MMControl1();
    const bool devicePlays = m_device.Mode() == MediaDevice::Playing;
    ComSet *com = dialog();
    const bool comShown = com && com->isVisible();

    // A memory to act on: the current one half of the time, so that stops come often.
    const auto memory = [&] {
        return state.CurMem >= 0 && chance(50) ? int(state.CurMem) : pick(6);
    };

    struct Choice
    {
        int weight;
        Event::Kind kind;
    };
    std::vector<Choice> choices = {
        {16, Event::LeftClick},
        {3, Event::RightClick},
        {state.LockOn ? 3 : 2, Event::Lock},
        {state.StdByOn ? 4 : 1, Event::Standby},
        {5, Event::RepeatBox},
        {3, Event::Slider},
        {2, Event::DelayButton},
        {1, Event::StatusPanel},
        {1, Event::StrayDone},
        {comShown ? 1 : 3, Event::ComOpen},
    };
    const auto enabled = [bar](TransportBar::ButtonId id) {
        return bar->button(id)->isEnabled();
    };
    if (enabled(TransportBar::Play))
        choices.push_back({2, Event::Play});
    if (enabled(TransportBar::Prev))
        choices.push_back({1, Event::Prev});
    if (enabled(TransportBar::Stop))
        choices.push_back({2, Event::Stop});
    if (enabled(TransportBar::Pause))
        choices.push_back({1, Event::Pause});
    if (enabled(TransportBar::Next))
        choices.push_back({1, Event::Next});
    if (devicePlays)
        choices.push_back({12, Event::DeviceEnds});
    if (!m_pendingDone.empty())
        choices.push_back({5, Event::LateDone});
    if (m_device.UpdateInterval() > 0)
        choices.push_back({12, Event::Report});
    if (w.Timer1().isRunning())
        choices.push_back({10, Event::Tick1});
    if (w.Timer2().isRunning())
        choices.push_back({3, Event::Tick2});
    if (w.Timer3().isRunning())
        choices.push_back({6, Event::Tick3});
    if (comShown) {
        choices.push_back({3, Event::ComRtsBox});
        choices.push_back({3, Event::ComDtrBox});
        if (com->Option2(0)->isEnabled())
            choices.push_back({2, Event::ComRtsPolarity});
        if (com->Option3(0)->isEnabled())
            choices.push_back({2, Event::ComDtrPolarity});
        choices.push_back({2, Event::ComPort});
        choices.push_back({5, Event::ComOk});
        choices.push_back({1, Event::ComClose});
    }

    int total = 0;
    for (const Choice &c : choices)
        total += c.weight;
    int at = pick(total);
    Event::Kind kind = choices.front().kind;
    for (const Choice &c : choices) {
        if (at < c.weight) {
            kind = c.kind;
            break;
        }
        at -= c.weight;
    }

    Event event{kind, 0, {}};
    switch (kind) {
    case Event::LeftClick:
    case Event::RepeatBox:
        event.arg = memory();
        break;
    case Event::RightClick:
        event.arg = memory();
        if (chance(60))
            event.answer = QStringLiteral("/chosen/file%1.wav").arg(pick(100));
        break;
    case Event::Slider: {
        const int values[] = {0, 10000, 1, 50, 100, 450, 1000, 2550};
        event.arg = chance(50) ? values[pick(8)] : pick(10001);
        break;
    }
    case Event::DeviceEnds:
        event.arg = chance(85) ? StationModel::Successful : StationModel::Failure;
        break;
    case Event::StrayDone: {
        const int codes[] = {1, 2, 4, 8};
        event.arg = codes[pick(4)];
        break;
    }
    case Event::ComRtsPolarity:
    case Event::ComDtrPolarity:
        event.arg = pick(2);
        break;
    case Event::ComPort:
        // Mostly ports with a device behind them.
        event.arg = chance(70) ? pick(3) : pick(8);
        break;
    case Event::ComOk:
        if (chance(15))
            event.answer = QStringLiteral("Permission denied");
        break;
    default:
        break;
    }
    return event;
}

void Sequence::play(const Event &event)
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
    case Event::LeftClick:
        QTest::mouseClick(w.Command3d1(event.arg), Qt::LeftButton);
        model.leftClickMemory(event.arg);
        break;
    case Event::RightClick:
        m_dialogs.fileAnswer = event.answer;
        QTest::mouseClick(w.Command3d1(event.arg), Qt::RightButton);
        model.rightClickMemory(event.arg, event.answer);
        break;
    case Event::Lock:
        QTest::mouseClick(w.Command3d2(), Qt::LeftButton);
        model.clickLock();
        break;
    case Event::Standby:
        QTest::mouseClick(w.Command3d3(), Qt::LeftButton);
        model.clickStandby();
        break;
    case Event::RepeatBox:
        w.Check3d1(event.arg)->click();
        model.clickRepeatBox(event.arg);
        break;
    case Event::Slider:
        w.HScroll1()->setValue(event.arg);
        model.moveSlider(event.arg);
        break;
    case Event::DelayButton:
        QTest::mouseClick(w.Panel3d2(), Qt::LeftButton);
        model.clickDelayButton();
        break;
    case Event::StatusPanel:
        QTest::mouseClick(w.Panel3d1(), Qt::LeftButton);
        model.clickStatusPanel();
        break;
    case Event::Play:
        bar->button(TransportBar::Play)->click();
        model.transportPlay();
        break;
    case Event::Prev:
        bar->button(TransportBar::Prev)->click();
        model.transportPrev();
        break;
    case Event::Stop:
        bar->button(TransportBar::Stop)->click();
        model.transportStop();
        break;
    case Event::Pause:
        bar->button(TransportBar::Pause)->click();
        model.transportPause();
        break;
    case Event::Next: {
        const bool plays = m_device.Mode() == MediaDevice::Playing;
        bar->button(TransportBar::Next)->click();
        model.transportNext();
        // To the end of the file: a play ends there.
        if (plays)
            m_forced.push_back(Event{Event::DeviceEnds, StationModel::Successful, {}});
        break;
    }
    case Event::DeviceEnds:
        m_device.finish(event.arg);
        model.done(event.arg, true);
        break;
    case Event::LateDone:
        m_pendingDone.pop_front();
        m_device.deliverDone(StationModel::Aborted);
        model.done(StationModel::Aborted, false);
        break;
    case Event::StrayDone:
        m_device.deliverDone(event.arg);
        model.done(event.arg, false);
        break;
    case Event::Report:
        m_device.report();
        model.statusReport();
        break;
    case Event::Tick1:
        deliver(1, w.Timer1());
        model.tickTimer1();
        break;
    case Event::Tick2:
        deliver(2, w.Timer2());
        model.tickTimer2();
        break;
    case Event::Tick3:
        deliver(3, w.Timer3());
        model.tickTimer3();
        break;
    case Event::ComOpen:
        w.menuItem(QStringLiteral("Parameters"))->trigger();
        model.openComDialog();
        break;
    case Event::ComRtsBox:
        dialog()->Check1()->click();
        model.clickRtsBox();
        break;
    case Event::ComDtrBox:
        dialog()->Check2()->click();
        model.clickDtrBox();
        break;
    case Event::ComRtsPolarity:
        dialog()->Option2(event.arg ? 0 : 1)->click();
        model.chooseRtsPolarity(event.arg);
        break;
    case Event::ComDtrPolarity:
        dialog()->Option3(event.arg ? 0 : 1)->click();
        model.chooseDtrPolarity(event.arg);
        break;
    case Event::ComPort:
        dialog()->Option1(event.arg)->click();
        model.choosePort(event.arg);
        break;
    case Event::ComOk:
        m_lines.openError = event.answer;
        dialog()->Command1()->click();
        model.clickOk(event.answer);
        if (m_lines.isOpen())
            m_portEverOpened = true;
        break;
    case Event::ComClose:
        dialog()->close();
        model.closeComDialog();
        break;
    }
}

StationView Sequence::observe()
{
    const AppState &s = m_station->state();
    Form1 &w = window();
    const ImageList &faces = w.ImageList1();
    StationView v;

    v.Playing = s.Playing;
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
    v.messages = m_dialogs.messages;

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

bool Sequence::step(QString &failure, Coverage &coverage)
{
    const Event event = choose();
    m_played << event.describe();
    if (m_verbose)
        qInfo("%4lld  %s", qlonglong(m_played.size()), qPrintable(m_played.last()));

    const int modeBefore = m_device.Mode();
    m_device.clearLog();
    m_lines.clearLogs();
    m_model->beginEvent();
    play(event);
    if (QTest::currentTestFailed()) {
        failure = QStringLiteral("the event could not be played");
        return false;
    }

    // The real device owes an Aborted to a play that was stopped; closing the file drops it.
    if (m_device.log.contains(QStringLiteral("Close")))
        m_pendingDone.clear();
    const bool doneDelivered = event.kind == Event::DeviceEnds || event.kind == Event::LateDone
                               || event.kind == Event::StrayDone;
    if (modeBefore == MediaDevice::Playing && m_device.Mode() != MediaDevice::Playing
        && !doneDelivered)
        m_pendingDone.push_back(StationModel::Aborted);

    StationView expected = m_model->view();
    const StationView actual = observe();
    QStringList problems = expected.differences(actual);
    problems += m_model->safetyProblems(actual, m_portEverOpened);
    problems += m_unexpected;
    m_unexpected.clear();
    coverage.count(event, *m_model, actual, m_portEverOpened);
    if (problems.isEmpty())
        return true;
    failure = problems.join(QLatin1Char('\n')) + QLatin1String("\nstation: ") + actual.summary()
              + QLatin1String("\nmodel:   ") + expected.summary();
    return false;
}

// Drops the warning a right click earns (a button takes only the left one).
QtMessageHandler g_previousHandler = nullptr;
void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // Also the offscreen platform's word that it cannot raise the COM dialog.
    if (type == QtWarningMsg
        && (message.contains(QLatin1String("not accepted by receiving widget"))
            || message.contains(QLatin1String("does not support raise()"))))
        return;
    g_previousHandler(type, context, message);
}

} // namespace

class TestStationModel : public QObject
{
    Q_OBJECT

public:
    // A long run takes hours, longer than the test library's own limit for one test function;
    // CTest's time limit guards the runs in CI.
    static void initMain()
    {
        if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
            qputenv("QTEST_FUNCTION_TIMEOUT", QByteArray::number(24 * 3600 * 1000));
    }

private slots:
    void initTestCase();
    void cleanupTestCase();
    void randomSequences_data();
    void randomSequences();

private:
    QTemporaryDir m_folder;
};

void TestStationModel::initTestCase()
{
    g_previousHandler = qInstallMessageHandler(quietHandler);
    QVERIFY(m_folder.isValid());
    // The program folder: station pictures of known colours. The sounds are never read.
    QVERIFY(QDir().mkpath(m_folder.filePath(QStringLiteral("Images"))));
    QVERIFY(QDir().mkpath(m_folder.filePath(QStringLiteral("Wav"))));
    for (const auto &[name, colour] :
         {std::pair{"ontheair.bmp", OnAirColour}, std::pair{"receive.bmp", ReceiveColour}}) {
        QImage image(2, 2, QImage::Format_RGB32);
        image.fill(colour);
        QVERIFY(
            image.save(m_folder.filePath(QLatin1String("Images/") + QLatin1String(name)), "BMP"));
    }
}

void TestStationModel::cleanupTestCase()
{
    qInstallMessageHandler(g_previousHandler);
}

// The sequences in rows of at most 500, each with its line of figures; one row for a replayed
// seed.
void TestStationModel::randomSequences_data()
{
    QTest::addColumn<int>("first"); // seed of the row's first sequence
    QTest::addColumn<int>("count");

    bool replay = false;
    const int seed = qEnvironmentVariableIntValue("VV_MODEL_SEED", &replay);
    if (replay) {
        QTest::addRow("seed %d", seed) << seed << 1;
        return;
    }
    const int first = environment("VV_MODEL_FIRST", 1);
    const int sequences = environment("VV_MODEL_SEQUENCES", 2000);
    constexpr int RowSize = 500;
    for (int done = 0; done < sequences; done += RowSize) {
        const int count = std::min(RowSize, sequences - done);
        QTest::addRow("seeds %d to %d", first + done, first + done + count - 1)
            << first + done << count;
    }
}

void TestStationModel::randomSequences()
{
    QFETCH(int, first);
    QFETCH(int, count);
    const int events = environment("VV_MODEL_EVENTS", 200);
    const bool verbose = qEnvironmentVariableIsSet("VV_MODEL_SEED");
    // Every sequence to its first difference, one line each, instead of stopping at the first.
    const bool keepGoing = qEnvironmentVariableIsSet("VV_MODEL_KEEP_GOING");

    QElapsedTimer clock;
    clock.start();
    QString firstReport;
    int failed = 0;
    Coverage coverage;
    for (int n = 0; n < count; ++n) {
        const quint32 seed = quint32(first + n);
        Sequence sequence(m_folder.path(), seed, verbose);
        for (int e = 0; e < events; ++e) {
            QString failure;
            if (sequence.step(failure, coverage))
                continue;
            ++failed;
            if (firstReport.isEmpty()) {
                firstReport = QStringLiteral("Sequence with seed %1 parted from the model at "
                                             "event %2 (replay: VV_MODEL_SEED=%1):\n")
                                  .arg(seed)
                                  .arg(e + 1);
                const QStringList &played = sequence.played();
                for (int i = 0; i < played.size(); ++i)
                    firstReport += QStringLiteral("%1  %2\n").arg(i + 1, 4).arg(played[i]);
                firstReport += failure;
            }
            if (!keepGoing)
                QFAIL(qPrintable(firstReport));
            qInfo("seed %u, event %d: %s", seed, e + 1,
                  qPrintable(failure.section(QLatin1Char('\n'), 0, 0)));
            break;
        }
    }
    qInfo("%d sequences of %d events in %lld ms; %s", count, events, qlonglong(clock.elapsed()),
          qPrintable(coverage.states().join(QStringLiteral(", "))));
    // A generator that no longer reaches every event and state would pass without testing it.
    if (count >= 100 && events >= 100 && !failed) {
        const QStringList missing = coverage.missing();
        QVERIFY2(missing.isEmpty(),
                 qPrintable(QStringLiteral("never came: ") + missing.join(", ")));
    }
    if (failed)
        QFAIL(qPrintable(
            QStringLiteral("%1 of %2 sequences failed; the first:\n").arg(failed).arg(count)
            + firstReport));
}

QTEST_MAIN(TestStationModel)
#include "tst_stationmodel.moc"
