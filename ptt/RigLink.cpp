// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/RigLink.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// One connection to rigctld that asks it a harmless question (whether it wants a VFO named in
// every command) and waits for any answer: the sign that rigctld reads its connections again.
class RigLink::Probe
{
public:
    enum class Outcome { Answered, Waiting, Refused };

    ~Probe() { close(); }

    // Connects (once) to `address` ("host:port", "[v6 address]:port" or "host") and waits up to
    // `timeoutMs` for an answer, or until `interrupt` is readable.
    Outcome wait(const QString &address, int timeoutMs, int interrupt)
    {
        if (m_fd < 0 && !connectTo(address))
            return Outcome::Refused;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left
                = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd fds[2] = {{m_fd, short(m_asked ? POLLIN : POLLOUT), 0}, {interrupt, POLLIN, 0}};
            const int ready
                = ::poll(fds, interrupt >= 0 ? 2 : 1, int(std::max<qint64>(0, left.count())));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0 || (fds[0].revents == 0 && (fds[1].revents & POLLIN)))
                return Outcome::Waiting;
            if (!m_asked) {
                int error = 0;
                socklen_t length = sizeof error;
                ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length);
                static const char question[] = "\\chk_vfo\n";
                if (error != 0
                    || ::send(m_fd, question, sizeof question - 1, MSG_NOSIGNAL)
                           != ssize_t(sizeof question - 1)) {
                    close();
                    return Outcome::Refused;
                }
                m_asked = true;
                continue;
            }
            char answer[64];
            if (::recv(m_fd, answer, sizeof answer, MSG_DONTWAIT) > 0)
                return Outcome::Answered;
            close(); // it closed the connection: gone, or not rigctld
            return Outcome::Refused;
        }
    }

    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        m_asked = false;
    }

private:
    bool connectTo(const QString &address)
    {
        QString host = address;
        QString port = QStringLiteral("4532");
        if (address.startsWith(QLatin1Char('['))) {
            const int end = address.indexOf(QLatin1Char(']'));
            host = address.mid(1, end - 1);
            if (address.mid(end + 1).startsWith(QLatin1Char(':')))
                port = address.mid(end + 2);
        } else if (address.count(QLatin1Char(':')) == 1) {
            host = address.section(QLatin1Char(':'), 0, 0);
            port = address.section(QLatin1Char(':'), 1);
        }
        addrinfo hints = {};
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *found = nullptr;
        if (::getaddrinfo(host.toUtf8().constData(), port.toUtf8().constData(), &hints, &found) != 0
            || !found)
            return false;
        bool connecting = false;
        for (addrinfo *entry = found; entry && !connecting; entry = entry->ai_next) {
            m_fd = ::socket(entry->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (m_fd < 0)
                continue;
            connecting
                = ::connect(m_fd, entry->ai_addr, entry->ai_addrlen) == 0 || errno == EINPROGRESS;
            if (!connecting)
                close();
        }
        ::freeaddrinfo(found);
        return connecting;
    }

    int m_fd = -1;
    bool m_asked = false;
};

RigLink::RigLink(const HamlibSettings &settings) : m_settings(settings) { }

RigLink::~RigLink()
{
    close();
}

void RigLink::close()
{
    m_probe.reset();
    m_rig.close();
    m_known.reset();
}

bool RigLink::holds(bool onAir, Clock::time_point now) const
{
    return m_rig.isOpen() && !m_unsure && m_known == onAir && !(m_checkAt && now >= *m_checkAt);
}

RigLink::Result RigLink::bring(bool onAir)
{
    using Failure = HamlibRig::Failure;
    QString text;
    if (!m_rig.isOpen()) {
        if (m_probe) {
            const Probe::Outcome outcome
                = m_probe->wait(m_settings.rigPort, HamlibRig::AnswerTimeoutMs, m_interrupt);
            if (outcome == Probe::Outcome::Waiting)
                return {Failure::NoAnswer,
                        QStringLiteral("No answer from %1").arg(HamlibRig::plainName(m_settings))};
            if (outcome == Probe::Outcome::Refused) {
                m_probe.reset();
                return {Failure::NotConnected, QStringLiteral("Cannot open %1: cannot connect")
                                                   .arg(HamlibRig::plainName(m_settings))};
            }
        }
        // The probe's connection goes once the rig's own is made (rigctld 4.5 may close the
        // connection that it takes next when one goes).
        const Failure failure = m_rig.open(m_settings, &text);
        m_probe.reset();
        if (failure != Failure::None)
            return fail(failure, text);
        m_known.reset();
    }

    Result result;
    const auto now = Clock::now();
    if (m_unsure || (m_checkAt && now >= *m_checkAt)) {
        bool keyed = false;
        const Failure failure = m_rig.getPtt(&keyed, &text);
        if (failure == Failure::None) {
            m_known = keyed;
            result.mayBeKeyed = keyed;
            m_checkAt = m_unsure ? std::optional(now + CheckAgainAfter) : std::nullopt;
        } else if (failure == Failure::Unsupported) {
            m_known.reset(); // it cannot tell: the state asked is sent again
            m_checkAt.reset();
        } else {
            return fail(failure, text);
        }
        m_unsure = false;
    }
    if (m_known != onAir) {
        result.mayBeKeyed = result.mayBeKeyed || onAir;
        const Failure failure = m_rig.setPtt(onAir, &text);
        if (failure != Failure::None) {
            m_unsure = true; // it may carry it out yet
            m_known.reset();
            result.failure = failure == Failure::Unsupported ? Failure::Settings : failure;
            result.text = text;
            return fail(result);
        }
        m_known = onAir;
    }
    return result;
}

RigLink::Result RigLink::fail(HamlibRig::Failure failure, const QString &text)
{
    return fail({failure, text});
}

RigLink::Result RigLink::fail(const Result &result)
{
    // rigctld took the connection and said nothing: wait for its answer on one connection.
    if (result.failure == HamlibRig::Failure::NoAnswer && !m_rig.isOpen() && !m_probe
        && m_rig.isNetwork())
        m_probe = std::make_unique<Probe>();
    return result;
}
