#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// What can be seen of the station after an event: the window, the shared state, and what the
// sound device and the serial lines were told during the event. The model predicts one, the test
// reads one from the real station, and differences() says where they part.
struct StationView
{
    // Shared state.
    int Playing = 0;
    int CurMem = -1;
    bool RepOn = false;
    bool LockOn = false;
    bool StdByOn = false;
    double PlayTime = 0;
    std::array<QString, 6> MemFile;
    std::array<double, 6> MemDelay{};
    qint16 ComNum = 0;
    bool RtsOn = false;
    bool RtsPos = false;
    bool DtrOn = false;
    bool DtrPos = false;

    // The window. Faces are ImageList1 numbers (1 blue .. 5 orange), 0 for none.
    std::array<int, 6> memoryFace{};
    std::array<bool, 6> memoryYellow{}; // the back colour of a right-clicked memory
    std::array<bool, 6> repeatBox{};
    int panelFace = 0;
    QString panelCaption;
    int gauge = 0;
    int slider = 0;
    QString delayCaption;
    int lockFace = 0;
    int standbyFace = 0;
    QString standbyTag;
    bool onAirPicture = false; // the station picture: on air, else receive
    bool refusalShown = false;
    int timer1Interval = 0; // the interval while Timer1 runs, 0 while it is dormant
    int timer2Interval = 0;
    bool timer3Running = false;
    // Prev, Play, Pause, Stop, Next of the transport bar.
    std::array<bool, 5> transport{};

    // The sound device: its mode as the double reports it and what it was told in this event.
    int deviceMode = 0;
    int updateInterval = 0;
    QString deviceFile;
    QStringList deviceLog;
    int fileRequests = 0; // file dialogs opened so far
    QString fileTitle; // the last one's title

    // The serial lines: the levels remembered by the port layer, the port, and what reached the
    // wire in this event; the levels on the wire now.
    std::optional<bool> rts;
    std::optional<bool> dtr;
    bool portOpen = false;
    QStringList wireLog;
    bool wireRts = false;
    bool wireDtr = false;
    QStringList messages; // message boxes shown so far

    // The "COM Control" dialog.
    enum Dialog { Unloaded, Shown, Hidden };
    Dialog dialog = Unloaded;
    // Its controls, while it is loaded: the boxes, the selected polarity options (true:
    // "Positive"), whether the options can be chosen, the selected port option (-1: none).
    bool check1 = false;
    bool check2 = false;
    bool option2Positive = false;
    bool option3Positive = false;
    bool option2Enabled = true;
    bool option3Enabled = true;
    int portOption = -1;

    // Where `actual` differs from this view, one line each: "name: expected X, found Y".
    QStringList differences(const StationView &actual) const;
    // The keying state in one line, for reports.
    QString summary() const;
};

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

    StationView view() const { return m_view; }

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
    // The safety rules a view must keep whatever happened: standby never keys, nothing keys
    // without a reason (Lock or a message on the air), the lines follow the picture, nothing
    // reaches the wire before the port has opened. One line per broken rule.
    QStringList safetyProblems(const StationView &actual, bool portEverOpened) const;

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

    StationView m_view;
    Doubles m_doubles;
    bool m_waiting = false; // the repeat wait: Timer1 was armed by an end of message
    qint32 m_length = 0;
    bool m_portEverOpened = false;
    std::array<bool, 2> m_keyedByCall{};
    std::array<bool, 2> m_portsOwnLevel{}; // the line has the level the port gave it
    bool m_keyedWhenClosed = false;
};
