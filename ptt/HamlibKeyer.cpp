// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/HamlibKeyer.h"
#include "station/Log.h"

#include "ptt/HamlibRig.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

// What the UI thread and the keyer's thread share. The UI thread writes the requests, the
// thread carries them out and posts what came of them to `receiver` while it lives.
struct HamlibKeyer::Channel
{
    std::mutex mutex;
    std::condition_variable wake; // a request for the thread
    std::condition_variable done; // the thread has ended

    quint64 openGeneration = 0; // counts open() calls
    HamlibSettings settings; // of the latest open()
    bool wanted = false; // the latest keying request
    quint64 wantedSerial = 0; // counts keying requests
    bool quit = false;

    bool finished = false;
    bool released = false; // the transmitter was released at the end

    // Guards only `receiver`, so that a request never waits while a report is posted.
    std::mutex receiverMutex;
    HamlibKeyer *receiver = nullptr;
};

struct HamlibKeyer::Report
{
    enum Kind { Opened, OpenFailed, Lost, Answers, Confirmed };
    Kind kind;
    quint64 generation; // of the open() that the report belongs to
    QString text;
    bool onAir = false;
};

HamlibKeyer::HamlibKeyer(const HamlibSettings &settings, QObject *parent)
    : PttKeyer(parent)
    , m_settings(settings)
    , m_channel(std::make_shared<Channel>())
    , m_status(QStringLiteral("Not connected"))
{
    HamlibRig::setUpLibrary(); // here on the UI thread, before the keyer's thread exists
    m_channel->receiver = this;
    m_thread = std::thread(&HamlibKeyer::work, m_channel);
}

HamlibKeyer::~HamlibKeyer()
{
    stop();
    // The thread releases the transmitter and lets the rig go on its own time.
    if (m_thread.joinable())
        m_thread.detach();
}

void HamlibKeyer::open()
{
    if (m_shutDown)
        return;
    {
        std::lock_guard lock(m_channel->mutex);
        m_generation = ++m_channel->openGeneration;
        m_channel->settings = m_settings;
    }
    m_channel->wake.notify_one();

    m_status = QStringLiteral("Connecting to %1...").arg(HamlibRig::plainName(m_settings));
    m_ready = false;
    QMetaObject::invokeMethod(
        this,
        [this, text = m_status] {
            // The thread's answer may have come first: a later status is never overwritten.
            if (!m_shutDown && m_status == text && !m_ready)
                emit statusChanged(text, false);
        },
        Qt::QueuedConnection);
}

void HamlibKeyer::setOnAir(bool onAir)
{
    if (m_shutDown)
        return;
    {
        std::lock_guard lock(m_channel->mutex);
        m_channel->wanted = onAir;
        ++m_channel->wantedSerial;
    }
    m_channel->wake.notify_one();
}

void HamlibKeyer::shutdown(int milliseconds)
{
    if (m_shutDown)
        return;
    stop();
    bool finished = false;
    bool released = false;
    {
        std::unique_lock lock(m_channel->mutex);
        finished
            = m_channel->done.wait_for(lock, std::chrono::milliseconds(std::max(0, milliseconds)),
                                       [this] { return m_channel->finished; });
        released = m_channel->released;
    }
    if (finished)
        m_thread.join();
    else
        m_thread.detach(); // it goes on releasing for as long as the program lives
    // A rig already said to be unusable is not said again.
    if (m_ready && !released) {
        QString text = QStringLiteral("PTT: %1 did not confirm the release").arg(m_name);
        if (!finished)
            text += QStringLiteral(" within %1 ms").arg(milliseconds);
        qCWarning(lcVocta).noquote() << text;
    }
    m_ready = false;
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
    m_channel->wake.notify_one();
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
    if (report.kind == Report::Confirmed) {
        emit confirmed(report.onAir);
        return;
    }
    if (report.generation != m_generation)
        return; // about a connection that a later open() has replaced
    switch (report.kind) {
    case Report::Opened:
        m_name = report.text;
        setStatus(QStringLiteral("Connected to %1").arg(report.text), true);
        break;
    case Report::OpenFailed:
    case Report::Lost:
        qCWarning(lcVocta).noquote() << "PTT:" << report.text;
        setStatus(report.text, false);
        break;
    case Report::Answers:
        qCWarning(lcVocta).noquote() << QStringLiteral("PTT: %1 answers again").arg(report.text);
        setStatus(QStringLiteral("Connected to %1").arg(report.text), true);
        break;
    case Report::Confirmed:
        break;
    }
}

void HamlibKeyer::setStatus(const QString &text, bool ready)
{
    if (text == m_status && ready == m_ready)
        return;
    m_status = text;
    m_ready = ready;
    emit statusChanged(text, ready);
}

// The keyer's thread: opens the rig, carries out the latest keying request, and at the end
// releases the transmitter and lets the rig go.
void HamlibKeyer::work(std::shared_ptr<Channel> channel)
{
    HamlibRig rig;
    quint64 openSeen = 0;
    quint64 wantedSeen = 0;
    quint64 generation = 0;
    bool applyAfterOpen = false;
    bool answering = false;
    // What the rig confirmed last on this connection. A request for the same again is not sent:
    // a release takes the rig about 100 ms, and a keying asked meanwhile would wait behind it.
    std::optional<bool> confirmedNow;

    for (;;) {
        HamlibSettings settings;
        bool opening = false;
        bool wanted = false;
        {
            std::unique_lock lock(channel->mutex);
            channel->wake.wait(lock, [&] {
                return channel->quit || channel->openGeneration != openSeen
                       || channel->wantedSerial != wantedSeen || applyAfterOpen;
            });
            if (channel->quit)
                break;
            if (channel->openGeneration != openSeen) {
                opening = true;
                openSeen = generation = channel->openGeneration;
                settings = channel->settings;
            } else {
                wanted = channel->wanted;
                wantedSeen = channel->wantedSerial;
                applyAfterOpen = false;
            }
        }

        if (opening) {
            if (rig.isOpen()) {
                QString ignored;
                rig.setPtt(false, &ignored);
                rig.close();
            }
            QString failure;
            confirmedNow.reset();
            answering = rig.open(settings, &failure);
            if (answering)
                post(*channel, {Report::Opened, generation, rig.name()});
            else
                post(*channel, {Report::OpenFailed, generation, failure});
            // The latest request, made before or while it opened, now reaches the rig.
            applyAfterOpen = answering;
            continue;
        }

        if (!rig.isOpen())
            continue; // kept for the next open
        if (answering && confirmedNow == wanted)
            continue;
        QString failure;
        if (rig.setPtt(wanted, &failure)) {
            confirmedNow = wanted;
            if (!answering)
                post(*channel, {Report::Answers, generation, rig.name()});
            answering = true;
            post(*channel, {Report::Confirmed, generation, QString(), wanted});
        } else if (answering) {
            confirmedNow.reset();
            answering = false;
            post(*channel, {Report::Lost, generation, failure});
        }
    }

    // The end: the transmitter released first, as closing the rig does not release it.
    bool released = true;
    if (rig.isOpen()) {
        QString ignored;
        released = rig.setPtt(false, &ignored);
        rig.close();
    }
    {
        std::lock_guard lock(channel->mutex);
        channel->finished = true;
        channel->released = released;
    }
    channel->done.notify_all();
}
