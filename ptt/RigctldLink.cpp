// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/RigctldLink.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// hamlib's error numbers, as rigctld answers them ("RPRT -5").
enum RigError {
    Invalid = 1,
    Config = 2,
    NotImplemented = 4,
    TimedOut = 5,
    Io = 6,
    Protocol = 8,
    Rejected = 9,
    NotAvailable = 11
};

QString describe(int code)
{
    switch (std::abs(code)) {
    case TimedOut:
        return QStringLiteral("its rig does not answer");
    case Io:
        return QStringLiteral("communication with its rig failed");
    case Protocol:
        return QStringLiteral("garbled answer from its rig");
    case Rejected:
        return QStringLiteral("the rig refused the command");
    case NotImplemented:
    case NotAvailable:
        return QStringLiteral("not supported by this rig");
    case Invalid:
    case Config:
        return QStringLiteral("invalid setting");
    default:
        return QStringLiteral("hamlib error %1").arg(code);
    }
}

// "host:port", "[v6 address]:port" or "host" (rigctld's own port, 4532).
void splitAddress(const QString &address, QByteArray *host, QByteArray *port)
{
    QString h = address.trimmed();
    QString p = QStringLiteral("4532");
    if (h.startsWith(QLatin1Char('['))) {
        const int end = h.indexOf(QLatin1Char(']'));
        if (h.mid(end + 1).startsWith(QLatin1Char(':')))
            p = h.mid(end + 2);
        h = h.mid(1, end - 1);
    } else if (h.count(QLatin1Char(':')) == 1) {
        p = h.section(QLatin1Char(':'), 1);
        h = h.section(QLatin1Char(':'), 0, 0);
    }
    *host = h.toUtf8();
    *port = p.toUtf8();
}

using Clock = std::chrono::steady_clock;

int msUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return int(std::clamp<qint64>(left.count(), 0, 60'000));
}

} // namespace

RigctldLink::RigctldLink(const HamlibSettings &settings, pid_t owner)
    : m_settings(settings), m_record(settings, owner)
{ }

RigctldLink::~RigctldLink()
{
    close();
}

void RigctldLink::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_input.clear();
    m_asked.clear();
    m_answer.reset();
    m_vfo.reset();
    m_known.reset();
    m_ours = false;
}

int RigctldLink::answerTimeoutMs() const
{
    return std::clamp(int(2 * m_slowestMs) + 500, LeastAnswerMs, MostAnswerMs);
}

std::optional<RigConnection::Clock::time_point> RigctldLink::checkDue() const
{
    if (m_fd < 0)
        return std::nullopt;
    if (m_elsewhere)
        return m_lastAnswer + ReadElsewhereEvery;
    if (m_known == true || lastSet() == true || (m_rechecks > 0 && m_known))
        return std::max(m_lastAnswer, m_lastRead) + ReadEvery;
    return std::nullopt;
}

bool RigctldLink::holds(bool onAir, Clock::time_point now) const
{
    const std::optional<Clock::time_point> due = checkDue();
    if (due && now >= *due)
        return false;
    if (m_elsewhere)
        return !onAir; // nothing of this program's to hold released
    return isOpen() && !m_unsure && m_asked.empty() && m_known == onAir;
}

std::optional<bool> RigctldLink::lastSet() const
{
    for (auto asked = m_asked.rbegin(); asked != m_asked.rend(); ++asked)
        if (asked->ask == Ask::Set)
            return asked->value;
    return std::nullopt;
}

bool RigctldLink::outstanding(Ask ask) const
{
    return std::any_of(m_asked.begin(), m_asked.end(),
                       [ask](const Asked &asked) { return asked.ask == ask; });
}

bool RigctldLink::late(Clock::time_point now) const
{
    return !m_asked.empty()
           && now >= m_asked.front().at + std::chrono::milliseconds(answerTimeoutMs());
}

RigConnection::Result RigctldLink::failure(Failure kind, const QString &text) const
{
    Result result;
    result.failure = kind;
    result.text = text.contains(QLatin1String("%1")) ? text.arg(name()) : text;
    result.mayBeKeyed = m_known == true || lastSet() == true;
    return result;
}

RigConnection::Result RigctldLink::bring(bool onAir)
{
    bool madeAgain = false;
    for (;;) {
        if (m_fd < 0) {
            const Result opened = connectAnew();
            if (opened.failure != Failure::None)
                return opened;
        }
        if (!readAnswers()) {
            // rigctld 4.5 sometimes closes a connection it has just taken: made again once. A
            // rigctld that went away is said as such.
            if (m_garbled || madeAgain)
                return lost();
            madeAgain = true;
            Result gone = lost();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (const Result opened = connectAnew(); opened.failure != Failure::None)
                return gone;
            continue;
        }
        if (std::exchange(m_releasedElsewhere, false) && onAir) {
            Result result;
            result.releasedElsewhere = true;
            return result;
        }
        if (!m_refusal.isEmpty())
            return failure(m_refusalKind, std::exchange(m_refusal, {}));
        Result result = writeWhatIsWanted(onAir);
        if (result.failure != Failure::None)
            return result;
        if (m_asked.empty() && !m_unsure) {
            result.mayBeKeyed = m_known == true;
            return result; // the rig is where asked (or keyed elsewhere, and released asked)
        }
        switch (waitForAnswer()) {
        case Wait::Answered:
            break;
        case Wait::Late:
            return failure(Failure::NoAnswer, m_vfo ? QStringLiteral("No answer from %1")
                                                    : QStringLiteral("Cannot open %1: no answer"));
        case Wait::Interrupted:
            return failure(Failure::Waiting, QString());
        }
    }
}

// What the rig is to be asked next: its state first where that is due, then the set that brings
// it where asked, unless the last set written already does.
RigConnection::Result RigctldLink::writeWhatIsWanted(bool onAir)
{
    Result result;
    if (!m_vfo)
        return result; // rigctld's first answer tells how to ask it
    const auto now = Clock::now();
    const std::optional<Clock::time_point> due = checkDue();
    const bool readDue = m_unsure || (due && now >= *due);
    // A read whose answer is late is asked again at the next read's time.
    if (readDue && (!outstanding(Ask::Read) || late(now))) {
        if (!write(Ask::Read))
            return lost();
        m_lastRead = now;
        if (!m_unsure && m_rechecks > 0)
            --m_rechecks;
    }
    m_unsure = false;
    // A new connection's first read decides whether a keying found on the rig is ours.
    if (!m_known && outstanding(Ask::Read) && !lastSet())
        return result;
    if (m_elsewhere) {
        if (onAir)
            return failure(Failure::KeyedElsewhere,
                           QStringLiteral("%1 is keyed by another program"));
        return result;
    }
    const std::optional<bool> last = lastSet() ? lastSet() : m_known;
    // A release whose answer is late is written again every second.
    const bool repeat
        = !onAir && lastSet() == false && late(now) && now >= m_lastRelease + ReadEvery;
    if (last == onAir && !repeat)
        return result;
    // Behind an answer that is late only a release is written.
    if (onAir && late(now))
        return failure(Failure::NoAnswer, QStringLiteral("No answer from %1"));
    // Another copy of the program that runs has it keyed: never keyed over.
    if (onAir && !m_record.mark()) {
        m_elsewhere = true;
        return failure(Failure::KeyedElsewhere, QStringLiteral("%1 is keyed by another program"));
    }
    if (!onAir)
        m_lastRelease = now;
    if (!write(Ask::Set, onAir))
        return lost();
    return result;
}

RigConnection::Result RigctldLink::connectAnew()
{
    close();
    m_unsure = true;
    m_garbled = false;
    if (!connectSocket())
        return failure(Failure::NotConnected, QStringLiteral("Cannot open %1: cannot connect"));
    if (!write(Ask::Vfo))
        return lost();
    return {};
}

bool RigctldLink::connectSocket()
{
    QByteArray host;
    QByteArray port;
    splitAddress(m_settings.rigPort, &host, &port);
    addrinfo hints = {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (host.isEmpty() || ::getaddrinfo(host.constData(), port.constData(), &hints, &found) != 0
        || !found)
        return false;
    for (addrinfo *entry = found; entry && m_fd < 0; entry = entry->ai_next) {
        m_fd = ::socket(entry->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            continue;
        if (::connect(m_fd, entry->ai_addr, entry->ai_addrlen) != 0 && errno != EINPROGRESS) {
            ::close(m_fd);
            m_fd = -1;
            continue;
        }
        pollfd ready = {m_fd, POLLOUT, 0};
        int error = 0;
        socklen_t length = sizeof error;
        if (::poll(&ready, 1, LeastAnswerMs) <= 0
            || ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (m_fd < 0)
        return false;
    // The requests are a few bytes each and each one is waited for.
    const int on = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return true;
}

bool RigctldLink::write(Ask ask, bool value)
{
    const QByteArray vfo = m_vfo == true ? QByteArrayLiteral(" currVFO") : QByteArray();
    QByteArray line;
    switch (ask) {
    case Ask::Vfo:
        line = "+\\chk_vfo\n";
        break;
    case Ask::Read:
        line = "+t" + vfo + '\n';
        break;
    case Ask::Set:
        line = "+T" + vfo + (value ? " 1\n" : " 0\n");
        break;
    }
    if (::send(m_fd, line.constData(), size_t(line.size()), MSG_NOSIGNAL) != line.size())
        return false;
    m_asked.push_back({ask, value, Clock::now()});
    return true;
}

bool RigctldLink::readAnswers()
{
    char buffer[1024];
    for (;;) {
        const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got == 0)
            return false; // rigctld closed the connection
        if (got < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        m_input.append(buffer, int(got));
        int end;
        while ((end = m_input.indexOf('\n')) >= 0) {
            const QByteArray line = m_input.left(end).trimmed();
            m_input.remove(0, end + 1);
            if (!line.isEmpty() && !takeLine(line)) {
                m_garbled = true;
                return false;
            }
        }
        if (m_input.size() > MaxLine) {
            m_garbled = true;
            return false;
        }
    }
}

// One line of an answer: its first names the request it answers ("set_ptt: 1", "get_ptt:",
// "ChkVFO: 0"), a read's value follows ("PTT: 1"), and "RPRT <code>" ends it. False for what
// makes no sense.
bool RigctldLink::takeLine(const QByteArray &line)
{
    const QByteArray last = line.mid(line.lastIndexOf(' ') + 1);
    if (line.startsWith("ChkVFO:")) {
        if (m_answer || (last != "0" && last != "1"))
            return false;
        return take({Ask::Vfo, last == "1", {}}, 0);
    }
    if (line.startsWith("set_ptt:") || line.startsWith("get_ptt:")) {
        const bool set = line.startsWith("set_ptt:");
        if (m_answer || (set && last != "0" && last != "1"))
            return false;
        m_answer = Asked{set ? Ask::Set : Ask::Read, set && last == "1", {}};
        m_answerValue.reset();
        return true;
    }
    if (line.startsWith("PTT:")) {
        bool numeric = false;
        const int value = last.toInt(&numeric);
        if (!m_answer || m_answer->ask != Ask::Read || !numeric || value < 0 || value > 3)
            return false;
        m_answerValue = value != 0;
        return true;
    }
    const std::optional<int> code = reportCode(line);
    if (!code || !m_answer)
        return false;
    Asked answer = *std::exchange(m_answer, std::nullopt);
    if (answer.ask == Ask::Read && *code == 0) {
        if (!m_answerValue)
            return false;
        answer.value = *m_answerValue;
    }
    return take(answer, *code);
}

// An answer to the first request it fits; the ones written before that were lost on their way,
// as rigctld answers in the order asked.
bool RigctldLink::take(const Asked &answer, int code)
{
    const auto fits = [&answer](const Asked &asked) {
        return asked.ask == answer.ask && (asked.ask != Ask::Set || asked.value == answer.value);
    };
    const auto asked = std::find_if(m_asked.begin(), m_asked.end(), fits);
    if (asked == m_asked.end())
        return false; // an answer to nothing asked
    measure(asked->at);
    m_asked.erase(m_asked.begin(), asked + 1);
    switch (answer.ask) {
    case Ask::Vfo:
        m_vfo = answer.value;
        break;
    case Ask::Read:
        if (code == 0) {
            takeRead(answer.value);
        } else {
            // A rig that cannot tell: the state asked is written again.
            m_known.reset();
            if (std::abs(code) != NotImplemented && std::abs(code) != NotAvailable)
                refused(Failure::NoAnswer, code);
        }
        break;
    case Ask::Set:
        takeSet(answer.value, code);
        break;
    }
    return true;
}

void RigctldLink::measure(Clock::time_point asked)
{
    const auto now = Clock::now();
    m_lastAnswer = now;
    // How slow the link is: an answer later than the longest wait is a hang, not the link.
    const double took = std::chrono::duration<double, std::milli>(now - asked).count();
    if (took < MostAnswerMs)
        m_slowestMs = std::max(took, m_slowestMs * 0.8);
}

void RigctldLink::takeRead(bool keyed)
{
    if (keyed && m_known != true) {
        // Keyed, and not by a set of ours on this connection.
        m_ours = m_record.leftByUs();
        m_elsewhere = !m_ours;
    } else if (!keyed) {
        if (m_known == true && m_ours && lastSet() != false)
            m_releasedElsewhere = true;
        m_record.clear(); // ours only: another copy's record stays
        m_elsewhere = false;
        m_ours = false;
    }
    m_known = keyed;
}

void RigctldLink::takeSet(bool onAir, int code)
{
    if (code != 0) {
        m_known.reset();
        const bool unsupported = std::abs(code) == NotImplemented || std::abs(code) == NotAvailable;
        refused(unsupported ? Failure::Settings : Failure::NoAnswer, code);
        return;
    }
    m_known = onAir;
    m_ours = onAir;
    if (!onAir)
        m_record.clear();
}

void RigctldLink::refused(Failure kind, int code)
{
    m_refusalKind = kind;
    const QString pattern = kind == Failure::NoAnswer && std::abs(code) == TimedOut
                                ? QStringLiteral("No answer from %1 (%2)")
                                : QStringLiteral("Cannot key %1: %2");
    m_refusal = pattern.arg(name(), describe(code));
}

RigctldLink::Wait RigctldLink::waitForAnswer()
{
    // The oldest request not answered sets the deadline; one already late is waited for until
    // the next read or repeated release falls due.
    const auto now = Clock::now();
    auto deadline
        = m_asked.empty() ? now : m_asked.front().at + std::chrono::milliseconds(answerTimeoutMs());
    if (deadline <= now) {
        deadline = now + ReadEvery;
        if (lastSet() == false)
            deadline = std::min(deadline, m_lastRelease + ReadEvery);
        if (const std::optional<Clock::time_point> due = checkDue())
            deadline = std::min(deadline, *due);
        deadline = std::max(deadline, now + std::chrono::milliseconds(10));
    }
    for (;;) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_interrupt, POLLIN, 0}};
        const int ready = ::poll(fds, m_interrupt >= 0 ? 2 : 1, msUntil(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || fds[0].revents != 0)
            return Wait::Answered; // what came (or the end of the connection) is read next
        if (ready > 0)
            return Wait::Interrupted;
        return Wait::Late;
    }
}

RigConnection::Result RigctldLink::lost()
{
    const bool garbled = m_garbled;
    Result result = failure(garbled ? Failure::NoAnswer : Failure::NotConnected,
                            garbled ? QStringLiteral("No answer from %1 (garbled answer)")
                                    : QStringLiteral("No answer from %1 (communication failed)"));
    // What was written may still be carried out: the next connection reads the rig first, and
    // once more a second later.
    if (!m_asked.empty())
        m_rechecks = 1;
    close();
    m_unsure = true;
    return result;
}

std::optional<int> RigctldLink::reportCode(const QByteArray &line)
{
    if (!line.startsWith("RPRT "))
        return std::nullopt;
    bool ok = false;
    const int code = line.mid(5).trimmed().toInt(&ok);
    return ok ? std::optional(code) : std::nullopt;
}
