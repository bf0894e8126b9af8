// SPDX-License-Identifier: GPL-3.0-or-later
// The sound server's outputs (sinks) and inputs (sources), and its defaults: asked for whenever the
// server says that they changed, and handed to the UI thread whole.

#include "playback/audio/PulseConnection.h"
#include "station/Log.h"

#include "playback/audio/PulseConnectionPrivate.h"

#include <QDebug>

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <type_traits>

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

void PulseConnection::watchDevices()
{
    pa_context_set_subscribe_callback(
        d->context,
        [](pa_context *, pa_subscription_event_type_t event, uint32_t, void *userdata) {
            auto *self = static_cast<PulseConnection *>(userdata);
            const int facility = event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
            const int type = event & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
            // A sink or source that comes or goes, or new defaults; not the volume and state
            // changes that every play brings.
            if (facility == PA_SUBSCRIPTION_EVENT_SERVER || type != PA_SUBSCRIPTION_EVENT_CHANGE)
                self->refreshDevices();
        },
        this);
    const auto mask = pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE
                                             | PA_SUBSCRIPTION_MASK_SERVER);
    pa_operation *operation = pa_context_subscribe(d->context, mask, nullptr, nullptr);
    if (operation)
        pa_operation_unref(operation);
    refreshDevices();
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
    // One entry of the sink list or of the source list, or its end.
    const auto listed = [](pa_context *, const auto *info, int eol, void *userdata) {
        auto *self = static_cast<PulseConnection *>(userdata);
        if (eol == 0 && info) {
            constexpr bool sink = std::is_same_v<std::decay_t<decltype(*info)>, pa_sink_info>;
            Snapshot &snapshot = self->d->snapshot;
            (sink ? snapshot.sinks : snapshot.sources)
                .append({Private::text(info->name), Private::text(info->description)});
            return;
        }
        self->queryAnswered();
    };
    pa_operation *operations[3] = {
        pa_context_get_server_info(
            d->context,
            [](pa_context *, const pa_server_info *info, void *userdata) {
                auto *self = static_cast<PulseConnection *>(userdata);
                if (info) {
                    self->d->snapshot.defaultSink = Private::text(info->default_sink_name);
                    self->d->snapshot.defaultSource = Private::text(info->default_source_name);
                }
                self->queryAnswered();
            },
            this),
        pa_context_get_sink_info_list(d->context, listed, this),
        pa_context_get_source_info_list(d->context, listed, this),
    };
    for (pa_operation *operation : operations) {
        if (operation)
            pa_operation_unref(operation);
        else
            queryAnswered(); // the query could not be sent: the connection is failing
    }
}

void PulseConnection::queryAnswered()
{
    if (--d->pending == 0)
        publishSnapshot();
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
