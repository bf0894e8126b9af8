// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/QtSerialLines.h"
#include "station/Log.h"

#include "ptt/CrashRelease.h"
#include "ptt/PttGuard.h"
#include "ptt/SerialDevices.h"
#include "station/LogText.h"

#include <QFileInfo>
#include <QSerialPort>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

struct LineSettings
{
    qint32 baudRate = 0;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// "9600,N,8,1": baud rate, parity (N, E, O, M, S), data bits (5 to 8), stop bits (1, 1.5, 2).
bool parseSettings(const QString &text, LineSettings &settings)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return false;
    bool ok = false;
    settings.baudRate = parts[0].trimmed().toInt(&ok);
    if (!ok || settings.baudRate <= 0)
        return false;

    const QString parity = parts[1].trimmed().toUpper();
    if (parity == QLatin1String("N"))
        settings.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("E"))
        settings.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("O"))
        settings.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("M"))
        settings.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("S"))
        settings.parity = QSerialPort::SpaceParity;
    else
        return false;

    const int dataBits = parts[2].trimmed().toInt(&ok);
    if (!ok || dataBits < 5 || dataBits > 8)
        return false;
    settings.dataBits = QSerialPort::DataBits(dataBits);

    const QString stopBits = parts[3].trimmed();
    if (stopBits == QLatin1String("1"))
        settings.stopBits = QSerialPort::OneStop;
    else if (stopBits == QLatin1String("1.5"))
        settings.stopBits = QSerialPort::OneAndHalfStop;
    else if (stopBits == QLatin1String("2"))
        settings.stopBits = QSerialPort::TwoStop;
    else
        return false;
    return true;
}

} // namespace

QtSerialLines::QtSerialLines(DeviceList devices, QObject *parent)
    : SerialLines(parent)
    , m_devices(devices ? std::move(devices) : DeviceList(SerialDevices::present))
    , m_port(std::make_unique<QSerialPort>())
{
    connect(m_port.get(), &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { portError(error); });
    // Nothing is ever read: whatever arrives is dropped, so that it cannot pile up.
    connect(m_port.get(), &QSerialPort::readyRead, this, [this] { m_port->readAll(); });
}

QtSerialLines::~QtSerialLines()
{
    release();
    setCrashRelease(nullptr);
}

QString QtSerialLines::deviceName(int number) const
{
#ifdef Q_OS_WIN
    return number >= 1 ? QStringLiteral("COM%1").arg(number) : QString();
#else
    return SerialDevices::forPort(number, m_devices());
#endif
}

bool QtSerialLines::isOpen() const
{
    return m_port->isOpen() && !m_gone;
}

bool QtSerialLines::open()
{
    if (isOpen())
        return true;
    release();

    const QString device = m_devicePath.isEmpty() ? deviceName(m_portNumber) : m_devicePath;
    if (device.isEmpty()) {
        m_error = SerialDevices::noSuchDevice(m_portNumber);
        return false;
    }
    if (!m_devicePath.isEmpty() && !QFileInfo::exists(device)) {
        m_error
            = QStringLiteral("The serial device %1 is not present").arg(LogText::quoted(device));
        return false;
    }
    LineSettings settings;
    if (!parseSettings(m_settings, settings)) {
        m_error = QStringLiteral("Invalid line settings: %1").arg(m_settings);
        return false;
    }

    m_port->setPortName(device);
    m_port->setBaudRate(settings.baudRate);
    m_port->setParity(settings.parity);
    m_port->setDataBits(settings.dataBits);
    m_port->setStopBits(settings.stopBits);
    // Hardware flow control would take RTS away from us.
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port->open(QIODevice::ReadWrite)) {
        m_error = m_port->errorString();
        return false;
    }
    m_device = device;
    m_error.clear();
    m_lineFailureSaid = false;
    // What keeps the transmitter released should the program die from now on.
    if (m_crash)
        m_crash->watch(m_crashSlot, int(m_port->handle()));
    applyReceiveLevels();
    if (m_guard)
        m_guard->watchPort(int(m_port->handle()), m_receive);

    // The platform may have raised both lines on opening (Linux does): the levels asked for go
    // on the wire now, before anything else can happen.
    if (m_rts)
        write(Line::Rts, *m_rts);
    if (m_dtr && isOpen())
        write(Line::Dtr, *m_dtr);
    return true;
}

void QtSerialLines::close()
{
    release();
}

void QtSerialLines::setRts(bool level)
{
    m_rts = level;
    if (isOpen())
        write(Line::Rts, level);
}

void QtSerialLines::setDtr(bool level)
{
    m_dtr = level;
    if (isOpen())
        write(Line::Dtr, level);
}

void QtSerialLines::setReceiveLevels(const ReceiveLevels &levels)
{
    m_receive = levels;
    if (isOpen())
        applyReceiveLevels();
}

void QtSerialLines::setGuard(PttGuard *guard)
{
    if (m_guard && isOpen())
        m_guard->forgetPort();
    m_guard = guard;
    if (m_guard && isOpen())
        m_guard->watchPort(int(m_port->handle()), m_receive);
}

void QtSerialLines::setCrashRelease(CrashRelease *crash)
{
    if (crash == m_crash)
        return;
    if (m_crash)
        m_crash->removePort(m_crashSlot);
    m_crash = crash;
    m_crashSlot = m_crash ? m_crash->addPort() : -1;
    if (m_crash && isOpen()) {
        m_crash->watch(m_crashSlot, int(m_port->handle()));
        applyReceiveLevels();
    }
}

// Linux lowers RTS and DTR at the last close of a tty whose termios flag HUPCL is set, and the
// last close of a program that dies is its end. That releases a transmitter that the lines key
// by a high level, and keys one that a line keys by a low level (negative polarity). So the flag
// stays only while every line that keys the transmitter is released by a low level.
void QtSerialLines::applyReceiveLevels()
{
    if (m_crash)
        m_crash->setReceiveLevels(m_crashSlot, m_receive);
    if (m_guard)
        m_guard->setReceiveLevels(m_receive);
#ifdef Q_OS_UNIX
    const bool dropReleases = !m_receive.rts.value_or(false) && !m_receive.dtr.value_or(false);
    // On Qt's own descriptor: Qt SerialPort writes termios only when a line setting changes,
    // which never happens while the port is open.
    const int port = int(m_port->handle());
    termios attributes;
    if (::tcgetattr(port, &attributes) != 0)
        return;
    const tcflag_t flags
        = dropReleases ? attributes.c_cflag | HUPCL : attributes.c_cflag & ~tcflag_t(HUPCL);
    if (flags == attributes.c_cflag)
        return;
    attributes.c_cflag = flags;
    if (::tcsetattr(port, TCSANOW, &attributes) != 0)
        qCWarning(lcPtt).noquote() << QStringLiteral("cannot set the hang-up flag of %1 (%2)")
                                          .arg(m_device, QString::fromLocal8Bit(strerror(errno)));
#endif
}

void QtSerialLines::write(Line line, bool level)
{
    const bool done
        = line == Line::Rts ? m_port->setRequestToSend(level) : m_port->setDataTerminalReady(level);
    if (done || m_lineFailureSaid)
        return;
    // Once per opening: a port without modem lines would otherwise be reported at every keying.
    m_lineFailureSaid = true;
    qCWarning(lcPtt).noquote() << QStringLiteral(
                                      "cannot set %1 on %2 (%3); it does not key the transmitter")
                                      .arg(QLatin1String(line == Line::Rts ? "RTS" : "DTR"),
                                           m_device, m_port->errorString());
}

void QtSerialLines::portError(int error)
{
    if (m_gone || !m_port->isOpen())
        return;
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    // The device went away under the open port (an unplugged adapter; a hung-up line reads as a
    // read error). It counts as closed from now on. The port itself is closed once this signal
    // has returned: Qt SerialPort is still inside its own notification here, and as long as the
    // port stays open it keeps reporting the error.
    m_gone = true;
    qCWarning(lcPtt).noquote()
        << QStringLiteral("the serial port %1 went away (%2)").arg(m_device, m_port->errorString());
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_gone)
                release();
        },
        Qt::QueuedConnection);
    emit vanished();
}

void QtSerialLines::release()
{
    m_gone = false;
    if (!m_port->isOpen())
        return;
    // The crash release's and the guard's descriptors go first, so that the last close below is
    // the keeper's, and a guard never touches a port that the program has let go.
    if (m_crash)
        m_crash->forget(m_crashSlot);
    if (m_guard)
        m_guard->forgetPort();
#ifdef Q_OS_UNIX
    // Linux lowers RTS and DTR when the last holder of a tty closes it, if the termios flag
    // HUPCL is set (it is by default). A transmitter wired with negative polarity would key
    // then, after the program has ended. Qt SerialPort puts back the termios it found when it
    // closes, HUPCL included, so the flag is cleared on a second descriptor that outlives Qt's,
    // and the last close, on that descriptor, leaves the lines as they are.
    const int keeper = ::dup(m_port->handle());
#endif
    m_port->close();
#ifdef Q_OS_UNIX
    if (keeper >= 0) {
        termios attributes;
        if (::tcgetattr(keeper, &attributes) == 0 && (attributes.c_cflag & HUPCL)) {
            attributes.c_cflag &= ~tcflag_t(HUPCL);
            ::tcsetattr(keeper, TCSANOW, &attributes);
        }
        ::close(keeper);
    }
#endif
}
