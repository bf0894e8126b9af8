// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class Clock;
class QTcpSocket;
class Timer;

// What a rig reached through rigctld is tuned to: its frequency and mode, asked about once a
// second ("+f", "+m" in rigctld's own line protocol) over a TCP connection of this reader's own,
// never the keyer's. Everything happens on the UI thread without waiting: the connection is made,
// written and read as the event loop says it may.
//
// rigctld carries out one command at a time for all its clients: a question about the tuning
// would delay a keying or a release behind it. So nothing is asked while `mayAsk` says no (the
// radio is keyed, or a keying or a release is not confirmed yet); the last answers stay.
//
// A rig that cannot be read (no rigctld there, a connection that goes, garbled answers, no answer
// within AnswerTicks seconds) reads as frequency 0 and no mode: unknown. The connection is then
// made again quietly, waiting longer each time (up to MostWaitTicks seconds); one line says it is
// lost, until an answer comes again.
class RigTuning : public QObject
{
    Q_OBJECT
public:
    static constexpr int TickMs = 1000;
    static constexpr int AnswerTicks = 5;
    static constexpr int MostWaitTicks = 16;
    static constexpr int MaxInput = 1024;

    // `address`: rigctld's "host:port" (port 4532 when none is named).
    RigTuning(const QString &address, Clock &clock, std::function<bool()> mayAsk,
              QObject *parent = nullptr);
    ~RigTuning() override;

    QString address() const { return m_address; }
    quint64 freqHz() const { return m_freqHz; }
    QString mode() const { return m_mode; }

signals:
    // The frequency or the mode changed.
    void changed();

private:
    enum class Ask { None, Vfo, Freq, Mode };

    void tick();
    void connectNow();
    void ask(Ask what);
    void askNext();
    void read();
    bool takeLine(const QByteArray &line);
    bool takeReport(int code);
    void lose(const QString &reason);
    void set(quint64 freqHz, const QString &mode);

    QString m_address;
    std::function<bool()> m_mayAsk;
    std::unique_ptr<Timer> m_tick;
    QTcpSocket *m_socket = nullptr; // a child of this reader; a new one for each connection
    QByteArray m_input;
    Ask m_asking = Ask::None;
    int m_waited = 0; // ticks spent connecting, or waiting for the answer
    int m_skip = 0; // ticks to let pass before connecting again
    int m_backoff = 0; // the wait after the next loss
    std::optional<bool> m_vfo; // rigctld wants a VFO named in every command; unknown yet
    bool m_lostSaid = false;
    std::optional<quint64> m_value; // the frequency answered, not yet ended by its report
    QString m_modeValue;
    quint64 m_freqHz = 0;
    QString m_mode;
};
