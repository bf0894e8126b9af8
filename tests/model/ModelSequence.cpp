// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/model/ModelSequence.h"

#include <QCheckBox>
#include <QFile>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include "remote/KeyerAdaptor.h"
#include "ui/ComSet.h"
#include "ui/TransportBar.h"

const QColor ModelSequence::OnAirColour(255, 0, 0);
const QColor ModelSequence::ReceiveColour(0, 255, 0);
int ModelSequence::timeoutLinesSeen = 0;

ModelSequence::ModelSequence(const QString &programDir, quint32 seed, bool verbose)
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
    // Files the device cannot open, as a text renamed .wav.
    for (int i = 1; i <= 6; ++i)
        doubles.unopenable << QStringLiteral("/station/text%1.wav").arg(i);
    doubles.unopenable << QStringLiteral("/chosen/text.wav");
    m_device.unopenable = doubles.unopenable;
    m_device.nextLength = doubles.length;
    m_lines.raisesOnOpen = doubles.raisesOnOpen;

    m_station = std::make_unique<VoiceVocta>(m_device, m_lines, m_dialogs, m_server, m_input,
                                             m_preview, programDir);
    m_station->Form_Load();
    m_keyer = new KeyerAdaptor(&m_keyerObject, m_station->remote());
    QObject::connect(m_keyer, &KeyerAdaptor::Changed, &m_keyerObject,
                     [this] { ++m_changedSignals; });
    m_model = std::make_unique<StationModel>(settings, doubles);
    // Half of the operators confirm the COM dialog first thing.
    if (chance(50)) {
        m_forced.push_back(ModelEvent{ModelEvent::ComOpen, 0, {}});
        m_forced.push_back(ModelEvent{ModelEvent::ComOk, 0, {}});
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
    for (int timer = 0; timer < StationModel::KeyingTimers; ++timer) {
        FormTimer &keying = keyingTimer(StationModel::KeyingTimer(timer));
        QObject::connect(&keying, &FormTimer::Timer, &keying,
                         [watch, timer] { watch(10 + timer); });
    }
    m_timeoutLinesAtStart = timeoutLinesSeen;
}

FormTimer &ModelSequence::keyingTimer(StationModel::KeyingTimer timer)
{
    Keying &keying = m_station->keying();
    switch (timer) {
    case StationModel::Lead:
        return keying.leadTimer();
    case StationModel::Tail:
        return keying.tailTimer();
    case StationModel::Timeout:
        return keying.timeoutTimer();
    default:
        return keying.lockBlinkTimer();
    }
}

StationModel::Settings ModelSequence::randomSettings()
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
        const int kind = pick(100);
        s.MemFile[i] = kind < 10   ? QString()
                       : kind < 18 ? QStringLiteral("/station/text%1.wav").arg(i + 1)
                                   : QStringLiteral("/station/msg%1.wav").arg(i + 1);
        s.repeat[i] = chance(40);
        s.MemDelay[i] = chance(20) ? double(pick(10001)) : delays[pick(11)];
    }
    // Lead, tail and time-out, each left at 0 in about half of the stations.
    const int leads[] = {1, 20, 300, 2000};
    const int tails[] = {1, 50, 600, 2000};
    const int timeouts[] = {1, 5, 29, 30, 45, 180};
    s.LeadMs = chance(50) ? 0 : leads[pick(4)];
    s.TailMs = chance(50) ? 0 : tails[pick(4)];
    s.TimeoutS = chance(55) ? 0 : timeouts[pick(6)];
    return s;
}

void ModelSequence::writeSettings(const StationModel::Settings &s)
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
    if (s.LeadMs || s.TailMs || s.TimeoutS)
        text += "[PTT]\nLeadMs=" + QByteArray::number(s.LeadMs)
                + "\nTailMs=" + QByteArray::number(s.TailMs)
                + "\nTimeoutS=" + QByteArray::number(s.TimeoutS) + "\n";
    file.write(text);
}

// The operator and the device, as they could act now.
ModelEvent ModelSequence::choose()
{
    if (!m_forced.empty()) {
        const ModelEvent event = m_forced.front();
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
        ModelEvent::Kind kind;
    };
    std::vector<Choice> choices = {
        {16, ModelEvent::LeftClick},
        {3, ModelEvent::RightClick},
        {state.LockOn ? 3 : 2, ModelEvent::Lock},
        {state.StdByOn ? 4 : 1, ModelEvent::Standby},
        {5, ModelEvent::RepeatBox},
        {3, ModelEvent::Slider},
        {2, ModelEvent::DelayButton},
        {1, ModelEvent::StatusPanel},
        {1, ModelEvent::StrayDone},
        {comShown ? 1 : 3, ModelEvent::ComOpen},
        {m_model->nextDue(m_model->now() + 60000) ? 8 : 2, ModelEvent::Time},
        {5, ModelEvent::KeyF},
        {state.Playing() ? 3 : 1, ModelEvent::KeyEscape},
        {1, ModelEvent::KeyShiftF},
        {5, ModelEvent::RemotePlay},
        {state.Playing() ? 3 : 1, ModelEvent::RemoteStop},
        {1, ModelEvent::RemoteSetLock},
        {1, ModelEvent::RemoteSetStandby},
    };
    const auto enabled = [bar](TransportBar::ButtonId id) {
        return bar->button(id)->isEnabled();
    };
    if (enabled(TransportBar::Play))
        choices.push_back({2, ModelEvent::Play});
    if (enabled(TransportBar::Prev))
        choices.push_back({1, ModelEvent::Prev});
    if (enabled(TransportBar::Stop))
        choices.push_back({2, ModelEvent::Stop});
    if (enabled(TransportBar::Pause))
        choices.push_back({1, ModelEvent::Pause});
    if (enabled(TransportBar::Next))
        choices.push_back({1, ModelEvent::Next});
    if (devicePlays)
        choices.push_back({12, ModelEvent::DeviceEnds});
    if (!m_pendingDone.empty())
        choices.push_back({5, ModelEvent::LateDone});
    if (m_device.UpdateInterval() > 0)
        choices.push_back({12, ModelEvent::Report});
    if (w.Timer1().isRunning())
        choices.push_back({10, ModelEvent::Tick1});
    if (w.Timer2().isRunning())
        choices.push_back({3, ModelEvent::Tick2});
    if (w.Timer3().isRunning())
        choices.push_back({6, ModelEvent::Tick3});
    if (comShown) {
        choices.push_back({3, ModelEvent::ComRtsBox});
        choices.push_back({3, ModelEvent::ComDtrBox});
        if (com->Option2(0)->isEnabled())
            choices.push_back({2, ModelEvent::ComRtsPolarity});
        if (com->Option3(0)->isEnabled())
            choices.push_back({2, ModelEvent::ComDtrPolarity});
        choices.push_back({2, ModelEvent::ComPort});
        choices.push_back({5, ModelEvent::ComOk});
        choices.push_back({1, ModelEvent::ComClose});
    }

    int total = 0;
    for (const Choice &c : choices)
        total += c.weight;
    int at = pick(total);
    ModelEvent::Kind kind = choices.front().kind;
    for (const Choice &c : choices) {
        if (at < c.weight) {
            kind = c.kind;
            break;
        }
        at -= c.weight;
    }

    ModelEvent event{kind, 0, {}};
    switch (kind) {
    case ModelEvent::LeftClick:
    case ModelEvent::RepeatBox:
        event.arg = memory();
        break;
    case ModelEvent::KeyF:
    case ModelEvent::KeyShiftF:
        event.arg = memory();
        event.target = pick(10);
        break;
    case ModelEvent::KeyEscape:
        event.target = pick(10);
        break;
    case ModelEvent::RemotePlay:
        // Now and then a number that names no memory.
        event.arg = chance(10) ? (chance(50) ? 0 : 7) : memory() + 1;
        break;
    case ModelEvent::RemoteSetLock:
        event.arg = chance(70) ? !state.LockOn : state.LockOn;
        break;
    case ModelEvent::RemoteSetStandby:
        event.arg = chance(70) ? !state.StdByOn : state.StdByOn;
        break;
    case ModelEvent::RightClick:
        event.arg = memory();
        if (chance(60))
            event.answer = chance(10) ? QStringLiteral("/chosen/text.wav")
                                      : QStringLiteral("/chosen/file%1.wav").arg(pick(100));
        break;
    case ModelEvent::Slider: {
        const int values[] = {0, 10000, 1, 50, 100, 450, 1000, 2550};
        event.arg = chance(50) ? values[pick(8)] : pick(10001);
        break;
    }
    case ModelEvent::DeviceEnds:
        event.arg = chance(85) ? StationModel::Successful : StationModel::Failure;
        break;
    case ModelEvent::LateDone:
        event.arg = m_pendingDone.front();
        break;
    case ModelEvent::StrayDone: {
        const int codes[] = {1, 2, 4, 8};
        event.arg = codes[pick(4)];
        break;
    }
    case ModelEvent::ComRtsPolarity:
    case ModelEvent::ComDtrPolarity:
        event.arg = pick(2);
        break;
    case ModelEvent::ComPort:
        // Mostly ports with a device behind them.
        event.arg = chance(70) ? pick(3) : pick(8);
        break;
    case ModelEvent::ComOk:
        if (chance(15))
            event.answer = QStringLiteral("Permission denied");
        break;
    case ModelEvent::Time: {
        const int steps[] = {1, 10, 100, 250, 400, 1000, 2000, 5000, 15000, 30000, 60000};
        event.arg = steps[pick(11)];
        break;
    }
    default:
        break;
    }
    return event;
}

bool ModelSequence::step(QString &failure, Coverage &coverage)
{
    const ModelEvent event = choose();
    m_played << event.describe();
    if (m_verbose)
        qInfo("%4lld  %s", qlonglong(m_played.size()), qPrintable(m_played.last()));

    const int modeBefore = m_device.Mode();
    const int timeoutsBefore = m_model->timeouts();
    m_device.clearLog();
    m_lines.clearLogs();
    m_model->beginEvent();
    m_changedSignals = 0;
    m_answer.clear();
    play(event);
    if (QTest::currentTestFailed()) {
        failure = QStringLiteral("the event could not be played");
        return false;
    }

    // The real device owes an Aborted to a play that was stopped; closing the file drops it.
    const bool closed = m_device.log.contains(QStringLiteral("Close"));
    if (closed)
        m_pendingDone.clear();
    const bool doneDelivered = event.kind == ModelEvent::DeviceEnds
                               || event.kind == ModelEvent::LateDone
                               || event.kind == ModelEvent::StrayDone;
    if (modeBefore == MediaDevice::Playing && m_device.Mode() != MediaDevice::Playing
        && !doneDelivered && !closed)
        m_pendingDone.push_back(StationModel::Aborted);
    // A play that cannot start: the real device's Failure is already on its way and comes
    // before anything else.
    if (m_device.log.contains(QStringLiteral("Play")) && m_device.Mode() != MediaDevice::Playing) {
        m_pendingDone.push_front(StationModel::Failure);
        m_forced.push_front(ModelEvent{ModelEvent::LateDone, StationModel::Failure, {}});
    }

    StationView expected = m_model->view();
    const StationView actual = observe();
    QStringList problems = expected.differences(actual);
    problems += m_model->safetyProblems(actual, m_portEverOpened);
    problems += m_unexpected;
    m_unexpected.clear();
    coverage.count(event, *m_model, actual, m_portEverOpened);
    coverage.timeouts += m_model->timeouts() - timeoutsBefore;
    if (problems.isEmpty())
        return true;
    failure = problems.join(QLatin1Char('\n')) + QLatin1String("\nstation: ") + actual.summary()
              + QLatin1String("\nmodel:   ") + expected.summary();
    return false;
}
