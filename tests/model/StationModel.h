#pragma once

#include "tests/model/StationView.h"

// The reference model of the station: the rules of the memory bank, the player, the repeat
// cycle, PTT keying and the COM dialog, applied to plain values. Each operator or device event
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
    // A message is on the air: it plays, it does not wait for its repeat.
    bool messageOnAir() const { return m_view.Playing == 1 && !m_waiting; }
    // The memory waits for its repeat.
    bool inRepeatWait() const { return m_view.Playing == 1 && m_waiting; }
    // The message was started, and the device could not play it; its Done has not come yet.
    bool startFailed() const { return m_startFailed; }
    // The safety rules a view must keep whatever happened: standby never keys, nothing keys
    // without a reason (Lock or a message on the air), the lines follow the picture, nothing
    // reaches the wire before the port has opened, a message that cannot play never keys, the
    // port layer knows the receive levels while the port is open. One line per broken rule.
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

    void showErr();
    void sendStat();
    void recStat();
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
    bool m_waiting = false; // the repeat wait: Timer1 was armed by an end of message
    bool m_startFailed = false;
    qint32 m_length = 0;
    bool m_portEverOpened = false;
    std::array<bool, 2> m_keyedByCall{};
    std::array<bool, 2> m_portsOwnLevel{}; // the line has the level the port gave it
    bool m_keyedWhenClosed = false;
    QString m_remoteBefore; // remoteStatus() at the start of the event
};
