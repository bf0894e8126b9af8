// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/GuardProtocol.h"
#include "ptt/HamlibSettings.h"
#include "ptt/SerialLines.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

class QSocketNotifier;

// The program's side of its guard, voicevocta-guard: a small process that releases the
// transmitter, and puts back a microphone muted for a message, should the program end without
// saying goodbye (see GuardMain.cpp). It is started when something first keys the transmitter (a
// rig through hamlib, an open serial port) or mutes a microphone, and is told each change; a guard
// that ended is started again at the next change. A guard that cannot start is said once on
// standard error and by problem(); the program keeps working without it.
class PttGuard : public QObject
{
    Q_OBJECT
public:
    // `program`: the guard's executable (see locate()).
    explicit PttGuard(const QString &program, QObject *parent = nullptr);
    // Without a goodbye the guard takes the program's end for a death, and releases.
    ~PttGuard() override;

    // Where the guard of a program in `executableDir` is: beside it, else in
    // ../libexec/voicevocta/ (the layout of a system's installation).
    static QString locate(const QString &executableDir);

    // The rig keyed through hamlib, or none.
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
    // The end of the program, with the transmitter released: the guard ends doing nothing but
    // put back the microphones still listed.
    void sayGoodbye();

    // The guard's process id while it runs, else 0.
    qint64 processId() const { return m_pid; }
    // Why there is no guard (it cannot start, or it ended), or an empty text.
    QString problem() const { return m_problem; }

signals:
    void problemChanged(const QString &problem);

private:
    bool ensureRunning();
    bool start();
    void send(const GuardProtocol::Message &message, int descriptor = -1);
    void tellEverything();
    void ended();
    void setProblem(const QString &text);

    QString m_program;
    int m_socket = -1;
    qint64 m_pid = 0;
    QSocketNotifier *m_notifier = nullptr;
    std::optional<HamlibSettings> m_rig;
    int m_port = -1; // the program's descriptor of the open port
    SerialLines::ReceiveLevels m_levels;
    QStringList m_sources;
    QString m_problem;
    bool m_problemSaid = false;
    bool m_goodbye = false;
};
