// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/model/StationView.h"

// The reference model of the station: the rules of the memory bank, the player, the repeat
// cycle, PTT keying with its lead, tail and time-out, and the COM dialog, applied to plain
// values. Each operator or device event
// has a member; view() tells what the station must show afterwards. It knows the test doubles'
// simple behaviour (the sound device and the serial lines) but nothing of the station's code.
class StationModel
{
public:
    // What the settings file gives at start-up.
    struct Settings
    {
        qint16 ComNum = 1;
        bool RtsOn = false;
        bool RtsPos = true;
        bool DtrOn = false;
        bool DtrPos = true;
        std::array<QString, 6> MemFile;
        std::array<bool, 6> repeat{};
        std::array<double, 6> MemDelay{4500, 4500, 4500, 4500, 4500, 4500};
        int LeadMs = 0;
        int TailMs = 0;
        int TimeoutS = 0;
    };
    // How the doubles behave in this run.
    struct Doubles
    {
        QString defaultFile; // the file opened at start-up
        qint32 length = 3000; // the length every opened file reports
        int portsWithDevice = 3; // ports 1..n have a device
        bool raisesOnOpen = true; // opening raises both lines first
        QStringList unopenable; // files the device cannot open: their play cannot start
    };

    StationModel(const Settings &settings, const Doubles &doubles);

    // Called before each event: the per-event logs start empty.
    void beginEvent();

    // The operator at the main window.
    void leftClickMemory(int index);
    void rightClickMemory(int index, const QString &answer); // answer empty: cancelled
    void clickLock();
    void clickStandby();
    void clickRepeatBox(int index);
    void moveSlider(int value);
    void clickDelayButton();
    void clickStatusPanel();
    void transportPlay();
    void transportPrev();
    void transportStop();
    void transportPause();
    void transportNext();

    // The sound device: Done with a code; `deviceStops` when the device itself stops playing
    // with it (the end of a play), otherwise it is a notification that arrives late or alone.
    void done(int NotifyCode, bool deviceStops);
    void statusReport();

    // The window timers, ticking as time would.
    void tickTimer1();
    void tickTimer2();
    void tickTimer3();

    // The keying's timers run on the model's clock: time passes, and each ticks when it falls
    // due. nextDue() names the one that falls due first up to `until` (none: nullopt), tick()
    // lets it tick at its time; passTime() moves the clock on to `until` when none is left.
    enum KeyingTimer { Lead, Tail, Timeout, LockBlink, KeyingTimers };
    qint64 now() const { return m_now; }
    std::optional<KeyingTimer> nextDue(qint64 until) const;
    void tick(KeyingTimer timer);
    void passTime(qint64 until) { m_now = until; }

    // The "COM Control" dialog.
    void openComDialog();
    void clickRtsBox();
    void clickDtrBox();
    void chooseRtsPolarity(bool positive);
    void chooseDtrPolarity(bool positive);
    void choosePort(int index);
    // "OK": the port layer refuses with openError when it is not empty.
    void clickOk(const QString &openError);
    void closeComDialog();

    // The main window's keys (focus anywhere): F1..F6 as a left click, Esc as a left click on
    // the busy memory, Shift+F1..F6 the recorder's dialog for the memory.
    void pressF(int index);
    void pressEscape();
    void pressShiftF(int index);

    // The keyer interface (memories 1..6); the answer of a method is in the view.
    void remotePlay(int number);
    void remoteStop();
    void remoteSetLock(bool on);
    void remoteSetStandby(bool on);

    StationView view() const;

    // Whether the station keys a transmitter now: an enabled line of the open port that the
    // program put on the wire at its on-air level. The level a port gives a line that the program
    // never asked for (Linux raises both lines on opening) is the port's own and does not count.
    // A closed port keys if it was left keyed when it closed: a polarity chosen after that
    // changes nothing on a port the program no longer holds.
    bool keyed(const StationView &view, bool portEverOpened) const;
    bool portEverOpened() const { return m_portEverOpened; }
    // A message is on the air: it plays or its lead runs; it does not wait for its repeat.
    bool messageOnAir() const { return m_stage == Stage::Playing || m_stage == Stage::Lead; }
    // The memory waits for its repeat.
    bool inRepeatWait() const { return m_stage == Stage::RepeatWait; }
    bool inLead() const { return m_stage == Stage::Lead; }
    // The transmitter hangs on after a message was heard to its end.
    bool inTail() const { return m_due[Tail].armed; }
    bool timeoutWarning() const { return m_warning; }
    int timeouts() const { return m_timeouts; }
    // The message was started, and the device could not play it; its Done has not come yet.
    bool startFailed() const { return m_startFailed; }
    // The safety rules a view must keep whatever happened: standby never keys, nothing keys
    // without a reason (Lock, a message on the air or its tail), the lines follow the picture,
    // nothing reaches the wire before the port has opened, a message that cannot play never
    // keys, the port layer knows the receive levels while the port is open, no transmission
    // outlasts the time-out nor a tail its time. One line per broken rule.
    QStringList safetyProblems(const StationView &actual, bool portEverOpened) const;

    // Faces of ImageList1.
    enum Face { Blue = 1, Red, Green, Yellow, Orange };
    // Device modes, as the double reports them.
    enum Mode { NotReady = 524, Stopped = 525, Playing = 526 };
    // Codes of Done.
    enum NotifyCode { Successful = 1, Superseded = 2, Aborted = 4, Failure = 8 };

    // Milliseconds shown in seconds with one decimal ("4.5", "10.0").
    static QString seconds(qint64 milliseconds);

private:
    enum LineId { Rts, Dtr };
    struct Line
    {
        const char *name;
        bool &on;
        bool &positive;
        std::optional<bool> &requested;
        bool &wire;
        bool &keyedByCall; // the last keying call put it at its on-air level
    };
    Line line(LineId id);

    // Where the player stands (the station's PlayerState, in its order).
    enum class Stage { Idle, Lead, Playing, RepeatWait };
    void setStage(Stage stage);

    void showErr();
    void operatorStop(int index);
    void sendStat();
    void recStat();
    void start(bool restart);
    void startAudio(bool restart);
    void endLead();
    void keyingHearsTheEnd(int NotifyCode);
    void startTimeout();
    void stopTimeout();
    void timeoutTick();
    int &shownInterval(KeyingTimer timer);
    void arm(KeyingTimer timer, int milliseconds);
    void disarm(KeyingTimer timer);
    void showLockFace();
    void setLine(LineId id, bool level);
    void releaseUnusedLines();
    void boxChanged(LineId id, bool ticked, bool positiveSelected, bool &optionsEnabled);
    void setSlider(int value);
    void repReset();
    void armTimer1();
    void disarmTimer1();
    void playMem(int index);
    void stopMem();
    void command(const QString &entry);
    void setUpdateInterval(int milliseconds);
    void transportFromMode();
    // What the keyer interface reports: "<state> <memory> <on air> <Lock> <standby>".
    QString remoteStatus() const;

    StationView m_view;
    Doubles m_doubles;
    int m_leadMs = 0;
    int m_tailMs = 0;
    int m_timeoutS = 0;
    Stage m_stage = Stage::Idle;
    bool m_startFailed = false;
    bool m_leadRestart = false;
    // The keying's timers on the model's clock.
    struct Due
    {
        bool armed = false;
        qint64 at = 0;
        int interval = 0;
    };
    qint64 m_now = 0;
    std::array<Due, KeyingTimers> m_due{};
    qint64 m_keyedSince = 0;
    qint64 m_heardAt = 0; // the end of the last message heard to its end
    int m_timeoutRunning = 0; // the time-out that counts, seconds
    bool m_warning = false;
    bool m_lockBlinkRed = false;
    int m_timeouts = 0;
    qint32 m_length = 0;
    bool m_portEverOpened = false;
    std::array<bool, 2> m_keyedByCall{};
    std::array<bool, 2> m_portsOwnLevel{}; // the line has the level the port gave it
    bool m_keyedWhenClosed = false;
    QString m_remoteBefore; // remoteStatus() at the start of the event
};
