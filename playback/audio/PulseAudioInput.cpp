// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/PulseAudioInput.h"
#include "station/Log.h"

#include "playback/audio/PulseConnection.h"
#include "station/LogText.h"

#include <QDebug>
#include <QVector>

#include <pulse/pulseaudio.h>

#include <cstring>

PulseAudioInput::PulseAudioInput(PulseConnection &connection, QObject *parent)
    : AudioInput(parent), m_connection(connection)
{
    connect(&connection, &PulseConnection::stateChanged, this, &PulseAudioInput::connectionChanged);
}

PulseAudioInput::~PulseAudioInput()
{
    closeStream();
}

void PulseAudioInput::start(const QString &name)
{
    stop();
    ++m_run;
    m_running = true;
    m_name = name;
    qCDebug(lcSound).noquote() << "Recording: starts from"
                               << (name.isEmpty() ? QStringLiteral("the default input")
                                                  : LogText::quoted(name));
    switch (m_connection.state()) {
    case PulseConnection::Ready:
        openStream();
        break;
    case PulseConnection::Connecting:
        m_waiting = true;
        break;
    case PulseConnection::Unavailable:
        m_waiting = true;
        m_connection.connectToServer(); // a server that has come back is used again
        if (m_waiting && m_connection.state() == PulseConnection::Unavailable)
            connectionChanged();
        break;
    }
}

void PulseAudioInput::stop()
{
    ++m_run;
    m_running = false;
    m_waiting = false;
    closeStream();
}

void PulseAudioInput::connectionChanged()
{
    if (!m_waiting || m_connection.state() == PulseConnection::Connecting)
        return;
    m_waiting = false;
    if (m_connection.state() == PulseConnection::Ready)
        openStream();
    else
        fail(m_run, QStringLiteral("no sound server answers"));
}

void PulseAudioInput::openStream()
{
    if (!m_name.isEmpty() && !m_connection.hasSource(m_name)) {
        fail(m_run,
             QStringLiteral("the sound input %1 is not available").arg(LogText::quoted(m_name)));
        return;
    }
    QString error;
    {
        PulseConnection::Lock lock(m_connection);
        pa_context *context = m_connection.context();
        if (!context) {
            error = QStringLiteral("no sound server answers");
        } else {
            // The rate is the source's own (FIX_RATE); this one only stands in until then.
            const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, 48000, 1};
            pa_proplist *properties = pa_proplist_new();
            pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, PulseConnection::ClientName);
            pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, PulseConnection::ClientName);
            m_stream = pa_stream_new_with_proplist(context, PulseConnection::ClientName, &spec,
                                                   nullptr, properties);
            pa_proplist_free(properties);
            if (m_stream) {
                m_streamRun = m_run;
                pa_stream_set_state_callback(m_stream, &PulseAudioInput::stateCallback, this);
                pa_stream_set_read_callback(m_stream, &PulseAudioInput::readCallback, this);
                pa_buffer_attr attributes;
                std::memset(&attributes, 0xff, sizeof attributes);
                attributes.fragsize
                    = uint32_t(pa_usec_to_bytes(pa_usec_t(BlockMs) * PA_USEC_PER_MSEC, &spec));
                // Never moved to another input, not even from the default one: a take goes on
                // only from the microphone it began with.
                const int flags
                    = PA_STREAM_ADJUST_LATENCY | PA_STREAM_FIX_RATE | PA_STREAM_DONT_MOVE;
                m_streamSource = m_name;
                const QByteArray name = m_name.toUtf8();
                if (pa_stream_connect_record(m_stream, name.isEmpty() ? nullptr : name.constData(),
                                             &attributes, pa_stream_flags_t(flags))
                    < 0)
                    error = QString::fromUtf8(pa_strerror(pa_context_errno(context)));
            } else {
                error = QString::fromUtf8(pa_strerror(pa_context_errno(context)));
            }
        }
    }
    if (!error.isEmpty())
        fail(m_run, error);
}

void PulseAudioInput::closeStream()
{
    PulseConnection::Lock lock(m_connection);
    PulseConnection::dropStream(m_stream);
}

void PulseAudioInput::fail(quint64 run, const QString &reason)
{
    if (run != m_run || !m_running)
        return;
    m_running = false;
    m_waiting = false;
    closeStream();
    qCWarning(lcSound).noquote() << "Recording failed:" << reason;
    emit failed(reason);
}

void PulseAudioInput::stateCallback(pa_stream *stream, void *self)
{
    auto *input = static_cast<PulseAudioInput *>(self);
    const quint64 run = input->m_streamRun;
    switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY: {
        const int rate = int(pa_stream_get_sample_spec(stream)->rate);
        qCDebug(lcSound) << "Recording: the stream is ready at" << rate << "Hz";
        if (const char *source = pa_stream_get_device_name(stream))
            input->m_streamSource = QString::fromUtf8(source); // the default's own name
        QMetaObject::invokeMethod(
            input,
            [input, run, rate] {
                if (run == input->m_run && input->m_running)
                    emit input->started(rate);
            },
            Qt::QueuedConnection);
        break;
    }
    case PA_STREAM_FAILED:
    case PA_STREAM_TERMINATED: {
        pa_context *context = pa_stream_get_context(stream);
        QString reason;
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
            reason = QStringLiteral("the sound server went away");
        else if (!input->m_streamSource.isEmpty())
            reason = QStringLiteral("the sound input %1 went away")
                         .arg(LogText::quoted(input->m_streamSource));
        else
            reason = QString::fromUtf8(pa_strerror(pa_context_errno(context)));
        QMetaObject::invokeMethod(
            input, [input, run, reason] { input->fail(run, reason); }, Qt::QueuedConnection);
        break;
    }
    default:
        break;
    }
}

void PulseAudioInput::readCallback(pa_stream *stream, size_t, void *self)
{
    auto *input = static_cast<PulseAudioInput *>(self);
    const quint64 run = input->m_streamRun;
    QVector<float> block;
    const void *data = nullptr;
    size_t bytes = 0;
    while (pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
        const qsizetype samples = qsizetype(bytes / sizeof(float));
        const qsizetype at = block.size();
        block.resize(at + samples);
        if (data)
            std::memcpy(block.data() + at, data, size_t(samples) * sizeof(float));
        else
            std::fill(block.begin() + at, block.end(), 0.0f); // a hole: nothing was recorded
        pa_stream_drop(stream);
    }
    if (block.isEmpty())
        return;
    QMetaObject::invokeMethod(
        input,
        [input, run, block] {
            if (run == input->m_run && input->m_running)
                emit input->samples(block);
        },
        Qt::QueuedConnection);
}
