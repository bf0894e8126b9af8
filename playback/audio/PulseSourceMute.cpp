// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/audio/PulseSourceMute.h"
#include "station/Log.h"

#include "playback/audio/PulseConnection.h"
#include "station/LogText.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QSet>
#include <QThread>

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <vector>

struct PulseSourceMute::Private
{
    Private(PulseSourceMute *owner, PulseConnection &connection)
        : owner(owner), connection(connection)
    { }

    // A question to the server about one source, answered on the mainloop thread.
    struct Call
    {
        enum Kind { Query, Mute, Unmute };
        Private *owner;
        Kind kind;
        QString source;
        quint64 generation = 0; // the mute it belongs to
        pa_operation *operation = nullptr;
        bool found = false; // Query: the server knows the source
        bool wasMuted = false; // Query: it was muted already
    };

    // A source muted here, until the server confirms it unmuted.
    struct Muted
    {
        QString source;
        quint64 generation;
    };

    // All of it with the mainloop locked.
    void update();
    bool inFlight(Call::Kind kind, const QString &name) const;
    void send(Call::Kind kind, const QString &name, quint64 generation = 0);
    void answered(Call *call, bool success);
    void say(const QString &text);
    QString errorText() const;
    void announce(quint64 toMute = 0);
    void muteAnnounced(quint64 generation);
    // Whether this keying's mute has its answer (see SourceMute::isSettled); told to the UI
    // thread when it becomes so.
    bool settledNow() const;
    void tellSettled();

    PulseSourceMute *owner;
    PulseConnection &connection;
    QStringList announced; // on the UI thread
    QString source;
    bool keyed = false;
    bool leftAlone = false; // this keying leaves the source alone (muted already, or absent)
    bool mutedNow = false; // muted.back() is this keying's
    bool muteConfirmed = false; // and the server confirmed it muted
    bool settledSaid = true;
    quint64 generation = 0;
    std::vector<Muted> muted;
    std::vector<std::unique_ptr<Call>> calls;
    QString said;
};

bool PulseSourceMute::Private::inFlight(Call::Kind kind, const QString &name) const
{
    return std::any_of(calls.begin(), calls.end(), [&](const std::unique_ptr<Call> &call) {
        return call->kind == kind && call->source == name;
    });
}

void PulseSourceMute::Private::update()
{
    // A server that went away drops its questions unanswered.
    std::erase_if(calls, [](const std::unique_ptr<Call> &call) {
        if (pa_operation_get_state(call->operation) == PA_OPERATION_RUNNING)
            return false;
        pa_operation_unref(call->operation);
        return true;
    });
    if (mutedNow && (!keyed || muted.back().source != source))
        mutedNow = false; // the keying ended, or another source takes its place
    if (!mutedNow)
        muteConfirmed = false;
    if (!keyed)
        leftAlone = false;
    if (!connection.context())
        return; // all of it once the server answers again

    const QString keep = mutedNow ? muted.back().source : QString();
    QSet<QString> asked;
    for (auto it = muted.rbegin(); it != muted.rend(); ++it) {
        if (it->source == keep || asked.contains(it->source))
            continue;
        asked.insert(it->source);
        if (!inFlight(Call::Unmute, it->source) && !inFlight(Call::Mute, it->source))
            send(Call::Unmute, it->source, it->generation);
    }
    if (keyed && !source.isEmpty() && !mutedNow && !leftAlone && !inFlight(Call::Query, source))
        send(Call::Query, source);
}

void PulseSourceMute::Private::send(Call::Kind kind, const QString &name, quint64 generation)
{
    static const char *const asks[] = {"whether it is muted", "to mute it", "to unmute it"};
    qCDebug(lcSound).noquote() << "Microphone: asks the server about" << LogText::quoted(name)
                               << asks[kind];
    auto call = std::make_unique<Call>(Call{this, kind, name, generation});
    pa_context *context = connection.context();
    const QByteArray bytes = name.toUtf8();
    if (kind == Call::Query) {
        call->operation = pa_context_get_source_info_by_name(
            context, bytes.constData(),
            [](pa_context *, const pa_source_info *info, int eol, void *userdata) {
                auto *call = static_cast<Call *>(userdata);
                if (eol == 0 && info) {
                    call->found = true;
                    call->wasMuted = info->mute != 0;
                    return;
                }
                call->owner->answered(call, call->found);
            },
            call.get());
    } else {
        call->operation = pa_context_set_source_mute_by_name(
            context, bytes.constData(), kind == Call::Mute ? 1 : 0,
            [](pa_context *, int success, void *userdata) {
                auto *call = static_cast<Call *>(userdata);
                call->owner->answered(call, success != 0);
            },
            call.get());
    }
    if (call->operation)
        calls.push_back(std::move(call));
}

void PulseSourceMute::Private::answered(Call *call, bool success)
{
    const QString name = call->source;
    qCDebug(lcSound).noquote() << "Microphone: the server answers about" << LogText::quoted(name)
                               << (success ? "(done)" : "(failed)");
    // A failed unmute waits for the server or the source to answer again, rather than being
    // sent again at once.
    const bool again = call->kind != Call::Unmute || success;
    const bool forThisKeying = keyed && name == source && !mutedNow && !leftAlone;
    switch (call->kind) {
    case Call::Query:
        if (!success) {
            if (forThisKeying)
                leftAlone = true;
            say(QStringLiteral("Cannot mute the microphone %1: it is not available")
                    .arg(LogText::quoted(name)));
        } else if (call->wasMuted) {
            if (forThisKeying)
                leftAlone = true; // muted before: it stays as it is
        } else if (forThisKeying) {
            muted.push_back({name, ++generation});
            mutedNow = true;
            announce(generation);
        }
        break;
    case Call::Mute:
        if (!success) {
            // Never muted, so nothing to put back.
            const quint64 failed = call->generation;
            if (mutedNow && muted.back().generation == failed) {
                mutedNow = false;
                leftAlone = true;
            }
            std::erase_if(muted,
                          [failed](const Muted &entry) { return entry.generation == failed; });
            announce();
            say(QStringLiteral("Cannot mute the microphone %1: %2")
                    .arg(LogText::quoted(name), errorText()));
        } else {
            said.clear();
            if (mutedNow && muted.back().generation == call->generation)
                muteConfirmed = true;
        }
        break;
    case Call::Unmute:
        // A failure keeps it to be put back when the server or the source answers again.
        if (success) {
            const quint64 upTo = call->generation;
            const quint64 now = mutedNow ? muted.back().generation : 0;
            std::erase_if(muted, [&](const Muted &entry) {
                return entry.source == name && entry.generation <= upTo && entry.generation != now;
            });
            announce();
        }
        break;
    }
    const auto it
        = std::find_if(calls.begin(), calls.end(),
                       [call](const std::unique_ptr<Call> &c) { return c.get() == call; });
    if (it != calls.end()) {
        pa_operation_unref((*it)->operation);
        calls.erase(it);
    }
    if (again)
        update();
    tellSettled();
}

bool PulseSourceMute::Private::settledNow() const
{
    return !keyed || source.isEmpty() || !connection.context() || leftAlone
           || (mutedNow && muteConfirmed);
}

void PulseSourceMute::Private::tellSettled()
{
    const bool settled = settledNow();
    if (settled == settledSaid)
        return;
    settledSaid = settled;
    if (settled)
        QMetaObject::invokeMethod(
            owner, [owner = owner] { emit owner->settled(); }, Qt::QueuedConnection);
}

// Tells the UI thread what is muted here (for the guard); with `toMute`, that keying's mute is
// asked of the server only after that, so that the guard always knows of a source before it is
// muted.
void PulseSourceMute::Private::announce(quint64 toMute)
{
    QStringList sources;
    for (const Muted &entry : muted)
        if (!sources.contains(entry.source))
            sources << entry.source;
    QMetaObject::invokeMethod(
        owner,
        [owner = owner, sources, toMute] {
            if (sources != owner->d->announced) {
                owner->d->announced = sources;
                emit owner->mutedSourcesChanged(sources);
            }
            if (toMute)
                owner->d->muteAnnounced(toMute);
        },
        Qt::QueuedConnection);
}

void PulseSourceMute::Private::muteAnnounced(quint64 muteGeneration)
{
    PulseConnection::Lock lock(connection);
    // The keying may have ended meanwhile (the source is then being put back), or the server gone.
    if (mutedNow && muted.back().generation == muteGeneration && connection.context())
        send(Call::Mute, muted.back().source, muteGeneration);
}

QString PulseSourceMute::Private::errorText() const
{
    pa_context *context = connection.context();
    return context ? QString::fromUtf8(pa_strerror(pa_context_errno(context)))
                   : QStringLiteral("the sound server went away");
}

void PulseSourceMute::Private::say(const QString &text)
{
    if (text == said)
        return;
    said = text;
    qCWarning(lcSound).noquote() << text;
}

PulseSourceMute::PulseSourceMute(PulseConnection &connection, QObject *parent)
    : SourceMute(parent), d(std::make_unique<Private>(this, connection))
{
    // A server or a source that comes back gets back what was muted here.
    const auto retry = [this] {
        PulseConnection::Lock lock(d->connection);
        d->update();
        d->tellSettled();
    };
    connect(&connection, &PulseConnection::stateChanged, this, retry);
    connect(&connection, &PulseConnection::devicesChanged, this, retry);
}

PulseSourceMute::~PulseSourceMute()
{
    {
        PulseConnection::Lock lock(d->connection);
        d->keyed = false;
        d->update();
    }
    // What was muted here is put back before the program ends.
    const QDeadlineTimer deadline(ShutdownWaitMs);
    for (;;) {
        {
            PulseConnection::Lock lock(d->connection);
            const bool waiting = std::any_of(
                d->calls.begin(), d->calls.end(), [](const std::unique_ptr<Private::Call> &call) {
                    return pa_operation_get_state(call->operation) == PA_OPERATION_RUNNING;
                });
            if (!waiting || deadline.hasExpired()) {
                for (const Private::Muted &entry : d->muted)
                    qCWarning(lcSound).noquote()
                        << QStringLiteral("The microphone %1 may still be muted: the sound "
                                          "server did not answer")
                               .arg(LogText::quoted(entry.source));
                for (const auto &call : d->calls) {
                    pa_operation_cancel(call->operation);
                    pa_operation_unref(call->operation);
                }
                d->calls.clear();
                return;
            }
        }
        QThread::msleep(2);
    }
}

void PulseSourceMute::setSource(const QString &name)
{
    PulseConnection::Lock lock(d->connection);
    d->source = name;
    d->update();
    d->tellSettled();
}

void PulseSourceMute::setMessageKeyed(bool keyed)
{
    PulseConnection::Lock lock(d->connection);
    d->keyed = keyed;
    d->update();
    d->tellSettled();
}

bool PulseSourceMute::isSettled() const
{
    PulseConnection::Lock lock(d->connection);
    return d->settledNow();
}
