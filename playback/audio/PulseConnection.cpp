// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/PulseConnection.h"
#include "station/Log.h"

#include "playback/audio/PulseConnectionPrivate.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#include <pulse/pulseaudio.h>

#include <array>
#include <thread>
#include <utility>

const char *const PulseConnection::ClientName = "Voice Vocta";

namespace {

// After the server's socket folder changes, the server may still be starting: tries again after
// these delays, then waits for the next change.
// A server under load may take seconds between making its socket and answering on it.
constexpr std::array<int, 6> RetryDelaysMs{100, 400, 1600, 3200, 6400, 12800};

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
        d->dropContext();
    }
    // Nothing is posted to this object once the mainloop thread has ended.
    pa_threaded_mainloop_stop(mainloop());
    pa_threaded_mainloop_free(mainloop());
}

pa_context *PulseConnection::context() const
{
    return d->ready ? d->context : nullptr;
}

void PulseConnection::Private::dropContext()
{
    if (!context)
        return;
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_set_subscribe_callback(context, nullptr, nullptr);
    pa_context_disconnect(context);
    pa_context_unref(context);
    context = nullptr;
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
    d->dropContext();
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
    case PA_CONTEXT_READY:
        d.ready = true;
        d.server = Private::text(pa_context_get_server(context));
        qCDebug(lcSound).noquote() << "Sound server: ready at" << d.server;
        self->watchDevices();
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED: {
        const bool wasReady = d.ready;
        d.ready = false;
        const quint64 attempt = d.attempt;
        const QString error = Private::text(pa_strerror(pa_context_errno(context)));
        QMetaObject::invokeMethod(
            self, [self, attempt, error, wasReady] { self->applyLost(attempt, error, wasReady); },
            Qt::QueuedConnection);
        break;
    }
    default:
        break;
    }
}

void PulseConnection::applyLost(quint64 attempt, const QString &error, bool wasReady)
{
    if (attempt != d->uiAttempt)
        return;
    qCDebug(lcSound).noquote() << "Sound server: unavailable:" << error;
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
