// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/GuardProtocol.h"
#include "ptt/HamlibSettings.h"
#include "ptt/SerialLines.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <optional>

class QSocketNotifier;
class TransientUnit;

// The program's side of its guard, voicevocta-guard: a small process that releases the
// transmitter, and puts back a microphone muted for a message, should the program end without
// saying goodbye, and releases the transmitter should the program freeze while it is keyed (see
// GuardMain.cpp). It is started when something first keys the transmitter (a rig, an open serial
// port) or mutes a microphone, and is told each change: what keys, and when the transmitter is
// keyed and released. While it is keyed the guard asks whether the program answers, and the
// program answers at once from its event loop.
//
// Where a user service manager runs (TransientUnit), the guard runs in a unit of its own and
// connects to a socket of the program's; so a kill of the program's whole group of processes does
// not take it along. Where none runs, or it refuses the unit (said once), the guard is the
// program's child. A guard that ends while the program runs is started again within a second. A
// guard that cannot start is said once on standard error and by problem(); the program keeps
// working without it.
class PttGuard : public QObject
{
    Q_OBJECT
public:
    // How long after a guard's end a new one is started.
    static constexpr int RestartMs = 200;
    // How long a guard started in a unit may take to connect before it is started as a child.
    static constexpr int ConnectWithinMs = 3000;

    // `program`: the guard's executable (see locate()).
    explicit PttGuard(const QString &program, QObject *parent = nullptr);
    // Without a goodbye the guard takes the program's end for a death, and releases.
    ~PttGuard() override;

    // Where the guard of a program in `executableDir` is: beside it, else in
    // ../libexec/voicevocta/ (the layout of a system's installation).
    static QString locate(const QString &executableDir);

    // The user's service manager, in whose unit the guard is to run (null: the guard is a child).
    void setTransientUnit(TransientUnit *unit) { m_unit = unit; }

    // The rig keyed through CAT or a CM108 chip, or none.
    void watchRig(const HamlibSettings &settings);
    void forgetRig();
    // The open serial port (a descriptor that stays the program's) and its receive levels.
    void watchPort(int descriptor, const SerialLines::ReceiveLevels &levels);
    void setReceiveLevels(const SerialLines::ReceiveLevels &levels);
    // The port is about to be closed: the guard lets its descriptor go.
    void forgetPort();
    // The microphones muted by the program now (asked or confirmed): should it die, or end before
    // the sound server confirms them put back, the guard puts them back.
    void watchMutedSources(const QStringList &sources);
    // The transmitter is keyed (or released), with the station's time-out in seconds (0: none).
    void setKeyed(bool keyed, int timeoutSeconds);
    // The end of the program, with the transmitter released: the guard ends doing nothing but
    // put back the microphones still listed.
    void sayGoodbye();

    // The guard's process id while it runs, else 0.
    qint64 processId() const { return m_pid; }
    // Whether the guard runs in a unit of its own (not as the program's child).
    bool inUnit() const { return m_socket >= 0 && m_listener < 0 && !m_child; }
    // Why there is no guard (it cannot start, or it ended), or an empty text.
    QString problem() const { return m_problem; }

signals:
    void problemChanged(const QString &problem);
    // A guard runs now (its process id), and has been told everything.
    void running(qint64 pid);
    // The guard released the transmitter itself: the program did not answer it, or stayed keyed
    // past its time-out. `reason` says which.
    void tookOver(const QString &reason);

private:
    bool watching() const;
    bool ensureRunning();
    bool startChild();
    void startInUnit();
    void accept();
    void unitFailed(const QString &why);
    void connected(int socket, qint64 pid, bool child);
    void read();
    void send(const GuardProtocol::Message &message, int descriptor = -1);
    void tellEverything();
    void ended();
    void stopListening();
    void setProblem(const QString &text);

    QString m_program;
    TransientUnit *m_unit = nullptr;
    bool m_unitRefused = false; // the service manager refused it, or is not there
    int m_socket = -1; // connected to the guard
    int m_listener = -1; // waits for a guard in a unit to connect
    bool m_child = false;
    qint64 m_pid = 0;
    QSocketNotifier *m_notifier = nullptr;
    QSocketNotifier *m_listening = nullptr;
    QTimer m_restart;
    QTimer m_connectWithin;
    std::optional<HamlibSettings> m_rig;
    int m_port = -1; // the program's descriptor of the open port
    SerialLines::ReceiveLevels m_levels;
    QStringList m_sources;
    bool m_keyed = false;
    int m_timeout = 0;
    QString m_problem;
    bool m_problemSaid = false;
    bool m_goodbye = false;
};
