// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/KeyerAdaptor.h"

#include "playback/kit/KitMessages.h"
#include "station/Log.h"

#include <QDBusContext>
#include <QDBusMessage>
#include <QDateTime>
#include <QVariantMap>

KeyerAdaptor::KeyerAdaptor(QObject *object, StationRemote &station)
    : QDBusAbstractAdaptor(object), m_station(station), m_said(station.status())
{
    connect(&m_station, &StationRemote::changed, this, &KeyerAdaptor::stationChanged);
}

void KeyerAdaptor::setBus(const QDBusConnection &connection, const QString &path)
{
    m_bus = connection;
    m_path = path;
}

void KeyerAdaptor::clearBus()
{
    m_bus.reset();
    m_path.clear();
}

QString KeyerAdaptor::state() const
{
    return StationRemote::stateName(m_station.status().state);
}

int KeyerAdaptor::memory() const
{
    return m_station.status().memory;
}

bool KeyerAdaptor::onAir() const
{
    return m_station.status().onAir;
}

bool KeyerAdaptor::lock() const
{
    return m_station.status().lock;
}

bool KeyerAdaptor::standby() const
{
    return m_station.status().standby;
}

QString KeyerAdaptor::keyer() const
{
    return StationRemote::linkName(m_station.status().keyer);
}

QString KeyerAdaptor::kind() const
{
    switch (m_station.status().kind) {
    case MessageKind::File:
        return QStringLiteral("file");
    case MessageKind::Text:
        return QStringLiteral("text");
    case MessageKind::Memory:
        break;
    }
    return QStringLiteral("memory");
}

QString KeyerAdaptor::lastEnd() const
{
    return StationRemote::endingName(m_station.status().ending);
}

int KeyerAdaptor::repeatDue() const
{
    return m_station.repeatDue();
}

const QDBusContext *KeyerAdaptor::busCall() const
{
    return static_cast<const QDBusContext *>(parent()->qt_metacast("QDBusContext"));
}

// Each slot called from the bus answers once the call has had its turn (the value it returns then
// goes nowhere); called in-process, at once.

bool KeyerAdaptor::Play(int memory)
{
    const auto answer
        = m_pacer.run(busCall(), [this, memory] { return QVariantList{m_station.play(memory)}; });
    return answer && answer->value(0).toBool();
}

bool KeyerAdaptor::Stop()
{
    const auto answer = m_pacer.run(busCall(), [this] { return QVariantList{m_station.stop()}; });
    return answer && answer->value(0).toBool();
}

bool KeyerAdaptor::Preview(int memory)
{
    const auto answer = m_pacer.run(
        busCall(), [this, memory] { return QVariantList{m_preview && m_preview(memory)}; });
    return answer && answer->value(0).toBool();
}

void KeyerAdaptor::SetLock(bool on)
{
    m_pacer.run(busCall(), [this, on] {
        m_station.setLock(on);
        return QVariantList();
    });
}

void KeyerAdaptor::SetStandby(bool on)
{
    m_pacer.run(busCall(), [this, on] {
        m_station.setStandby(on);
        return QVariantList();
    });
}

bool KeyerAdaptor::PlayFile(const QString &path)
{
    const auto answer = m_pacer.run(busCall(), [this, path] {
        return QVariantList{m_station.playFile(path, MessageKind::File)};
    });
    return answer && answer->value(0).toBool();
}

bool KeyerAdaptor::PlayText(const QString &text, QStringList &missing, double &seconds)
{
    const auto answer = m_pacer.run(busCall(), [this, text] { return this->text(text, true); });
    missing = answer ? answer->value(1).toStringList() : QStringList();
    seconds = answer ? answer->value(2).toDouble() : 0.0;
    return answer && answer->value(0).toBool();
}

bool KeyerAdaptor::Prepare(const QString &text, QStringList &missing, double &seconds)
{
    const auto answer = m_pacer.run(busCall(), [this, text] { return this->text(text, false); });
    missing = answer ? answer->value(1).toStringList() : QStringList();
    seconds = answer ? answer->value(2).toDouble() : 0.0;
    return answer && answer->value(0).toBool();
}

bool KeyerAdaptor::late(qint64 sentMs, const QString &what)
{
    const qint64 age = QDateTime::currentMSecsSinceEpoch() - sentMs;
    if (age <= LateMs && age >= -LateMs)
        return false;
    qCWarning(lcRemote).noquote()
        << QStringLiteral("%1 is refused: it was sent %2 s %3, and its caller may have given up")
               .arg(what)
               .arg(std::abs(age) / 1000.0, 0, 'f', 1)
               .arg(age >= 0 ? QStringLiteral("ago") : QStringLiteral("ahead of this clock"));
    m_station.showRefusal();
    return true;
}

bool KeyerAdaptor::PlaySentAt(int memory, qint64 sentMs)
{
    const auto answer = m_pacer.run(busCall(), [this, memory, sentMs] {
        return QVariantList{!late(sentMs, QStringLiteral("Play")) && m_station.play(memory)};
    });
    return answer && answer->value(0).toBool();
}

bool KeyerAdaptor::PlayFileSentAt(const QString &path, qint64 sentMs)
{
    const auto answer = m_pacer.run(busCall(), [this, path, sentMs] {
        return QVariantList{!late(sentMs, QStringLiteral("PlayFile"))
                            && m_station.playFile(path, MessageKind::File)};
    });
    return answer && answer->value(0).toBool();
}

bool KeyerAdaptor::PlayTextSentAt(const QString &text, qint64 sentMs, QStringList &missing,
                                  double &seconds)
{
    const auto answer = m_pacer.run(busCall(), [this, text, sentMs] {
        if (late(sentMs, QStringLiteral("PlayText")))
            return QVariantList{false, QStringList(), 0.0};
        return this->text(text, true);
    });
    missing = answer ? answer->value(1).toStringList() : QStringList();
    seconds = answer ? answer->value(2).toDouble() : 0.0;
    return answer && answer->value(0).toBool();
}

bool KeyerAdaptor::SetLockSentAt(bool on, qint64 sentMs)
{
    const auto answer = m_pacer.run(busCall(), [this, on, sentMs] {
        if (on && late(sentMs, QStringLiteral("SetLock")))
            return QVariantList{false};
        m_station.setLock(on);
        return QVariantList{true};
    });
    return answer && answer->value(0).toBool();
}

bool KeyerAdaptor::radioThere(int radio)
{
    if (radio >= 1 && radio <= m_station.status().radios)
        return true;
    qCWarning(lcRemote).noquote() << QStringLiteral("There is no radio %1: refused").arg(radio);
    m_station.showRefusal();
    return false;
}

bool KeyerAdaptor::PlayOn(int memory, int radio)
{
    return PlayOnSentAt(memory, radio, 0);
}

bool KeyerAdaptor::PlayOnSentAt(int memory, int radio, qint64 sentMs)
{
    const auto answer = m_pacer.run(busCall(), [this, memory, radio, sentMs] {
        return QVariantList{(sentMs == 0 || !late(sentMs, QStringLiteral("PlayOn")))
                            && radioThere(radio) && m_station.play(memory, radio)};
    });
    return answer && answer->value(0).toBool();
}

bool KeyerAdaptor::PlayFileOn(const QString &path, int radio, qint64 sentMs)
{
    const auto answer = m_pacer.run(busCall(), [this, path, radio, sentMs] {
        return QVariantList{(sentMs == 0 || !late(sentMs, QStringLiteral("PlayFileOn")))
                            && radioThere(radio)
                            && m_station.playFile(path, MessageKind::File, radio)};
    });
    return answer && answer->value(0).toBool();
}

bool KeyerAdaptor::PlayTextOn(const QString &text, int radio, qint64 sentMs, QStringList &missing,
                              double &seconds)
{
    const auto answer = m_pacer.run(busCall(), [this, text, radio, sentMs] {
        if ((sentMs != 0 && late(sentMs, QStringLiteral("PlayTextOn"))) || !radioThere(radio))
            return QVariantList{false, QStringList(), 0.0};
        return this->text(text, true, radio);
    });
    missing = answer ? answer->value(1).toStringList() : QStringList();
    seconds = answer ? answer->value(2).toDouble() : 0.0;
    return answer && answer->value(0).toBool();
}

bool KeyerAdaptor::SetFocus(int radio)
{
    const auto answer
        = m_pacer.run(busCall(), [this, radio] { return QVariantList{m_station.setFocus(radio)}; });
    return answer && answer->value(0).toBool();
}

// A text built (and with `play`, sent): the answer (ok, missing, seconds). Refused with the
// refusal face, nothing keyed, when it cannot be built or sent.
QVariantList KeyerAdaptor::text(const QString &text, bool play, int radio)
{
    if (!m_texts) {
        if (play) {
            qCWarning(lcRemote).noquote() << "Cannot say a text: this keyer has no voice kit";
            m_station.showRefusal();
        }
        return {false, QStringList(), 0.0};
    }
    // Busy: refused before anything is built, as a click on another memory is.
    if (play && m_station.status().state != StationRemote::PlayState::Idle) {
        m_station.showRefusal();
        return {false, QStringList(), 0.0};
    }
    const KitMessages::Built built = play ? m_texts->build(text) : m_texts->prepare(text);
    bool ok = built.ok;
    if (play && ok)
        ok = m_station.playFile(built.path, MessageKind::Text, radio);
    else if (play)
        m_station.showRefusal();
    return {ok, built.missing, built.seconds};
}

void KeyerAdaptor::stationChanged()
{
    const StationRemote::Status now = m_station.status();
    if (now == m_said)
        return;
    QVariantMap properties;
    if (now.state != m_said.state)
        properties.insert(QStringLiteral("State"), StationRemote::stateName(now.state));
    if (now.memory != m_said.memory)
        properties.insert(QStringLiteral("Memory"), now.memory);
    if (now.onAir != m_said.onAir)
        properties.insert(QStringLiteral("OnAir"), now.onAir);
    if (now.lock != m_said.lock)
        properties.insert(QStringLiteral("Lock"), now.lock);
    if (now.standby != m_said.standby)
        properties.insert(QStringLiteral("Standby"), now.standby);
    if (now.keyer != m_said.keyer)
        properties.insert(QStringLiteral("Keyer"), StationRemote::linkName(now.keyer));
    if (now.kind != m_said.kind)
        properties.insert(QStringLiteral("Kind"), kind());
    if (now.ending != m_said.ending)
        properties.insert(QStringLiteral("LastEnd"), lastEnd());
    if (now.repeatDueAt != m_said.repeatDueAt)
        properties.insert(QStringLiteral("RepeatDue"), repeatDue());
    if (now.focus != m_said.focus)
        properties.insert(QStringLiteral("Focus"), now.focus);
    if (now.radio != m_said.radio)
        properties.insert(QStringLiteral("Radio"), now.radio);
    if (now.radios != m_said.radios)
        properties.insert(QStringLiteral("Radios"), now.radios);
    m_said = now;

    emit Changed(StationRemote::stateName(now.state), now.memory, now.onAir);
    sayProperties(properties);
}

void KeyerAdaptor::setInhibited(const QString &stations)
{
    if (stations == m_inhibited)
        return;
    m_inhibited = stations;
    sayProperties({{QStringLiteral("Inhibited"), stations}});
}

void KeyerAdaptor::sayProperties(const QVariantMap &properties)
{
    if (!m_bus)
        return;
    QDBusMessage message
        = QDBusMessage::createSignal(m_path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                     QStringLiteral("PropertiesChanged"));
    message << QString::fromLatin1(InterfaceName) << properties << QStringList();
    m_bus->send(message);
}
