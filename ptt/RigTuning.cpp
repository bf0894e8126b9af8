// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/RigTuning.h"

#include "ptt/RigctldLink.h"

#include "station/Clock.h"
#include "station/Log.h"

#include <QTcpSocket>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <utility>

namespace {

// "host:port", "[v6 address]:port" or "host" (rigctld's own port, 4532). Port 0: not one.
std::pair<QString, quint16> hostAndPort(const QString &address)
{
    QString host = address.trimmed();
    QString port = QStringLiteral("4532");
    if (host.startsWith(u'[')) {
        const qsizetype end = host.indexOf(u']');
        if (host.mid(end + 1).startsWith(u':'))
            port = host.mid(end + 2);
        host = host.mid(1, end - 1);
    } else if (host.count(u':') == 1) {
        port = host.section(u':', 1);
        host = host.section(u':', 0, 0);
    }
    bool ok = false;
    const uint number = port.toUInt(&ok);
    return {host, ok && number <= 65535 ? quint16(number) : quint16(0)};
}

// A mode as hamlib names it ("USB", "PKTLSB", "CWR"): a short word of letters and digits.
bool plausibleMode(const QByteArray &mode)
{
    return !mode.isEmpty() && mode.size() <= 16
           && std::all_of(mode.begin(), mode.end(),
                          [](char c) { return std::isalnum(uchar(c)) || c == '-' || c == '_'; });
}

} // namespace

RigTuning::RigTuning(const QString &address, Clock &clock, std::function<bool()> mayAsk,
                     QObject *parent)
    : QObject(parent)
    , m_address(address)
    , m_mayAsk(std::move(mayAsk))
    , m_tick(clock.timer([this] { tick(); }, true))
{
    qCDebug(lcPtt).noquote() << "Reading the frequency and mode from rigctld at" << m_address;
    m_tick->start(TickMs);
    connectNow();
}

RigTuning::~RigTuning()
{
    if (m_socket)
        m_socket->disconnect(this);
}

void RigTuning::tick()
{
    if (!m_socket) {
        if (m_skip > 0)
            --m_skip;
        else
            connectNow();
        return;
    }
    // Connecting, or waiting for an answer: for a few ticks at most.
    if (m_socket->state() != QAbstractSocket::ConnectedState || m_asking != Ask::None) {
        if (++m_waited >= AnswerTicks)
            lose(m_asking == Ask::None ? QStringLiteral("it does not take the connection")
                                       : QStringLiteral("no answer"));
        return;
    }
    if (m_mayAsk())
        ask(m_vfo ? Ask::Freq : Ask::Vfo);
}

void RigTuning::connectNow()
{
    const auto [host, port] = hostAndPort(m_address);
    m_input.clear();
    m_asking = Ask::None;
    m_waited = 0;
    m_vfo.reset();
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, [this] {
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        if (m_mayAsk())
            ask(Ask::Vfo);
    });
    connect(m_socket, &QTcpSocket::readyRead, this, &RigTuning::read);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this] { lose(m_socket->errorString()); });
    connect(m_socket, &QTcpSocket::disconnected, this,
            [this] { lose(QStringLiteral("it closed the connection")); });
    if (host.isEmpty() || port == 0)
        return lose(QStringLiteral("not a host:port"));
    m_socket->connectToHost(host, port);
}

// One question at a time, in the protocol's extended form: its answer names what it answers
// ("get_freq:", "Frequency: 7100000", "RPRT 0").
void RigTuning::ask(Ask what)
{
    static const char *const commands[] = {"", "+\\chk_vfo", "+f", "+m"};
    QByteArray line = commands[int(what)];
    if (what != Ask::Vfo && m_vfo == true)
        line += " currVFO";
    m_asking = what;
    m_waited = 0;
    m_value.reset();
    m_modeValue.clear();
    qCDebug(lcPtt).noquote() << "rigctld at" << m_address << "asked" << line;
    m_socket->write(line + '\n');
}

void RigTuning::read()
{
    m_input += m_socket->readAll();
    qsizetype end;
    while (m_socket && (end = m_input.indexOf('\n')) >= 0) {
        const QByteArray line = m_input.left(end).trimmed();
        m_input.remove(0, end + 1);
        if (!line.isEmpty() && !takeLine(line))
            return lose(QStringLiteral("garbled answer"));
    }
    if (m_input.size() > MaxInput)
        lose(QStringLiteral("garbled answer"));
}

// One line of an answer; false for what makes no sense here.
bool RigTuning::takeLine(const QByteArray &line)
{
    const std::optional<int> code = RigctldLink::reportCode(line);
    const QByteArray value = line.mid(line.indexOf(':') + 1).trimmed();
    switch (m_asking) {
    case Ask::None:
        return false; // an answer to nothing asked
    case Ask::Vfo:
        // A rigctld that does not know the question wants no VFO named.
        if (!code && !line.startsWith("ChkVFO:") && !line.startsWith("CHKVFO "))
            return false;
        m_vfo = !code && line.endsWith('1');
        m_asking = Ask::None;
        if (m_mayAsk())
            ask(Ask::Freq);
        return true;
    case Ask::Freq:
        if (line.startsWith("get_freq:"))
            return true;
        if (line.startsWith("Frequency:")) {
            bool ok = false;
            const double hz = value.toDouble(&ok);
            if (!ok || !(hz > 0 && hz < 1e11))
                return false;
            m_value = quint64(std::llround(hz));
            return true;
        }
        return code && takeReport(*code);
    case Ask::Mode:
        if (line.startsWith("get_mode:") || line.startsWith("Passband:"))
            return true;
        if (line.startsWith("Mode:")) {
            m_modeValue = QString::fromLatin1(value);
            return plausibleMode(value);
        }
        return code && takeReport(*code);
    }
    return false;
}

// The end of an answer: its value (none when rigctld said the rig cannot tell), and the next
// question while the radio may be asked.
bool RigTuning::takeReport(int code)
{
    const bool freq = m_asking == Ask::Freq;
    if (code == 0 && (freq ? !m_value : m_modeValue.isEmpty()))
        return false;
    m_backoff = 0;
    if (std::exchange(m_lostSaid, false))
        qCDebug(lcPtt).noquote() << "rigctld at" << m_address << "answers again";
    m_asking = Ask::None;
    if (freq)
        set(code == 0 ? *m_value : 0, m_mode);
    else
        set(m_freqHz, code == 0 ? m_modeValue : QString());
    if (freq && m_mayAsk())
        ask(Ask::Mode);
    return true;
}

void RigTuning::lose(const QString &reason)
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    m_asking = Ask::None;
    m_input.clear();
    m_skip = m_backoff;
    m_backoff = std::clamp(m_backoff * 2, 1, MostWaitTicks);
    if (!std::exchange(m_lostSaid, true))
        qCWarning(lcPtt).noquote()
            << QStringLiteral("The rig's frequency and mode are not read from "
                              "rigctld at %1 (%2): unknown until it answers")
                   .arg(m_address, reason);
    set(0, QString());
}

void RigTuning::set(quint64 freqHz, const QString &mode)
{
    if (freqHz == m_freqHz && mode == m_mode)
        return;
    m_freqHz = freqHz;
    m_mode = mode;
    qCDebug(lcPtt).noquote() << "rigctld at" << m_address << "tuned to" << freqHz << "Hz" << mode;
    emit changed();
}
