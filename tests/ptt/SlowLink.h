// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/Rigctld.h"

#include <QElapsedTimer>
#include <QThread>

#include <chrono>
#include <deque>
#include <map>
#include <optional>

// A slow link between the keyer and rigctld, as a remote station's is: every byte of the
// requests, or of the answers, reaches the other side `delay` after it was sent, in order. It
// can stop relaying (an outage: the bytes wait) and go on again.
class SlowLink : public LocalSocket
{
public:
    enum class Way { Requests, Answers };
    using Clock = std::chrono::steady_clock;

    SlowLink(quint16 target, Way way, std::chrono::milliseconds delay)
        : LocalSocket(true), m_target(target), m_way(way), m_delay(delay)
    {
        if (::pipe2(m_wake, O_CLOEXEC) == 0)
            m_thread = std::thread([this] { run(); });
    }
    ~SlowLink()
    {
        m_stop = true;
        (void)!::write(m_wake[1], "w", 1);
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_wake[0]);
        ::close(m_wake[1]);
    }

    // Bytes wait while stopped, and go on their way (late) once it goes on.
    void setStopped(bool stopped)
    {
        m_stopped = stopped;
        (void)!::write(m_wake[1], "w", 1);
    }

private:
    struct Chunk
    {
        Clock::time_point due;
        int to;
        QByteArray bytes;
    };

    void run()
    {
        std::map<int, int> links; // client to server
        std::deque<Chunk> waiting; // in the order sent, each due after the one before
        while (!m_stop) {
            std::vector<pollfd> fds{{fd(), POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            for (const auto &[client, server] : links) {
                fds.push_back({client, POLLIN, 0});
                fds.push_back({server, POLLIN, 0});
            }
            int timeout = 100;
            if (!waiting.empty() && !m_stopped)
                timeout = int(std::clamp<qint64>(
                    std::chrono::ceil<std::chrono::milliseconds>(waiting.front().due - Clock::now())
                        .count(),
                    0, 100));
            ::poll(fds.data(), fds.size(), timeout);
            if (fds[1].revents & POLLIN) {
                char ignored[16];
                (void)!::read(m_wake[0], ignored, sizeof ignored);
            }
            if (fds[0].revents & POLLIN) {
                const int client = ::accept4(fd(), nullptr, nullptr, SOCK_CLOEXEC);
                const int server = client >= 0 ? connectTo(m_target) : -1;
                if (server >= 0)
                    links[client] = server;
                else if (client >= 0)
                    ::close(client);
            }
            relay(fds, links, waiting);
            while (!m_stopped && !waiting.empty() && waiting.front().due <= Clock::now()) {
                const Chunk &chunk = waiting.front();
                (void)!::send(chunk.to, chunk.bytes.constData(), size_t(chunk.bytes.size()),
                              MSG_NOSIGNAL);
                waiting.pop_front();
            }
        }
        for (const auto &[client, server] : links) {
            ::close(client);
            ::close(server);
        }
    }

    // What came is sent on at once, or after the delay in its direction.
    void relay(const std::vector<pollfd> &fds, std::map<int, int> &links,
               std::deque<Chunk> &waiting)
    {
        for (size_t i = 2; i + 1 < fds.size(); i += 2) {
            const int client = fds[i].fd;
            const int server = fds[i + 1].fd;
            bool open = true;
            for (int side = 0; side < 2 && open; ++side) {
                if (!(fds[i + side].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                const int from = side == 0 ? client : server;
                const int to = side == 0 ? server : client;
                char buffer[4096];
                const ssize_t got = ::read(from, buffer, sizeof buffer);
                open = got > 0;
                if (!open)
                    break;
                const bool slow = (side == 0) == (m_way == Way::Requests);
                if (slow)
                    waiting.push_back({Clock::now() + m_delay, to, QByteArray(buffer, int(got))});
                else
                    (void)!::send(to, buffer, size_t(got), MSG_NOSIGNAL);
            }
            if (!open) {
                std::erase_if(waiting, [&](const Chunk &chunk) {
                    return chunk.to == client || chunk.to == server;
                });
                ::close(client);
                ::close(server);
                links.erase(client);
            }
        }
    }

    quint16 m_target;
    Way m_way;
    std::chrono::milliseconds m_delay;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_stopped = false;
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

// Reads the dummy rig's PTT directly, as often as it answers: the longest stretch it was seen
// keyed, in milliseconds.
class KeyedStretch
{
public:
    explicit KeyedStretch(quint16 port)
        : m_thread([this, port] {
            int fd = LocalSocket::connectTo(port);
            std::optional<QElapsedTimer> since;
            while (!m_stop && fd >= 0) {
                char answer[32] = {};
                if (::send(fd, "t\n", 2, MSG_NOSIGNAL) != 2 || ::recv(fd, answer, 31, 0) <= 0)
                    break;
                if (answer[0] == '1' && !since) {
                    since.emplace();
                    since->start();
                } else if (answer[0] == '0' && since) {
                    m_longest = std::max<qint64>(m_longest, since->elapsed());
                    since.reset();
                }
                QThread::msleep(5);
            }
            if (since)
                m_longest = std::max<qint64>(m_longest, since->elapsed());
            if (fd >= 0)
                ::close(fd);
        })
    { }
    ~KeyedStretch() { stop(); }
    qint64 stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_longest;
    }

private:
    std::atomic<bool> m_stop = false;
    std::atomic<qint64> m_longest = 0;
    std::thread m_thread;
};
