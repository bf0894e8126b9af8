// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/Rigctld.h"

#include <QByteArray>

#include <atomic>
#include <map>
#include <mutex>

// A link between the keyer and rigctld that relays every request and answer, and sees what the
// keyer writes: how often it wrote a keying while a request of its connection was unanswered.
// Told to, it loses the next request that starts with a prefix (no answer ever comes), garbles
// its answer, or closes the connection before the answer. Requests are matched without the
// extended protocol's leading '+'.
class RigTap : public LocalSocket
{
public:
    enum class Fault { None, Lose, Garble, Close };

    explicit RigTap(quint16 target) : LocalSocket(true), m_target(target)
    {
        if (::pipe2(m_wake, O_CLOEXEC) == 0)
            m_thread = std::thread([this] { run(); });
    }
    ~RigTap()
    {
        m_stop = true;
        (void)!::write(m_wake[1], "w", 1);
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_wake[0]);
        ::close(m_wake[1]);
    }

    // The next request that starts with `prefix` meets `fault`.
    void inject(Fault fault, const QByteArray &prefix)
    {
        std::lock_guard lock(m_mutex);
        m_fault = fault;
        m_prefix = prefix;
    }
    // Keyings ("T 1") written while the connection had a request unanswered.
    int keyingsWhileUnanswered() const { return m_unanswered; }
    // Keying requests ("T 1", "T 0") that reached rigctld.
    int keyingRequests() const { return m_keyings; }

private:
    struct Link
    {
        int server = -1;
        QByteArray line; // of the request being written
        int waiting = 0; // requests that went and whose answers have not come
        Fault fault = Fault::None; // what its answer meets
    };

    void run()
    {
        std::map<int, Link> links; // by the client's descriptor
        while (!m_stop) {
            std::vector<pollfd> fds{{fd(), POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            for (const auto &[client, link] : links) {
                fds.push_back({client, POLLIN, 0});
                fds.push_back({link.server, POLLIN, 0});
            }
            if (::poll(fds.data(), fds.size(), 100) <= 0)
                continue;
            if (fds[0].revents & POLLIN) {
                const int client = ::accept4(fd(), nullptr, nullptr, SOCK_CLOEXEC);
                const int server = client >= 0 ? connectTo(m_target) : -1;
                if (server >= 0)
                    links[client].server = server;
                else if (client >= 0)
                    ::close(client);
            }
            for (size_t i = 2; i < fds.size(); i += 2) {
                const int client = fds[i].fd;
                Link &link = links[client];
                const bool open
                    = (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)) || fromClient(client, link))
                      && (!(fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR))
                          || fromServer(client, link));
                if (!open) {
                    ::close(client);
                    ::close(link.server);
                    links.erase(client);
                }
            }
        }
        for (const auto &[client, link] : links) {
            ::close(client);
            ::close(link.server);
        }
    }

    // Each request line goes on, meets its fault, or is lost.
    bool fromClient(int client, Link &link)
    {
        char buffer[4096];
        const ssize_t got = ::read(client, buffer, sizeof buffer);
        if (got <= 0)
            return false;
        for (ssize_t i = 0; i < got; ++i) {
            link.line += buffer[i];
            if (buffer[i] != '\n')
                continue;
            const QByteArray request = link.line.startsWith('+') ? link.line.mid(1) : link.line;
            const bool keying = request.startsWith("T ") && request.trimmed().endsWith(" 1");
            if (link.waiting > 0 && keying)
                ++m_unanswered;
            Fault fault = Fault::None;
            {
                std::lock_guard lock(m_mutex);
                if (m_fault != Fault::None && request.startsWith(m_prefix))
                    std::swap(fault, m_fault);
            }
            if (fault != Fault::Lose)
                ++link.waiting;
            link.fault = fault;
            if (fault != Fault::Lose && request.startsWith("T "))
                ++m_keyings;
            if (fault != Fault::Lose
                && ::send(link.server, link.line.constData(), size_t(link.line.size()),
                          MSG_NOSIGNAL)
                       != link.line.size())
                return false;
            link.line.clear();
        }
        return true;
    }

    bool fromServer(int client, Link &link)
    {
        char buffer[4096];
        const ssize_t got = ::read(link.server, buffer, sizeof buffer);
        if (got <= 0 || link.fault == Fault::Close)
            return false;
        QByteArray answer(buffer, int(got));
        if (link.fault == Fault::Garble)
            answer = "zzz\n";
        link.fault = Fault::None;
        // An answer ends with its report ("RPRT 0"), or is the one line of "ChkVFO: 0".
        link.waiting = std::max(
            0, link.waiting
                   - int(answer.count("RPRT") + answer.count("ChkVFO") + answer.count("zzz")));
        return ::send(client, answer.constData(), size_t(answer.size()), MSG_NOSIGNAL)
               == answer.size();
    }

    quint16 m_target;
    int m_wake[2] = {-1, -1};
    std::mutex m_mutex;
    Fault m_fault = Fault::None;
    QByteArray m_prefix;
    std::atomic<int> m_unanswered = 0;
    std::atomic<int> m_keyings = 0;
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};
