// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

class QSerialPort;

// An OTRSP box (Open Two Radio Switching Protocol: an SO2R switch such as the YCCC SO2R Box, an
// SO2RDuino or a microHAM MK2R+) on a serial port. It routes the microphone, key and PTT to the
// radio with transmit focus ("TX1", "TX2") and the headphones to one radio or, in stereo, to both
// with the focus on one ("RX1", "RX2", "RX1S", "RX2S"). Every command is ASCII ending in CR; only
// queries ("?NAME") are answered, with a line ending in CR, LF or CRLF.
//
// The port opens at 9600 8N1 without flow control, with RTS and DTR low: Linux raises both as it
// opens a tty, and a box keys the radio with transmit focus while DTR is high, so they are
// lowered at once; a line the device cannot set (a pseudo-terminal) is said once per opening.
// The hang-up flag is set, so that the lines drop whenever the port is let go, the program's
// death included.
//
// On opening the box is asked its name: the answer ("NAME<name>") is name(), said by
// nameChanged(). An answer is awaited replyTimeoutMs (1 s), and asked for once more if none came
// (a box built on an Arduino restarts as the port opens and misses the first question). Lines
// that arrive while no question waits (a late answer, the box's own "$" events) are dropped, and
// what came in before a question is cleared, so that nothing late answers a later question.
//
// A box that goes away (unplugged, a read or write error) is said once on standard error; it is
// let go and counts as gone: the keying goes on without it, and open() tries it again. A path
// that is not a serial device, or a device that answers something else, gets a clear status and
// changes nothing else.
//
// Every member returns at once and never waits for the device. Everything comes on the thread of
// the box (the UI thread); the callbacks of selectTx() never inside the call itself.
class OtrspBox : public QObject
{
    Q_OBJECT
public:
    // Not in use (no device, or closed), could not be opened, open, or went away while open.
    enum class State { Closed, Failed, Open, Gone };
    // What became of a transmit focus asked for:
    //   Selected    the box has it: the command has left the port (or the box had that focus
    //               already while a radio was keyed, and nothing was sent)
    //   WithoutBox  no box is in use (none set, it failed to open, it went away): nothing was sent,
    //               the keying may go on without it
    //   Refused     a radio is keyed and the box has the other one, or no such radio: nothing was
    //               sent, and the radio must not be keyed
    //   Failed      the command did not leave the port within DrainTimeoutMs: it was dropped
    enum class TxResult { Selected, WithoutBox, Refused, Failed };
    using TxDone = std::function<void(TxResult)>;

    // The longest a transmit focus may take to leave the port.
    static constexpr int DrainTimeoutMs = 1000;

    explicit OtrspBox(QObject *parent = nullptr);
    // The port is let go; callbacks still pending are not called.
    ~OtrspBox() override;

    // The serial device ("/dev/serial/by-id/usb-..."); empty: none. Takes effect at open().
    void setDevice(const QString &path) { m_device = path; }
    QString device() const { return m_device; }
    // Opens the device (again, if it was open or gone) and asks the box's name. Returns whether
    // the box is in use; statusChanged() says why not.
    bool open();
    // Lets the port go; selectTx() calls pending then say WithoutBox.
    void close();
    State state() const { return m_state; }
    bool isOpen() const { return m_state == State::Open; }
    // The name the box gave; empty until it answered.
    QString name() const { return m_name; }
    // What the operator reads about the box (OTRSP box "SO2RDuino" on "/dev/ttyUSB1").
    QString statusText() const { return m_status; }
    // Asks the box's name again (a box plugged in after the start).
    void askName();
    // How long an answer is awaited; 1000 ms unless a test says otherwise.
    void setReplyTimeoutMs(int milliseconds) { m_replyTimeoutMs = milliseconds; }

    // The rule that keeps a keyed radio keyed: the box drops PTT when its transmit focus changes,
    // so no transmit focus is sent while `anyKeyed` says that a radio is keyed (none set: none
    // is), nor while the box's own PTT (setPtt) may key one. The caller keeps to it; a request
    // against it is refused and said.
    void setKeyedCheck(std::function<bool()> anyKeyed) { m_anyKeyed = std::move(anyKeyed); }
    // Whether selectTx(radio) may send now: no radio is keyed, or the box has that focus.
    bool maySelectTx(int radio) const;
    // Gives radio 1 or 2 the transmit focus ("TX1"/"TX2"), and calls `done` once: when the
    // command has left the port (written and drained by the system), or at once when it cannot
    // be sent (see TxResult). Key the radio only after a Selected or WithoutBox.
    void selectTx(int radio, TxDone done);
    // PTT through the box: DTR high keys the radio with transmit focus. While it may be keyed no
    // transmit focus is sent. A line the device cannot set is said once per opening and counts
    // as keyed (nothing tells otherwise); a box not open is released. Returns whether the line
    // took the level.
    bool setPtt(bool on);
    // DTR was raised, and not seen lowered since.
    bool ptt() const { return m_ptt; }
    // Gives radio 1 or 2 the receive focus, in stereo ("RX1S") or not ("RX1"). Returns whether
    // the command went to the box.
    bool selectRx(int radio, bool stereo);

signals:
    void nameChanged(const QString &name);
    // The box's state or what it answered changed; `problem`: the operator should look.
    void statusChanged(const QString &text, bool problem);

private:
    enum class Naming { Asking, Named, Silent, Garbage };
    struct Waiter
    {
        qint64 deadline;
        TxDone done;
    };
    void shut();
    bool openPort();
    void lowerLines();
    void lineFailed(const char *lines);
    void send(const QByteArray &command);
    void readLines();
    void takeLine(const QByteArray &line);
    void replyTimedOut();
    void checkDrained();
    bool outputDrained() const;
    void finishWaiters(TxResult result);
    void later(TxDone done, TxResult result);
    void portError(int error);
    void releasePort();
    void setStatus(const QString &text, bool problem);
    bool anyKeyed() const { return m_ptt || (m_anyKeyed && m_anyKeyed()); }

    std::unique_ptr<QSerialPort> m_port;
    QString m_device;
    State m_state = State::Closed;
    QString m_status;
    QString m_name;
    std::function<bool()> m_anyKeyed;
    int m_tx = 0; // the transmit focus last sent; 0: not known
    bool m_ptt = false;
    // The answer awaited to "?NAME".
    Naming m_naming = Naming::Silent;
    int m_asks = 0;
    QByteArray m_garbage; // the first line that was not an answer
    int m_replyTimeoutMs = 1000;
    QTimer m_replyTimer;
    QByteArray m_input; // what came in since the last line end
    // The transmit focus requests waiting for their command to leave the port.
    std::vector<Waiter> m_waiters;
    QTimer m_drainTimer;
    QElapsedTimer m_clock;
    bool m_lineFailureSaid = false;
};
