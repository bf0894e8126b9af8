// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/HamlibKeyer.h"
#include "station/Log.h"

#include "ptt/RigLibrary.h"
#include "ptt/RigModule.h"
#include "ptt/RigctldLink.h"

#include <QMetaObject>

#include <algorithm>
#include <atomic>
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
    std::shared_ptr<RigLibrary> library; // hamlib, where the latest open() needs it
    bool wanted = false; // the latest keying request
    quint64 wantedSerial = 0; // counts keying requests
    bool quit = false;

    bool finished = false;
    bool released = false; // the transmitter is known released at the end
    bool mayBeKeyed = false; // the thread's own account
    std::atomic<int> answerTimeoutMs = HamlibRig::AnswerTimeoutMs; // of the link in use

    // Guards only `receiver`, so that a request never waits while a report is posted.
    std::mutex receiverMutex;
    HamlibKeyer *receiver = nullptr;
};

struct HamlibKeyer::Report
{
    enum Kind { Status, Confirmed, MayBeKeyed, ReleasedElsewhere, Problem, Seen };
    Kind kind;
    quint64 generation; // of the open() that the report belongs to
    QString text;
    QString name; // of the rig, once it has opened
    Link link = Link::NotConnected;
    bool flag = false; // Confirmed: on air; MayBeKeyed: its value
    bool say = false; // Status: a failure said on standard error
    bool answersAgain = false; // Status: a rig that had failed answers again
    quint64 serial = 0; // the latest request the thread had taken when it reported
};

// The keyer's thread: opens the rig, holds it to the latest request, and at the end releases the
// transmitter and lets the rig go.
struct HamlibKeyer::Worker
{
    explicit Worker(std::shared_ptr<Channel> channel) : channel(std::move(channel)) { }

    void run();
    void carryOut(bool newRequest, bool opening);
    // Waits for a request or for `deadline`.
    void waitUntil(std::optional<Clock::time_point> deadline);
    std::optional<Clock::time_point> nextDeadline() const;
    void connectAnew(const HamlibSettings &settings, std::shared_ptr<RigLibrary> rigs);
    void attempt(bool newRequest);
    void succeeded(bool newRequest);
    void failed(const RigConnection::Result &result, Clock::time_point started);
    void tellStatus(Link now, const QString &text, bool say);
    void setMayBeKeyed(bool value);
    void end();
    void post(Report report)
    {
        report.serial = serial;
        HamlibKeyer::post(*channel, report);
    }

    std::shared_ptr<Channel> channel;
    std::shared_ptr<RigLibrary> library; // keeps hamlib loaded while its link is in use
    std::unique_ptr<RigConnection> link;
    HamlibSettings lastSettings;
    quint64 generation = 0;
    bool wanted = false;
    quint64 serial = 0; // of the latest request taken
    bool settingsFault = false; // nothing more until the next open()
    std::optional<Clock::time_point> retryAt;
    std::optional<bool> confirmedState;
    Link state = Link::NotConnected;
    bool failureSaid = false;
    bool mayBeKeyed = false;
    // Released elsewhere while keyed: not keyed again until a new request.
    bool heldBack = false;
};

HamlibKeyer::HamlibKeyer(RigModule &module, const HamlibSettings &settings, QObject *parent)
    : PttKeyer(parent)
    , m_module(module)
    , m_settings(settings)
    , m_channel(std::make_shared<Channel>())
    , m_status(QStringLiteral("Not connected"))
{
    m_channel->receiver = this;
    m_thread = std::thread([channel = m_channel] { Worker(channel).run(); });
}

int HamlibKeyer::answerTimeoutMs() const
{
    return m_channel->answerTimeoutMs;
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
    // rigctld is spoken to directly; a rig on its own port, or a CM108 chip, through hamlib,
    // loaded here on the UI thread.
    std::shared_ptr<RigLibrary> library;
    if (!m_settings.throughRigctld()) {
        library = m_module.library();
        if (!library) {
            // Said on standard error by the module; the status line says it too.
            setStatus(QStringLiteral("Not connected: %1").arg(m_module.problem()),
                      Link::NotConnected);
            {
                std::lock_guard lock(m_channel->mutex);
                m_generation = ++m_channel->openGeneration;
                m_channel->library.reset();
            }
            wake();
            QMetaObject::invokeMethod(
                this, [this] { emit statusChanged(m_status, false); }, Qt::QueuedConnection);
            return;
        }
    }
    {
        std::lock_guard lock(m_channel->mutex);
        m_generation = ++m_channel->openGeneration;
        m_channel->settings = m_settings;
        m_channel->library = std::move(library);
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
        const quint64 serial = ++m_channel->wantedSerial;
        // Keyed, as far as anyone can tell, from the moment the keying is asked.
        if (onAir)
            m_keyingSerial = serial;
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
        return;
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
    const bool wasPending = releasePending();
    m_seenSerial = std::max(m_seenSerial, report.serial);
    if (report.kind != Report::Status && releasePending() != wasPending)
        emit statusChanged(m_status, isReady());
    switch (report.kind) {
    case Report::Seen:
        return;
    case Report::Confirmed:
        emit confirmed(report.flag);
        return;
    case Report::MayBeKeyed: {
        const bool pending = releasePending();
        m_mayBeKeyed = report.flag;
        if (releasePending() != pending)
            emit statusChanged(m_status, isReady());
        return;
    }
    case Report::ReleasedElsewhere:
        qCWarning(lcPtt).noquote()
            << QStringLiteral("PTT: %1 reads released though it was keyed here: it was released "
                              "elsewhere")
                   .arg(m_name);
        emit releasedElsewhere();
        return;
    case Report::Problem:
        qCWarning(lcPtt).noquote() << "PTT:" << report.text;
        return;
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
        std::shared_ptr<RigLibrary> rigs;
        bool newRequest = false;
        {
            std::lock_guard lock(channel->mutex);
            if (channel->quit)
                break;
            if (channel->openGeneration != openSeen) {
                openSeen = generation = channel->openGeneration;
                opening = channel->settings;
                rigs = channel->library;
            }
            newRequest = channel->wantedSerial != wantedSeen;
            wantedSeen = serial = channel->wantedSerial;
            wanted = channel->wanted;
        }
        if (opening)
            connectAnew(*opening, std::move(rigs));
        if (newRequest)
            heldBack = false;
        if (link && !settingsFault && !heldBack)
            carryOut(newRequest, opening.has_value());
        // What the thread knows of the transmitter now covers this request.
        if (newRequest)
            post({Report::Seen, generation, {}, {}, state, false});
    }
    end();
}

void HamlibKeyer::Worker::carryOut(bool newRequest, bool opening)
{
    const auto now = Clock::now();
    if (link->holds(wanted, now)) {
        if (newRequest)
            post({Report::Confirmed, generation, {}, {}, state, wanted});
        return;
    }
    // A link that failed is tried again at its time, or at once for a new request.
    if (newRequest || opening || !retryAt || now >= *retryAt)
        attempt(newRequest || opening);
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
    if (!link || settingsFault || heldBack)
        return std::nullopt;
    if (!link->holds(wanted))
        return retryAt ? *retryAt : Clock::now();
    return link->checkDue();
}

// A keyer connected before is released and let go first. A rig said to fail, opened again, says
// when it answers again.
void HamlibKeyer::Worker::connectAnew(const HamlibSettings &settings,
                                      std::shared_ptr<RigLibrary> rigs)
{
    if (link && link->isOpen())
        link->bring(false);
    const bool sameRig = link && settings == lastSettings;
    // A request to it that was not confirmed may still be carried out: read back first.
    const bool unsure = sameRig && !link->holds(false);
    failureSaid = failureSaid && sameRig;
    lastSettings = settings;
    link.reset();
    library = std::move(rigs);
    if (settings.throughRigctld())
        link = std::make_unique<RigctldLink>(settings);
    else if (library)
        link = library->connect(settings);
    settingsFault = false;
    heldBack = false;
    retryAt.reset();
    confirmedState.reset();
    state = Link::NotConnected;
    if (!link)
        return; // hamlib cannot be loaded: the keyer said why
    if (unsure)
        link->assumeUnsure();
    link->setInterrupt(channel->wakeFd);
}

void HamlibKeyer::Worker::attempt(bool newRequest)
{
    const auto started = Clock::now();
    const RigConnection::Result result = link->bring(wanted);
    channel->answerTimeoutMs = link->answerTimeoutMs();
    if (result.mayBeKeyed)
        setMayBeKeyed(true);
    if (result.releasedElsewhere) {
        // Someone else released it: said, and not keyed again until asked anew.
        setMayBeKeyed(false);
        confirmedState = false;
        heldBack = true;
        post({Report::ReleasedElsewhere, generation, {}, {}, state, false});
        return;
    }
    switch (result.failure) {
    case RigConnection::Failure::None:
        succeeded(newRequest);
        return;
    case RigConnection::Failure::Waiting:
        return; // a new request came while the answer was on its way
    default:
        failed(result, started);
        return;
    }
}

void HamlibKeyer::Worker::succeeded(bool newRequest)
{
    retryAt.reset();
    if (!wanted && !link->keyedElsewhere())
        setMayBeKeyed(false);
    if (link->keyedElsewhere()) {
        tellStatus(Link::KeyedElsewhere,
                   QStringLiteral("%1 is keyed by another program").arg(link->name()), false);
        return;
    }
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

void HamlibKeyer::Worker::failed(const RigConnection::Result &result, Clock::time_point started)
{
    using Failure = RigConnection::Failure;
    confirmedState.reset();
    settingsFault = result.failure == Failure::Settings;
    if (result.failure == Failure::KeyedElsewhere) {
        // Nothing is written to it until it is released; its state is read from time to time.
        retryAt = link->checkDue();
        tellStatus(Link::KeyedElsewhere, result.text, false);
        return;
    }
    const Link now = result.failure == Failure::NoAnswer ? Link::NoAnswer : Link::NotConnected;
    // rigctld that does not answer is waited for at once (the attempt itself waited); a rig
    // that cannot be reached is tried again a second after the attempt began.
    retryAt = now == Link::NoAnswer ? Clock::now() + std::chrono::milliseconds(100)
                                    : started + std::chrono::milliseconds(RetryMs);
    // Said once, until it answers again; the status line follows a change of kind.
    if (now != state || !failureSaid) {
        tellStatus(now, result.text, !failureSaid);
        failureSaid = true;
    }
}

void HamlibKeyer::Worker::tellStatus(Link now, const QString &text, bool say)
{
    if (now == state && !say)
        return;
    post({Report::Status, generation, text, {}, now, false, say, false});
    state = now;
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
