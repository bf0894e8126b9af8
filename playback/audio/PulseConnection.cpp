// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/PulseConnection.h"
#include "station/Log.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#include <pulse/pulseaudio.h>

#include <thread>
#include <type_traits>

#include <algorithm>
#include <array>

const char *const PulseConnection::ClientName = "Voice Vocta";

struct PulseConnection::Snapshot
{
    QList<SoundEndpoint> sinks;
    QList<SoundEndpoint> sources;
    QString defaultSink;
    QString defaultSource;
};

struct PulseConnection::Private
{
    // Mainloop side (lock held).
    pa_context *context = nullptr;
    bool ready = false;
    quint64 attempt = 0;
    Snapshot snapshot; // being gathered
    int pending = 0; // queries of the snapshot still out
    bool refreshAgain = false;
    QString server; // the server's address once connected

    // Starts the mainloop; what it made, once joined.
    bool startAsked = false;
    std::thread starter;
    pa_threaded_mainloop *started = nullptr;

    // UI side.
    quint64 uiAttempt = 0;
    bool attemptRunning = false;
    bool retryingAfterChange = false;
    QString lastServer;
    QFileSystemWatcher *watcher = nullptr;
};

namespace {

// After the server's socket folder changes, the server may still be starting: tries again after
// these delays, then waits for the next change.
// A server under load may take seconds between making its socket and answering on it.
constexpr std::array<int, 6> RetryDelaysMs{100, 400, 1600, 3200, 6400, 12800};

QString text(const char *s)
{
    return s ? QString::fromUtf8(s) : QString();
}

} // namespace

PulseConnection::Lock::Lock(const PulseConnection &connection) : m_mainloop(connection.mainloop())
{
    if (m_mainloop)
        pa_threaded_mainloop_lock(m_mainloop);
}

PulseConnection::Lock::~Lock()
{
    if (m_mainloop)
        pa_threaded_mainloop_unlock(m_mainloop);
}

PulseConnection::PulseConnection(Start start, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    if (start == Start::Now)
        this->start();
}

void PulseConnection::start()
{
    if (d->startAsked)
        return;
    d->startAsked = true;
    d->starter = std::thread([this] { startMainloop(); });
}

void PulseConnection::startMainloop()
{
    // The first libpulse call opens the library.
    pa_threaded_mainloop *mainloop = pa_threaded_mainloop_new();
    // Named before it starts: once it runs, libpulse would name the calling thread instead.
    if (mainloop)
        pa_threaded_mainloop_set_name(mainloop, "vv-soundserver");
    if (mainloop && pa_threaded_mainloop_start(mainloop) < 0) {
        pa_threaded_mainloop_free(mainloop);
        mainloop = nullptr;
    }
    d->started = mainloop;
    QMetaObject::invokeMethod(this, &PulseConnection::adoptMainloop, Qt::QueuedConnection);
}

void PulseConnection::adoptMainloop()
{
    d->starter.join();
    m_mainloop.store(std::exchange(d->started, nullptr), std::memory_order_release);
    if (!mainloop()) {
        m_state = Unavailable;
        m_lastError = QStringLiteral("the sound server's client library cannot start");
        emit stateChanged(m_state);
        return;
    }
    connectToServer();
}

PulseConnection::~PulseConnection()
{
    if (d->starter.joinable())
        d->starter.join();
    if (d->started) { // started, but this went before it was adopted
        pa_threaded_mainloop_stop(d->started);
        pa_threaded_mainloop_free(d->started);
    }
    if (!mainloop())
        return;
    {
        Lock lock(*this);
        if (d->context) {
            pa_context_set_state_callback(d->context, nullptr, nullptr);
            pa_context_set_subscribe_callback(d->context, nullptr, nullptr);
            pa_context_disconnect(d->context);
            pa_context_unref(d->context);
            d->context = nullptr;
        }
    }
    // Nothing is posted to this object once the mainloop thread has ended.
    pa_threaded_mainloop_stop(mainloop());
    pa_threaded_mainloop_free(mainloop());
}

pa_context *PulseConnection::context() const
{
    return d->ready ? d->context : nullptr;
}

bool PulseConnection::hasSink(const QString &name) const
{
    return std::any_of(m_sinks.begin(), m_sinks.end(),
                       [&name](const SoundEndpoint &sink) { return sink.name == name; });
}

bool PulseConnection::hasSource(const QString &name) const
{
    return std::any_of(m_sources.begin(), m_sources.end(),
                       [&name](const SoundEndpoint &source) { return source.name == name; });
}

void PulseConnection::dropStream(pa_stream *&stream)
{
    if (!stream)
        return;
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    pa_stream_set_write_callback(stream, nullptr, nullptr);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_CREATING || state == PA_STREAM_READY)
        pa_stream_disconnect(stream);
    pa_stream_unref(stream);
    stream = nullptr;
}

void PulseConnection::connectToServer()
{
    if (!mainloop() || m_state == Ready || d->attemptRunning)
        return;
    d->attemptRunning = true;
    if (m_state != Connecting) {
        m_state = Connecting;
        emit stateChanged(m_state);
    }
    Lock lock(*this);
    beginAttempt();
    d->uiAttempt = d->attempt;
}

void PulseConnection::beginAttempt()
{
    if (d->context) {
        pa_context_set_state_callback(d->context, nullptr, nullptr);
        pa_context_set_subscribe_callback(d->context, nullptr, nullptr);
        pa_context_disconnect(d->context);
        pa_context_unref(d->context);
        d->context = nullptr;
    }
    ++d->attempt;
    d->ready = false;
    d->pending = 0;
    d->refreshAgain = false;

    pa_proplist *properties = pa_proplist_new();
    pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, ClientName);
    pa_proplist_sets(properties, PA_PROP_APPLICATION_ID, "voicevocta");
    d->context = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(mainloop()), ClientName,
                                              properties);
    pa_proplist_free(properties);
    if (!d->context) {
        const quint64 attempt = d->attempt;
        QMetaObject::invokeMethod(
            this,
            [this, attempt] {
                applyLost(attempt, QStringLiteral("the sound server's client cannot start"), false);
            },
            Qt::QueuedConnection);
        return;
    }
    pa_context_set_state_callback(d->context, &PulseConnection::contextStateCallback, this);
    // Never start a server of our own: where none runs, the program plays through SDL.
    pa_context_connect(d->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
}

void PulseConnection::contextStateCallback(pa_context *context, void *userdata)
{
    auto *self = static_cast<PulseConnection *>(userdata);
    Private &d = *self->d;
    if (context != d.context)
        return;
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY: {
        d.ready = true;
        d.server = text(pa_context_get_server(context));
        pa_context_set_subscribe_callback(
            context,
            [](pa_context *, pa_subscription_event_type_t event, uint32_t, void *userdata) {
                auto *self = static_cast<PulseConnection *>(userdata);
                const int facility = event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
                const int type = event & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
                // A sink or source that comes or goes, or new defaults; not the volume and state
                // changes that every play brings.
                if (facility == PA_SUBSCRIPTION_EVENT_SERVER
                    || type != PA_SUBSCRIPTION_EVENT_CHANGE)
                    self->refreshDevices();
            },
            self);
        const auto mask = pa_subscription_mask_t(
            PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER);
        pa_operation *operation = pa_context_subscribe(context, mask, nullptr, nullptr);
        if (operation)
            pa_operation_unref(operation);
        self->refreshDevices();
        break;
    }
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED: {
        const bool wasReady = d.ready;
        d.ready = false;
        const quint64 attempt = d.attempt;
        const QString error = text(pa_strerror(pa_context_errno(context)));
        QMetaObject::invokeMethod(
            self, [self, attempt, error, wasReady] { self->applyLost(attempt, error, wasReady); },
            Qt::QueuedConnection);
        break;
    }
    default:
        break;
    }
}

void PulseConnection::refreshDevices()
{
    if (!d->ready)
        return;
    if (d->pending > 0) {
        d->refreshAgain = true;
        return;
    }
    d->snapshot = {};
    d->pending = 3;
    auto done = [](PulseConnection *self) {
        if (--self->d->pending == 0)
            self->publishSnapshot();
    };
    // One entry of the sink list or of the source list, or its end.
    const auto listed = [](pa_context *, const auto *info, int eol, void *userdata) {
        auto *self = static_cast<PulseConnection *>(userdata);
        if (eol == 0 && info) {
            constexpr bool sink = std::is_same_v<std::decay_t<decltype(*info)>, pa_sink_info>;
            Snapshot &snapshot = self->d->snapshot;
            (sink ? snapshot.sinks : snapshot.sources)
                .append({text(info->name), text(info->description)});
            return;
        }
        if (--self->d->pending == 0)
            self->publishSnapshot();
    };
    pa_operation *operations[3] = {
        pa_context_get_server_info(
            d->context,
            [](pa_context *, const pa_server_info *info, void *userdata) {
                auto *self = static_cast<PulseConnection *>(userdata);
                if (info) {
                    self->d->snapshot.defaultSink = text(info->default_sink_name);
                    self->d->snapshot.defaultSource = text(info->default_source_name);
                }
                if (--self->d->pending == 0)
                    self->publishSnapshot();
            },
            this),
        pa_context_get_sink_info_list(d->context, listed, this),
        pa_context_get_source_info_list(d->context, listed, this),
    };
    for (pa_operation *operation : operations) {
        if (operation)
            pa_operation_unref(operation);
        else
            done(this); // the query could not be sent: the connection is failing
    }
}

void PulseConnection::publishSnapshot()
{
    const quint64 attempt = d->attempt;
    const Snapshot snapshot = d->snapshot;
    QMetaObject::invokeMethod(
        this, [this, attempt, snapshot] { applyReady(attempt, snapshot); }, Qt::QueuedConnection);
    if (d->refreshAgain) {
        d->refreshAgain = false;
        refreshDevices();
    }
}

void PulseConnection::applyReady(quint64 attempt, const Snapshot &snapshot)
{
    if (attempt != d->uiAttempt)
        return; // an attempt replaced since
    const bool devices = snapshot.sinks != m_sinks || snapshot.sources != m_sources
                         || snapshot.defaultSink != m_defaultSink
                         || snapshot.defaultSource != m_defaultSource;
    m_sinks = snapshot.sinks;
    m_sources = snapshot.sources;
    m_defaultSink = snapshot.defaultSink;
    m_defaultSource = snapshot.defaultSource;
    m_lastError.clear();
    m_retries = 0;
    d->retryingAfterChange = false;
    if (m_state != Ready) {
        d->attemptRunning = false;
        {
            Lock lock(*this);
            d->lastServer = d->server;
        }
        m_state = Ready;
        emit stateChanged(m_state);
    }
    if (devices)
        emit devicesChanged();
}

void PulseConnection::applyLost(quint64 attempt, const QString &error, bool wasReady)
{
    if (attempt != d->uiAttempt)
        return;
    d->attemptRunning = false;
    const bool devices = !m_sinks.isEmpty() || !m_sources.isEmpty() || !m_defaultSink.isEmpty()
                         || !m_defaultSource.isEmpty();
    m_sinks.clear();
    m_sources.clear();
    m_defaultSink.clear();
    m_defaultSource.clear();
    m_lastError = error;
    m_state = Unavailable;
    emit stateChanged(m_state);
    if (devices)
        emit devicesChanged();

    if (wasReady) {
        qCWarning(lcSound).noquote() << "The sound server went away:" << error;
        // A server that restarts at once (socket activation) is found again right away; one that
        // restarts before its socket folder is watched, by the tries that follow.
        d->retryingAfterChange = true;
        m_retries = 0;
        connectToServer();
        return;
    }
    watchSocketFolder();
    if (d->retryingAfterChange && m_retries < int(RetryDelaysMs.size()))
        QTimer::singleShot(RetryDelaysMs[size_t(m_retries++)], this, [this] {
            if (m_state == Unavailable)
                connectToServer();
        });
}

void PulseConnection::watchSocketFolder()
{
    // Where the server listens: where it was found last, else where libpulse looks first.
    QString socket = d->lastServer;
    if (socket.isEmpty())
        socket = qEnvironmentVariable("PULSE_SERVER");
    if (socket.startsWith(QLatin1String("unix:")))
        socket = socket.mid(5);
    if (socket.isEmpty() && !qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        socket = qEnvironmentVariable("XDG_RUNTIME_DIR") + QLatin1String("/pulse/native");
    if (!socket.startsWith(QLatin1Char('/')))
        return; // a network server, or several: found again by the next play

    const QFileInfo info(socket);
    QString folder = info.absolutePath();
    if (!QFileInfo(folder).isDir())
        folder = QFileInfo(folder).absolutePath();
    if (!QFileInfo(folder).isDir() || folder == QDir::rootPath())
        return;
    if (!d->watcher) {
        d->watcher = new QFileSystemWatcher(this);
        connect(d->watcher, &QFileSystemWatcher::directoryChanged, this,
                &PulseConnection::retryAfterChange);
    }
    if (!d->watcher->directories().isEmpty())
        d->watcher->removePaths(d->watcher->directories());
    d->watcher->addPath(folder);
}

void PulseConnection::retryAfterChange()
{
    if (m_state == Ready)
        return;
    // An attempt that runs now may come too early; its failure then tries again.
    d->retryingAfterChange = true;
    m_retries = 0;
    if (m_state == Unavailable)
        connectToServer();
}
