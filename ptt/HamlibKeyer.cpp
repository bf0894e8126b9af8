// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/HamlibKeyer.h"
#include "station/Log.h"

#include "ptt/RigLibrary.h"
#include "ptt/RigModule.h"

#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

// What the UI thread and the keyer's thread share. The UI thread writes the requests and wakes
// the thread through `wakeFd`; the thread carries them out and posts what came of them to
// `receiver` while it lives.
struct HamlibKeyer::Channel
{
    ~Channel()
    {
        if (wakeFd >= 0)
            ::close(wakeFd);
    }

    std::mutex mutex;
    std::condition_variable done; // the thread has ended
    int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

    quint64 openGeneration = 0; // counts open() calls
    HamlibSettings settings; // of the latest open()
    bool wanted = false; // the latest keying request
    quint64 wantedSerial = 0; // counts keying requests
    bool quit = false;

    bool finished = false;
    bool released = false; // the transmitter is known released at the end
    bool mayBeKeyed = false; // the thread's own account

    // Guards only `receiver`, so that a request never waits while a report is posted.
    std::mutex receiverMutex;
    HamlibKeyer *receiver = nullptr;
};

struct HamlibKeyer::Report
{
    enum Kind { Status, Confirmed, MayBeKeyed };
    Kind kind;
    quint64 generation; // of the open() that the report belongs to
    QString text;
    QString name; // of the rig, once it has opened
    Link link = Link::NotConnected;
    bool flag = false; // Confirmed: on air; MayBeKeyed: its value
    bool say = false; // Status: a failure said on standard error
    bool answersAgain = false; // Status: a rig that had failed answers again
};

// The keyer's thread: opens the rig, holds it to the latest request, and at the end releases the
// transmitter and lets the rig go.
struct HamlibKeyer::Worker
{
    Worker(std::shared_ptr<Channel> channel, std::shared_ptr<RigLibrary> library)
        : channel(std::move(channel)), library(std::move(library))
    { }

    void run();
    // Waits for a request or for `deadline`.
    void waitUntil(std::optional<Clock::time_point> deadline);
    std::optional<Clock::time_point> nextDeadline() const;
    void connectAnew(const HamlibSettings &settings);
    void attempt(bool newRequest);
    void succeeded(bool newRequest);
    void failed(const RigConnection::Result &result);
    void setMayBeKeyed(bool value);
    void end();
    void post(const Report &report) { HamlibKeyer::post(*channel, report); }

    std::shared_ptr<Channel> channel;
    std::shared_ptr<RigLibrary> library;
    std::unique_ptr<RigConnection> link;
    HamlibSettings lastSettings;
    quint64 generation = 0;
    bool wanted = false;
    bool settingsFault = false; // nothing more until the next open()
    std::optional<Clock::time_point> retryAt;
    std::optional<bool> confirmedState;
    Link state = Link::NotConnected;
    bool failureSaid = false;
    bool mayBeKeyed = false;
};

HamlibKeyer::HamlibKeyer(RigModule &module, const HamlibSettings &settings, QObject *parent)
    : PttKeyer(parent)
    , m_settings(settings)
    , m_channel(std::make_shared<Channel>())
    , m_status(QStringLiteral("Not connected"))
{
    // Loaded here on the UI thread, before the keyer's thread exists.
    std::shared_ptr<RigLibrary> library = module.library();
    if (!library) {
        m_unavailable = module.problem();
        return;
    }
    m_channel->receiver = this;
    m_thread = std::thread(
        [channel = m_channel, library = std::move(library)] { Worker(channel, library).run(); });
}

HamlibKeyer::~HamlibKeyer()
{
    stop();
    // The thread releases the transmitter and lets the rig go on its own time.
    if (m_thread.joinable())
        m_thread.detach();
}

void HamlibKeyer::wake()
{
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_channel->wakeFd, &one, sizeof one);
}

void HamlibKeyer::open()
{
    if (m_shutDown)
        return;
    if (!m_unavailable.isEmpty()) {
        // Said on standard error by the module; the status line says it too.
        m_status = QStringLiteral("Not connected: %1").arg(m_unavailable);
        QMetaObject::invokeMethod(
            this, [this] { emit statusChanged(m_status, false); }, Qt::QueuedConnection);
        return;
    }
    {
        std::lock_guard lock(m_channel->mutex);
        m_generation = ++m_channel->openGeneration;
        m_channel->settings = m_settings;
    }
    wake();

    m_status = QStringLiteral("Connecting to %1...").arg(m_settings.plainName());
    m_link = Link::NotConnected;
    QMetaObject::invokeMethod(
        this,
        [this, text = m_status] {
            // The thread's answer may have come first: a later status is never overwritten.
            if (!m_shutDown && m_status == text && m_link != Link::Ready)
                emit statusChanged(text, false);
        },
        Qt::QueuedConnection);
}

void HamlibKeyer::setOnAir(bool onAir)
{
    if (m_shutDown)
        return;
    const bool wasPending = releasePending();
    m_wanted = onAir;
    {
        std::lock_guard lock(m_channel->mutex);
        m_channel->wanted = onAir;
        ++m_channel->wantedSerial;
    }
    wake();
    if (releasePending() != wasPending)
        emit statusChanged(m_status, isReady());
}

void HamlibKeyer::shutdown(int milliseconds)
{
    if (m_shutDown)
        return;
    const bool ready = isReady();
    stop();
    m_wanted = false;
    if (!m_thread.joinable())
        return; // without hamlib nothing was ever keyed
    bool finished = false;
    bool released = false;
    {
        std::unique_lock lock(m_channel->mutex);
        finished
            = m_channel->done.wait_for(lock, std::chrono::milliseconds(std::max(0, milliseconds)),
                                       [this] { return m_channel->finished; });
        released = finished ? m_channel->released : !m_channel->mayBeKeyed;
        m_mayBeKeyed = !released;
    }
    if (finished)
        m_thread.join();
    else
        m_thread.detach(); // it goes on releasing for as long as the program lives
    // A rig already said to be unusable is not said again.
    if (ready && !released) {
        QString text = QStringLiteral("PTT: %1 did not confirm the release").arg(m_name);
        if (!finished)
            text += QStringLiteral(" within %1 ms").arg(milliseconds);
        qCWarning(lcPtt).noquote() << text;
    }
}

void HamlibKeyer::stop()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    {
        std::lock_guard lock(m_channel->receiverMutex);
        m_channel->receiver = nullptr;
    }
    {
        std::lock_guard lock(m_channel->mutex);
        m_channel->quit = true;
    }
    wake();
}

void HamlibKeyer::post(Channel &channel, const Report &report)
{
    std::lock_guard lock(channel.receiverMutex);
    // The keyer clears `receiver` under this lock before it goes; a report posted before that
    // goes with it, untaken.
    if (HamlibKeyer *receiver = channel.receiver) {
        QMetaObject::invokeMethod(
            receiver, [receiver, report] { receiver->take(report); }, Qt::QueuedConnection);
    }
}

void HamlibKeyer::take(const Report &report)
{
    switch (report.kind) {
    case Report::Confirmed:
        emit confirmed(report.flag);
        return;
    case Report::MayBeKeyed: {
        const bool wasPending = releasePending();
        m_mayBeKeyed = report.flag;
        if (releasePending() != wasPending)
            emit statusChanged(m_status, isReady());
        return;
    }
    case Report::Status:
        // What the rig did is said, also when a later open() has replaced the connection; the
        // status is that of the latest open().
        if (report.say)
            qCWarning(lcPtt).noquote() << "PTT:" << report.text;
        if (report.answersAgain)
            qCWarning(lcPtt).noquote() << QStringLiteral("PTT: %1 answers again").arg(report.name);
        if (report.generation != m_generation)
            return;
        if (!report.name.isEmpty())
            m_name = report.name;
        setStatus(report.text, report.link);
        return;
    }
}

void HamlibKeyer::setStatus(const QString &text, Link link)
{
    if (text == m_status && link == m_link)
        return;
    m_status = text;
    m_link = link;
    emit statusChanged(text, isReady());
}

// ---- The keyer's thread ----------------------------------------------------------------------

void HamlibKeyer::Worker::run()
{
    quint64 openSeen = 0;
    quint64 wantedSeen = 0;
    for (;;) {
        waitUntil(nextDeadline());
        std::optional<HamlibSettings> opening;
        bool newRequest = false;
        {
            std::lock_guard lock(channel->mutex);
            if (channel->quit)
                break;
            if (channel->openGeneration != openSeen) {
                openSeen = generation = channel->openGeneration;
                opening = channel->settings;
            }
            newRequest = channel->wantedSerial != wantedSeen;
            wantedSeen = channel->wantedSerial;
            wanted = channel->wanted;
        }
        if (opening)
            connectAnew(*opening);
        if (!link || settingsFault)
            continue;
        const auto now = Clock::now();
        if (link->holds(wanted, now)) {
            if (newRequest)
                post({Report::Confirmed, generation, {}, {}, state, wanted});
            continue;
        }
        // A link that failed is tried again at its time, or at once for a new request.
        if (newRequest || opening || !retryAt || now >= *retryAt)
            attempt(newRequest || opening);
    }
    end();
}

void HamlibKeyer::Worker::waitUntil(std::optional<Clock::time_point> deadline)
{
    int timeout = -1;
    if (deadline) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
        timeout = int(std::clamp<qint64>(left.count(), 0, 60'000));
    }
    if (channel->wakeFd < 0) // no descriptor left for waking up: look every 10 ms
        timeout = timeout < 0 ? 10 : std::min(timeout, 10);
    pollfd ready = {channel->wakeFd, POLLIN, 0};
    if (::poll(&ready, 1, timeout) > 0) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t read = ::read(channel->wakeFd, &count, sizeof count);
    }
}

std::optional<Clock::time_point> HamlibKeyer::Worker::nextDeadline() const
{
    if (!link || settingsFault)
        return std::nullopt;
    if (!link->holds(wanted))
        return retryAt ? *retryAt : Clock::now();
    return link->checkDue();
}

// A keyer connected before is released and let go first. A rig said to fail, opened again, says
// when it answers again.
void HamlibKeyer::Worker::connectAnew(const HamlibSettings &settings)
{
    if (link && link->isOpen())
        link->bring(false);
    const bool sameRig = link && settings == lastSettings;
    // A request to it that was not confirmed may still be carried out: read back first.
    const bool unsure = sameRig && !link->holds(false);
    failureSaid = failureSaid && sameRig;
    lastSettings = settings;
    link = library->connect(settings);
    if (unsure)
        link->assumeUnsure();
    link->setInterrupt(channel->wakeFd);
    settingsFault = false;
    retryAt.reset();
    confirmedState.reset();
    state = Link::NotConnected;
}

void HamlibKeyer::Worker::attempt(bool newRequest)
{
    const RigConnection::Result result = link->bring(wanted);
    if (result.mayBeKeyed)
        setMayBeKeyed(true);
    if (result.failure == RigConnection::Failure::None)
        succeeded(newRequest);
    else
        failed(result);
}

void HamlibKeyer::Worker::succeeded(bool newRequest)
{
    retryAt.reset();
    if (!wanted)
        setMayBeKeyed(false);
    if (state != Link::Ready) {
        post({Report::Status, generation, QStringLiteral("Connected to %1").arg(link->name()),
              link->name(), Link::Ready, false, false, failureSaid});
        state = Link::Ready;
        failureSaid = false;
    }
    if (newRequest || confirmedState != wanted)
        post({Report::Confirmed, generation, {}, {}, state, wanted});
    confirmedState = wanted;
}

void HamlibKeyer::Worker::failed(const RigConnection::Result &result)
{
    using Failure = RigConnection::Failure;
    confirmedState.reset();
    settingsFault = result.failure == Failure::Settings;
    const Link now = result.failure == Failure::NoAnswer ? Link::NoAnswer : Link::NotConnected;
    // rigctld that does not answer is waited for at once (the attempt itself waited); a rig
    // that cannot be reached is tried again a second later.
    retryAt = Clock::now() + std::chrono::milliseconds(now == Link::NoAnswer ? 100 : RetryMs);
    // Said once, until it answers again; the status line follows a change of kind.
    if (now != state || !failureSaid) {
        post({Report::Status, generation, result.text, {}, now, false, !failureSaid, false});
        state = now;
        failureSaid = true;
    }
}

void HamlibKeyer::Worker::setMayBeKeyed(bool value)
{
    if (value == mayBeKeyed)
        return;
    mayBeKeyed = value;
    {
        std::lock_guard lock(channel->mutex);
        channel->mayBeKeyed = value;
    }
    post({Report::MayBeKeyed, generation, {}, {}, state, value});
}

// The end: the transmitter released first, as closing the rig does not release it.
void HamlibKeyer::Worker::end()
{
    bool released = !mayBeKeyed;
    if (link && !settingsFault) {
        wanted = false;
        link->setInterrupt(-1); // the release may wait for rigctld's answer
        if (link->holds(false) || link->bring(false).failure == RigConnection::Failure::None)
            released = true;
        link->close();
    }
    {
        std::lock_guard lock(channel->mutex);
        channel->finished = true;
        channel->released = released;
    }
    channel->done.notify_all();
}
