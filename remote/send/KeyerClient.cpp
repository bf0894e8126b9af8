// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/send/KeyerClient.h"

#include "playback/kit/KitText.h"
#include "remote/KeyerBus.h"
#include "station/AppState.h"
#include "station/LogText.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDateTime>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int CallTimeoutMs = 10000;
const QString Playing = QStringLiteral("playing");
const QString NoKeyerRunning = QStringLiteral("no Voice Vocta keyer is running on the session bus");

void say(const QString &line)
{
    std::fputs(("voicevocta-send: " + line + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
}

QString propertyText(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

// The bus's answer when no program holds the keyer's name.
bool noKeyer(const QDBusError &error)
{
    return error.type() == QDBusError::ServiceUnknown
           || error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

} // namespace

KeyerClient::KeyerClient(const QDBusConnection &bus, QObject *parent) : QObject(parent), m_bus(bus)
{ }

bool KeyerClient::call(const char *member, const QVariantList &arguments, QDBusMessage *reply,
                       int *status, bool quietIfUnknown)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QLatin1String(KeyerBus::Service), QLatin1String(KeyerBus::Path),
        QLatin1String(KeyerBus::Interface), QLatin1String(member));
    message.setArguments(arguments);
    *reply = m_bus.call(message, QDBus::Block, CallTimeoutMs);
    if (reply->type() == QDBusMessage::ReplyMessage)
        return true;
    const QDBusError error(*reply);
    if (noKeyer(error)) {
        say(NoKeyerRunning);
        *status = NoKeyer;
        return false;
    }
    switch (error.type()) {
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        say(QStringLiteral("the keyer does not answer"));
        *status = NoKeyer;
        break;
    case QDBusError::UnknownMethod:
    case QDBusError::UnknownInterface:
        if (quietIfUnknown) {
            *status = NotSupported;
            break;
        }
        say(QStringLiteral("not supported by this keyer (it has no %1)")
                .arg(QLatin1String(member)));
        *status = Refused;
        break;
    default:
        say(QStringLiteral("the keyer refused %1: %2")
                .arg(QLatin1String(member), LogText::quoted(error.message())));
        *status = Refused;
        break;
    }
    return false;
}

// A request that keys, with the time it is sent: the keyer refuses it should it come too late
// (the caller gave up on it). A keyer without the timed request gets the plain one.
bool KeyerClient::callSent(const char *member, QVariantList arguments, QDBusMessage *reply,
                           int *status)
{
    m_sentMs = QDateTime::currentMSecsSinceEpoch();
    QVariantList timed = arguments;
    timed.insert(1, m_sentMs);
    int timedStatus = Done;
    if (call((QByteArray(member) + "SentAt").constData(), timed, reply, &timedStatus, true))
        return true;
    if (timedStatus != NotSupported) {
        *status = timedStatus;
        return false;
    }
    return call(member, arguments, reply, status);
}

bool KeyerClient::properties(QVariantMap *values, int *status)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QLatin1String(KeyerBus::Service), QLatin1String(KeyerBus::Path),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    message << QLatin1String(KeyerBus::Interface);
    const QDBusMessage reply = m_bus.call(message, QDBus::Block, CallTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        *values = qdbus_cast<QVariantMap>(reply.arguments().value(0));
        return true;
    }
    if (noKeyer(QDBusError(reply)))
        say(NoKeyerRunning);
    else
        say(QStringLiteral("the keyer does not answer: ") + QDBusError(reply).message());
    *status = NoKeyer;
    return false;
}

int KeyerClient::run(const SendArguments &request)
{
    if (!m_bus.isConnected()) {
        say(QStringLiteral("no session bus here, so no keyer: %1")
                .arg(m_bus.lastError().message()));
        return NoKeyer;
    }
    int result = Done;
    QDBusMessage reply;
    switch (request.command) {
    case SendArguments::Command::Status:
        return status();
    case SendArguments::Command::Stop:
        call("Stop", {}, &reply, &result);
        return result;
    case SendArguments::Command::Lock:
        if (!request.on) {
            call("SetLock", {request.on}, &reply, &result);
            return result;
        }
        if (callSent("SetLock", {request.on}, &reply, &result)
            && reply.signature() == QLatin1String("b") && !reply.arguments().value(0).toBool()) {
            say(QStringLiteral("refused: it reached the keyer too late"));
            return Refused;
        }
        return result;
    case SendArguments::Command::Standby:
        call("SetStandby", {request.on}, &reply, &result);
        return result;
    case SendArguments::Command::Focus:
        if (call("SetFocus", {request.radio}, &reply, &result)
            && !reply.arguments().value(0).toBool()) {
            say(QStringLiteral("refused: there is no radio %1").arg(request.radio));
            return Refused;
        }
        return result;
    case SendArguments::Command::Play:
    case SendArguments::Command::File:
    case SendArguments::Command::Say:
        return startMessage(request);
    case SendArguments::Command::Help:
        break;
    }
    return Done;
}

int KeyerClient::status()
{
    QVariantMap values;
    int result = Done;
    if (!properties(&values, &result))
        return result;
    // The four a logger wants first, then the others the keyer has.
    const QStringList first{"State", "Memory", "OnAir", "Keyer"};
    QString text;
    for (const QString &name : first)
        text += name.toLower() + QLatin1Char('=')
                + (values.contains(name) ? propertyText(values.value(name))
                                         : QStringLiteral("unknown"))
                + QLatin1Char('\n');
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (!first.contains(it.key()))
            text += it.key().toLower() + QLatin1Char('=') + propertyText(it.value())
                    + QLatin1Char('\n');
    }
    std::fputs(text.toUtf8().constData(), stdout);
    return Done;
}

int KeyerClient::startMessage(const SendArguments &request)
{
    int result = Done;
    QVariantMap before;
    if (request.wait) {
        // Listening to the keyer (the program that holds the name now; a copy waiting for the
        // name has its own station) before asking, so that no change of the message is missed.
        const QString keyer
            = m_bus.interface()->serviceOwner(QLatin1String(KeyerBus::Service)).value();
        if (keyer.isEmpty()) {
            say(NoKeyerRunning);
            return NoKeyer;
        }
        m_bus.connect(keyer, QLatin1String(KeyerBus::Path), QLatin1String(KeyerBus::Interface),
                      QStringLiteral("Changed"), this, SLOT(changed(QString, int, bool)));
        auto *watcher = new QDBusServiceWatcher(QLatin1String(KeyerBus::Service), m_bus,
                                                QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &KeyerClient::keyerGone);
        if (!properties(&before, &result))
            return result;
    }

    QDBusMessage reply;
    bool ok = false;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    switch (request.radio != 0 ? SendArguments::Command::Focus : request.command) {
    case SendArguments::Command::Focus: // on the radio asked for
        m_sentMs = now;
        if (request.command == SendArguments::Command::Play)
            ok = call("PlayOnSentAt", {request.memory, request.radio, now}, &reply, &result);
        else if (request.command == SendArguments::Command::File)
            ok = call("PlayFileOn", {request.path, request.radio, now}, &reply, &result);
        else
            ok = call("PlayTextOn", {request.text, request.radio, now}, &reply, &result);
        break;
    case SendArguments::Command::Play:
        ok = callSent("Play", {request.memory}, &reply, &result);
        break;
    case SendArguments::Command::File:
        ok = callSent("PlayFile", {request.path}, &reply, &result);
        break;
    default:
        ok = callSent("PlayText", {request.text}, &reply, &result);
        break;
    }
    if (!ok)
        return result;
    const QVariantList answer = reply.arguments();
    if (!answer.value(0).toBool()) {
        say(QStringLiteral("refused: ") + refusalReason(request, answer));
        return Refused;
    }
    if (!request.wait)
        return Done;
    // Play on the memory that plays (or waits for its repeat) stops it, as its click does.
    if (request.command == SendArguments::Command::Play
        && before.value(QStringLiteral("State")).toString() != QLatin1String("idle")
        && before.value(QStringLiteral("Memory")).toInt() == request.memory) {
        say(QStringLiteral("memory %1 was playing: it is stopped").arg(request.memory));
        return Stopped;
    }
    return waitForEnd();
}

QString KeyerClient::refusalReason(const SendArguments &request, const QVariantList &answer)
{
    // The keyer refuses what reaches it too late: its caller would have given up on it.
    const qint64 took = QDateTime::currentMSecsSinceEpoch() - m_sentMs;
    if (m_sentMs > 0 && took > 2000)
        return QStringLiteral("it reached the keyer too late (its answer took %1 s)")
            .arg(took / 1000.0, 0, 'f', 1);
    // PlayText says what the kit lacks, and how long the message would last.
    const QStringList missing = answer.value(1).toStringList();
    if (request.command == SendArguments::Command::Say && !missing.isEmpty())
        return QStringLiteral("missing from the voice kit: ") + missing.join(QLatin1String(", "));
    QVariantMap now;
    int ignored = Done;
    if (!properties(&now, &ignored))
        return QStringLiteral("the keyer went away");
    const QString keyer = now.value(QStringLiteral("Keyer")).toString();
    const QString state = now.value(QStringLiteral("State")).toString();
    const int memory = now.value(QStringLiteral("Memory")).toInt();
    if (request.command == SendArguments::Command::Play
        && (request.memory < 1 || request.memory > MemoryCount))
        return QStringLiteral("there is no memory %1; the memories are 1 to %2")
            .arg(request.memory)
            .arg(MemoryCount);
    if (!keyer.isEmpty() && keyer != QLatin1String("ready"))
        return QStringLiteral("the transmitter could not be keyed (the keyer is %1)").arg(keyer);
    if (state != QLatin1String("idle") && memory >= 1)
        return QStringLiteral("memory %1 is busy").arg(memory);
    if (state != QLatin1String("idle"))
        return QStringLiteral("another message is busy");
    const QString inhibited = now.value(QStringLiteral("Inhibited")).toString();
    if (!inhibited.isEmpty())
        return QStringLiteral("held back while %1 transmit on the band (the station network's "
                              "interlock)")
            .arg(inhibited);
    if (request.command == SendArguments::Command::File)
        return QStringLiteral("%1 cannot be played (see the keyer's window)")
            .arg(LogText::quoted(request.path));
    if (request.command == SendArguments::Command::Say
        && request.text.size() > KitText::MaxCharacters)
        return QStringLiteral("the text has %1 characters; at most %2 are spoken")
            .arg(request.text.size())
            .arg(KitText::MaxCharacters);
    const auto speakable = [](QChar c) {
        return c.unicode() < 0x80 && c.isLetterOrNumber();
    };
    if (request.command == SendArguments::Command::Say
        && std::none_of(request.text.cbegin(), request.text.cend(), speakable))
        return QStringLiteral("the text has nothing to say (no letter, digit or word in brackets)");
    if (request.command == SendArguments::Command::Say && answer.value(2).toDouble() > 0)
        return QStringLiteral("the message would last %1 s, longer than the keyer speaks at once")
            .arg(answer.value(2).toDouble(), 0, 'f', 1);
    if (request.command == SendArguments::Command::Say)
        return QStringLiteral("the text cannot be spoken (see the keyer's window)");
    return QStringLiteral("memory %1 cannot be played now (see the keyer's window)")
        .arg(request.memory);
}

int KeyerClient::waitForEnd()
{
    m_waiting = true;
    if (m_terminated)
        return stopWaited();
    // The changes said so far (before the answer came) are handled first; the loop then waits.
    if (!m_ended)
        m_loop.exec();
    m_waiting = false;
    return m_result;
}

void KeyerClient::changed(const QString &state, int, bool)
{
    if (m_ended)
        return;
    if (state == Playing) {
        m_seenPlaying = true;
        return;
    }
    if (!m_seenPlaying)
        return;
    // Idle, or the wait before a repeat: the message's audio has ended, to its end or not.
    m_ended = true;
    m_result = state == QLatin1String("idle") ? howItEnded() : Done;
    m_loop.quit();
}

int KeyerClient::howItEnded()
{
    QVariantMap now;
    int result = Done;
    if (!properties(&now, &result))
        return Stopped; // the keyer went away at the end
    // A keyer that does not say how a message ended: it ended.
    const QString ending = now.value(QStringLiteral("LastEnd")).toString();
    if (ending == QLatin1String("stopped")) {
        say(QStringLiteral("the message was stopped before its end"));
        return Stopped;
    }
    if (ending == QLatin1String("failed")) {
        say(QStringLiteral("the message could not be played (see the keyer's window)"));
        return Refused;
    }
    return Done;
}

void KeyerClient::keyerGone()
{
    if (m_ended)
        return;
    say(QStringLiteral("the keyer ended before the message did"));
    m_ended = true;
    m_result = Stopped;
    m_loop.quit();
}

void KeyerClient::terminate()
{
    m_terminated = true;
    if (m_waiting && !m_ended) {
        m_result = stopWaited();
        m_loop.quit();
    }
}

int KeyerClient::stopWaited()
{
    m_ended = true;
    int result = Stopped;
    QDBusMessage reply;
    call("Stop", {}, &reply, &result);
    return result == Done ? Stopped : result;
}
