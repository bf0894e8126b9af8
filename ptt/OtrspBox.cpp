// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/OtrspBox.h"
#include "station/Log.h"

#include "station/LogText.h"

#include <QFile>
#include <QSerialPort>

#include <algorithm>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>

namespace {

// The longest line a box sends is far shorter: more without a line end is noise.
constexpr qsizetype MaxLine = 256;
// How often a transmit focus on its way out is looked after.
constexpr int DrainPollMs = 2;
// How many times the name is asked before the box counts as silent.
constexpr int NameAsks = 2;

bool printable(const QByteArray &text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
}

QString lowerFirst(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

} // namespace

OtrspBox::OtrspBox(QObject *parent) : QObject(parent), m_port(std::make_unique<QSerialPort>())
{
    m_status = QStringLiteral("No OTRSP box");
    connect(m_port.get(), &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { portError(error); });
    connect(m_port.get(), &QSerialPort::readyRead, this, &OtrspBox::readLines);
    connect(m_port.get(), &QSerialPort::bytesWritten, this, &OtrspBox::checkDrained);
    m_replyTimer.setSingleShot(true);
    connect(&m_replyTimer, &QTimer::timeout, this, &OtrspBox::replyTimedOut);
    m_drainTimer.setInterval(DrainPollMs);
    m_drainTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_drainTimer, &QTimer::timeout, this, &OtrspBox::checkDrained);
    m_clock.start();
}

OtrspBox::~OtrspBox()
{
    m_waiters.clear();
    releasePort();
}

bool OtrspBox::open()
{
    shut();
    if (m_device.isEmpty()) {
        setStatus(QStringLiteral("No OTRSP box"), false);
        return false;
    }
    if (!openPort()) {
        m_state = State::Failed;
        qCWarning(lcPtt).noquote() << lowerFirst(m_status);
        return false;
    }
    m_state = State::Open;
    qCDebug(lcPtt).noquote() << "OTRSP box opened on" << m_device;
    askName();
    return true;
}

void OtrspBox::close()
{
    shut();
    setStatus(QStringLiteral("No OTRSP box"), false);
}

void OtrspBox::shut()
{
    releasePort();
    m_state = State::Closed;
    if (!m_name.isEmpty()) {
        m_name.clear();
        emit nameChanged(m_name);
    }
}

// Opens the port with its lines low; on failure the status says why.
bool OtrspBox::openPort()
{
    const QString where = LogText::quoted(m_device);
    struct stat info;
    if (::stat(QFile::encodeName(m_device).constData(), &info) != 0) {
        setStatus(QStringLiteral("The OTRSP box's device %1 is not present").arg(where), true);
        return false;
    }
    const QString notSerial = QStringLiteral("%1 is not a serial device: no OTRSP box is used");
    if (!S_ISCHR(info.st_mode)) {
        setStatus(notSerial.arg(where), true);
        return false;
    }
    m_port->setPortName(m_device);
    m_port->setBaudRate(9600);
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::NoParity);
    m_port->setStopBits(QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port->open(QIODevice::ReadWrite)) {
        // A character device without a terminal's settings (/dev/null, a sound card).
        if (m_port->error() == QSerialPort::UnsupportedOperationError)
            setStatus(notSerial.arg(where), true);
        else
            setStatus(QStringLiteral("Cannot open the OTRSP box on %1: %2")
                          .arg(where, m_port->errorString()),
                      true);
        return false;
    }
    m_lineFailureSaid = false;
    lowerLines();
    // The lines drop when the port is let go, however the program ends.
    termios attributes;
    const int port = int(m_port->handle());
    if (::tcgetattr(port, &attributes) == 0 && !(attributes.c_cflag & HUPCL)) {
        attributes.c_cflag |= HUPCL;
        ::tcsetattr(port, TCSANOW, &attributes);
    }
    return true;
}

// Linux has raised RTS and DTR on opening; DTR high keys the radio through the box.
void OtrspBox::lowerLines()
{
    const bool rts = m_port->setRequestToSend(false);
    const bool dtr = m_port->setDataTerminalReady(false);
    if (!rts || !dtr)
        lineFailed("RTS and DTR low");
}

// Said once per opening: a device without modem lines would otherwise be said at every keying.
void OtrspBox::lineFailed(const char *lines)
{
    if (std::exchange(m_lineFailureSaid, true))
        return;
    qCWarning(lcPtt).noquote() << QStringLiteral("cannot set %1 on %2 (%3)")
                                      .arg(QLatin1String(lines), LogText::quoted(m_device),
                                           m_port->errorString());
}

bool OtrspBox::setPtt(bool on)
{
    if (m_state != State::Open) {
        m_ptt = false;
        return !on;
    }
    const bool done = m_port->setDataTerminalReady(on);
    qCDebug(lcPtt).noquote() << "OTRSP box DTR" << (on ? "high" : "low") << (done ? "" : "failed");
    if (done) {
        m_ptt = on;
        return true;
    }
    lineFailed("DTR");
    m_ptt = m_ptt || on; // nothing tells that it is released
    return false;
}

void OtrspBox::send(const QByteArray &command)
{
    qCDebug(lcPtt).noquote() << "to the OTRSP box:" << command;
    m_port->write(command + '\r');
}

void OtrspBox::askName()
{
    if (m_state != State::Open)
        return;
    if (m_naming != Naming::Asking || m_asks >= NameAsks) {
        m_asks = 0;
        m_garbage.clear();
        m_naming = Naming::Asking;
        setStatus(QStringLiteral("OTRSP box on %1: asking its name").arg(LogText::quoted(m_device)),
                  false);
    }
    // What came in before the question (a late answer to an earlier one) is no answer to it.
    m_port->clear(QSerialPort::Input);
    m_port->readAll();
    m_input.clear();
    ++m_asks;
    send("?NAME");
    m_replyTimer.start(m_replyTimeoutMs);
}

void OtrspBox::readLines()
{
    m_input += m_port->readAll();
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < m_input.size(); ++i) {
        const char c = m_input.at(i);
        if (c != '\r' && c != '\n')
            continue;
        if (i > start)
            lines.append(m_input.mid(start, i - start));
        start = i + 1;
    }
    m_input.remove(0, start);
    if (m_input.size() > MaxLine) {
        lines.append(m_input.left(MaxLine));
        m_input.clear();
    }
    // A line may close the box (a slot of nameChanged): the rest is then dropped.
    for (const QByteArray &line : std::as_const(lines)) {
        if (m_state != State::Open)
            return;
        takeLine(line);
    }
}

void OtrspBox::takeLine(const QByteArray &line)
{
    qCDebug(lcPtt).noquote() << "from the OTRSP box:" << LogText::quoted(QString::fromLatin1(line));
    // Nothing awaited (a late answer), or an event another program asked the box for.
    if (m_naming != Naming::Asking || line.startsWith('$'))
        return;
    if (!line.startsWith("NAME") || !printable(line)) {
        if (m_garbage.isEmpty())
            m_garbage = line;
        return;
    }
    m_replyTimer.stop();
    m_naming = Naming::Named;
    const QString name = QString::fromLatin1(line.mid(4)).trimmed();
    setStatus(
        QStringLiteral("OTRSP box %1 on %2").arg(LogText::quoted(name), LogText::quoted(m_device)),
        false);
    if (name == m_name)
        return;
    m_name = name;
    emit nameChanged(m_name);
}

void OtrspBox::replyTimedOut()
{
    if (m_state != State::Open || m_naming != Naming::Asking)
        return;
    if (m_asks < NameAsks) {
        askName();
        return;
    }
    const QString where = LogText::quoted(m_device);
    m_naming = m_garbage.isEmpty() ? Naming::Silent : Naming::Garbage;
    if (m_naming == Naming::Silent)
        setStatus(QStringLiteral("The OTRSP box on %1 does not say its name: it may not be an "
                                 "OTRSP box")
                      .arg(where),
                  true);
    else
        setStatus(QStringLiteral("The device on %1 does not answer as an OTRSP box (it said %2)")
                      .arg(where, LogText::quoted(QString::fromLatin1(m_garbage))),
                  true);
    qCWarning(lcPtt).noquote() << lowerFirst(m_status);
}

bool OtrspBox::maySelectTx(int radio) const
{
    return (radio == 1 || radio == 2) && (radio == m_tx || !anyKeyed());
}

void OtrspBox::selectTx(int radio, TxDone done)
{
    const QString command = QStringLiteral("TX%1").arg(radio);
    if (radio != 1 && radio != 2) {
        qCWarning(lcPtt).noquote() << QStringLiteral("%1 is not sent to the OTRSP box: there "
                                                     "is no radio %2")
                                          .arg(command)
                                          .arg(radio);
        later(std::move(done), TxResult::Refused);
        return;
    }
    if (m_state != State::Open) {
        later(std::move(done), TxResult::WithoutBox);
        return;
    }
    if (anyKeyed()) {
        if (radio == m_tx) {
            // Nothing to change; an earlier command for it may still be on its way.
            if (m_waiters.empty())
                later(std::move(done), TxResult::Selected);
            else
                m_waiters.push_back({m_waiters.back().deadline, std::move(done)});
            return;
        }
        qCWarning(lcPtt).noquote()
            << QStringLiteral("%1 is not sent to the OTRSP box on %2: a radio is keyed, and the "
                              "box would drop its PTT")
                   .arg(command, LogText::quoted(m_device));
        later(std::move(done), TxResult::Refused);
        return;
    }
    send(command.toLatin1());
    m_tx = radio;
    m_waiters.push_back({m_clock.elapsed() + DrainTimeoutMs, std::move(done)});
    if (!m_drainTimer.isActive())
        m_drainTimer.start();
}

bool OtrspBox::selectRx(int radio, bool stereo)
{
    if (radio != 1 && radio != 2) {
        qCWarning(lcPtt).noquote()
            << QStringLiteral("RX%1 is not sent to the OTRSP box: there is no radio %1").arg(radio);
        return false;
    }
    if (m_state != State::Open)
        return false;
    send("RX" + QByteArray::number(radio) + (stereo ? "S" : ""));
    return true;
}

void OtrspBox::checkDrained()
{
    if (m_waiters.empty()) {
        m_drainTimer.stop();
        return;
    }
    if (m_state != State::Open)
        return;
    if (outputDrained()) {
        finishWaiters(TxResult::Selected);
        return;
    }
    if (m_clock.elapsed() < m_waiters.front().deadline)
        return;
    // Dropped, so that nothing of it reaches the box later, when a radio may be keyed.
    m_port->clear(QSerialPort::Output);
    m_tx = 0;
    qCWarning(lcPtt).noquote()
        << QStringLiteral("the transmit focus did not leave for the OTRSP box on %1 within %2 "
                          "ms: it is dropped")
               .arg(LogText::quoted(m_device))
               .arg(DrainTimeoutMs);
    finishWaiters(TxResult::Failed);
}

// Everything written has left: Qt's buffer, the system's and, where the device tells, the UART's
// own (a USB adapter's chip, or a pseudo-terminal, says nothing of it).
bool OtrspBox::outputDrained() const
{
    if (m_port->bytesToWrite() > 0)
        return false;
    const int port = int(m_port->handle());
    int queued = 0;
    if (::ioctl(port, TIOCOUTQ, &queued) == 0 && queued > 0)
        return false;
    unsigned int lineStatus = 0;
    return ::ioctl(port, TIOCSERGETLSR, &lineStatus) != 0 || (lineStatus & TIOCSER_TEMT);
}

void OtrspBox::finishWaiters(TxResult result)
{
    m_drainTimer.stop();
    std::vector<Waiter> waiters;
    waiters.swap(m_waiters);
    for (Waiter &waiter : waiters)
        later(std::move(waiter.done), result);
}

void OtrspBox::later(TxDone done, TxResult result)
{
    if (!done)
        return;
    QMetaObject::invokeMethod(
        this, [done = std::move(done), result] { done(result); }, Qt::QueuedConnection);
}

void OtrspBox::portError(int error)
{
    if (m_state != State::Open)
        return;
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError
        && error != QSerialPort::WriteError)
        return;
    // Gone (unplugged; a hung-up line reads as a read error). The port is let go once Qt
    // SerialPort has left its own notification, which keeps reporting while the port is open.
    m_state = State::Gone;
    m_replyTimer.stop();
    m_tx = 0;
    m_ptt = false; // gone with the port
    finishWaiters(TxResult::WithoutBox);
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_state == State::Gone)
                releasePort();
        },
        Qt::QueuedConnection);
    setStatus(QStringLiteral("The OTRSP box on %1 went away (%2): the keying goes on without it")
                  .arg(LogText::quoted(m_device), m_port->errorString()),
              true);
    qCWarning(lcPtt).noquote() << lowerFirst(m_status);
}

void OtrspBox::releasePort()
{
    m_replyTimer.stop();
    m_naming = Naming::Silent;
    m_tx = 0;
    m_input.clear();
    finishWaiters(TxResult::WithoutBox);
    if (!m_port->isOpen())
        return;
    // Closing lowers DTR only where the hang-up flag was set when the port was found.
    if (std::exchange(m_ptt, false))
        m_port->setDataTerminalReady(false);
    m_port->close();
}

void OtrspBox::setStatus(const QString &text, bool problem)
{
    m_status = text;
    emit statusChanged(text, problem);
}
