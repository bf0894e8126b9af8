// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "remote/CallPacer.h"
#include "station/StationRemote.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QVariantMap>
#include <functional>
#include <optional>

class KitMessages;
class QDBusContext;

// The interface org.voicevocta.Keyer1 on the session bus: loggers and scripts play and stop the
// memories, engage Lock and standby, and follow what the station does. Every call goes through
// the station's own handlers (StationRemote), exactly as the operator's clicks do.
//
// The slots can be called in-process as well, without a bus. Calls from the bus are paced
// (CallPacer): a flood of them never holds the window. While calls wait their turn, the properties
// report the station as it stands. The bus tells which call it delivers through the object the
// adaptor belongs to, when that is a QDBusContext (KeyerService).
class KeyerAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.voicevocta.Keyer1")
    // "idle", "playing", "repeat-wait".
    Q_PROPERTY(QString State READ state)
    // The memory last started, 1..6; 0 before the first start.
    Q_PROPERTY(int Memory READ memory)
    // Whether the transmitter is keyed, as the keyer confirmed it (true also while a release is
    // not confirmed yet: it may still be keyed).
    Q_PROPERTY(bool OnAir READ onAir)
    Q_PROPERTY(bool Lock READ lock)
    Q_PROPERTY(bool Standby READ standby)
    // Whether the keyer can key the transmitter: "ready", "not-connected", "no-answer".
    Q_PROPERTY(QString Keyer READ keyer)
    // What the message last started is: "memory", "file", "text".
    Q_PROPERTY(QString Kind READ kind)
    // How it ended: "none" (busy, or none started), "ended" (heard to its last sample), "stopped"
    // (before its end), "failed" (it could not be played).
    Q_PROPERTY(QString LastEnd READ lastEnd)
    // Milliseconds until the message that waits for its repeat plays again; 0 when none is due.
    // Its change is said (PropertiesChanged) when a repeat is armed and when none is due any more.
    Q_PROPERTY(int RepeatDue READ repeatDue)
    // The radio with the operator's focus (1 or 2), the radio of the message last started or on
    // the air, and how many radios there are (1 or 2). Their changes are said.
    Q_PROPERTY(int Focus READ focus)
    Q_PROPERTY(int Radio READ radio)
    Q_PROPERTY(int Radios READ radios)
    // The other stations on the network that hold this one back now (another station on the band
    // transmits), joined with ", "; empty: none. Its change is said (PropertiesChanged).
    Q_PROPERTY(QString Inhibited READ inhibited)

public:
    static constexpr const char *InterfaceName = "org.voicevocta.Keyer1";

    // `object` is the object the adaptor belongs to (the one registered on the bus).
    KeyerAdaptor(QObject *object, StationRemote &station);

    // Where the standard PropertiesChanged goes: the connection and path the object is
    // registered at. Without one, only Changed is emitted.
    void setBus(const QDBusConnection &connection, const QString &path);
    void clearBus();
    // The preview of a memory (1..6) on the operator's own output; unset: Preview is refused.
    void setPreview(std::function<bool(int)> preview) { m_preview = std::move(preview); }
    // Where texts are built (null: PlayText and Prepare refuse every text).
    void setTexts(KitMessages *texts) { m_texts = texts; }

    QString state() const;
    int memory() const;
    bool onAir() const;
    bool lock() const;
    bool standby() const;
    QString keyer() const;
    QString kind() const;
    QString lastEnd() const;
    int repeatDue() const;
    int focus() const { return m_station.status().focus; }
    int radio() const { return m_station.status().radio; }
    int radios() const { return m_station.status().radios; }
    QString inhibited() const { return m_inhibited; }
    // The stations that hold this one back now (see Inhibited).
    void setInhibited(const QString &stations);

    // How late a request that keys may be carried out after it was sent.
    static constexpr qint64 LateMs = 2000;

public slots:
    // As a left click on the memory (1..6); see StationRemote::play().
    bool Play(int memory);
    // As Esc: a click on the memory that plays or waits for its repeat; false when idle.
    bool Stop();
    void SetLock(bool on);
    void SetStandby(bool on);
    // A WAV or MIDI file as a message; see StationRemote::playFile.
    bool PlayFile(const QString &path);
    // A text spoken from the voice kit, as a message: true when it started; `missing` what the
    // kit lacks for it, `seconds` how long it lasts (or would).
    bool PlayText(const QString &text, QStringList &missing, double &seconds);
    // As PlayText, but only built (its parts made ready), not sent.
    bool Prepare(const QString &text, QStringList &missing, double &seconds);
    // Plays the memory (1..6) for the operator's ears alone, never keying; false when refused
    // (a message plays, no output of the operator's own).
    bool Preview(int memory);

    // The requests that key, for a caller that says when it sent them (`sentMs`: milliseconds
    // since 1970 on this machine's clock): each is refused (false, the refusal face) when it is
    // carried out more than LateMs after it was sent, as its caller may have given up on it by
    // then. A release is never refused: SetLockSentAt(false) is SetLock(false).
    bool PlaySentAt(int memory, qint64 sentMs);
    bool PlayFileSentAt(const QString &path, qint64 sentMs);
    bool PlayTextSentAt(const QString &text, qint64 sentMs, QStringList &missing, double &seconds);
    bool SetLockSentAt(bool on, qint64 sentMs);

    // On one radio (1 or 2) rather than the one with the focus: false, nothing keyed, for a radio
    // that is not there. Each is refused when late, as above (sentMs 0: never late).
    bool PlayOn(int memory, int radio);
    bool PlayOnSentAt(int memory, int radio, qint64 sentMs);
    bool PlayFileOn(const QString &path, int radio, qint64 sentMs);
    bool PlayTextOn(const QString &text, int radio, qint64 sentMs, QStringList &missing,
                    double &seconds);
    // Gives the operator's focus to the radio (1 or 2); false for a radio that is not there.
    bool SetFocus(int radio);

signals:
    // Every change of what the properties report.
    void Changed(const QString &state, int memory, bool onAir);

private:
    void stationChanged();
    void sayProperties(const QVariantMap &properties);
    // The call being delivered, when the object is a QDBusContext; null otherwise.
    const QDBusContext *busCall() const;

    QVariantList text(const QString &text, bool play, int radio = 0);
    // A radio named by a caller: 1..Radios, said and refused otherwise.
    bool radioThere(int radio);
    // Whether a request sent at `sentMs` comes too late to be carried out now: said, with the
    // refusal face.
    bool late(qint64 sentMs, const QString &what);

    StationRemote &m_station;
    KitMessages *m_texts = nullptr;
    CallPacer m_pacer;
    std::function<bool(int)> m_preview;
    StationRemote::Status m_said;
    QString m_inhibited;
    std::optional<QDBusConnection> m_bus;
    QString m_path;
};
