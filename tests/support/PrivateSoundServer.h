// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <array>
#include <memory>

// A sound server of the caller's own, never the desktop's: started with a private
// XDG_RUNTIME_DIR and two null sinks, "rig" and "speakers" (paced in real time; their monitors
// "rig.monitor" and "speakers.monitor" hear exactly what went out), and ended by its PIDs. It is
// PulseAudio, or PipeWire as a desktop runs it: pipewire, WirePlumber and pipewire-pulse (without
// a session bus, and without the machine's sound cards), the sinks added through pipewire-pulse.
// While it runs, the process is pointed at it (PULSE_SERVER, XDG_RUNTIME_DIR, PULSE_COOKIE); the
// environment is put back when the object goes. Its processes also die with the process that
// started them.
class PrivateSoundServer
{
public:
    enum Kind { PulseAudio, PipeWire };

    // A server that is not `pointed` leaves the process's environment alone (a second server, for
    // instance one that another forwards to).
    explicit PrivateSoundServer(Kind kind = PulseAudio, bool pointed = true);
    ~PrivateSoundServer();
    PrivateSoundServer(const PrivateSoundServer &) = delete;
    PrivateSoundServer &operator=(const PrivateSoundServer &) = delete;

    // Starts the server (again) and waits until it answers, with both sinks; false with error set
    // when it cannot start here (not installed, no permission): tests then skip.
    bool start(QString *error);
    // Kills it at once, as a crash would.
    void kill();
    // Ends it and waits for its end.
    void terminate();
    bool isRunning() const;
    // The process the sound server's clients talk to.
    qint64 pid() const;
    Kind kind() const { return m_kind; }
    // The null sinks' rate: 44100 on PulseAudio, 48000 on PipeWire.
    int sampleRate() const { return m_kind == PipeWire ? 48000 : 44100; }
    // The server's name in a test's message.
    QString name() const;
    // Where its clients reach it ("unix:/.../pulse/native").
    QString address() const;

    // Runs pactl on the server; its standard output, or a null array on a failure.
    QByteArray pactl(const QStringList &arguments) const;

    static const QString Rig;
    static const QString Speakers;

private:
    QProcessEnvironment environment() const;
    bool startProcess(QProcess &process, const QString &program, const QStringList &arguments,
                      QString *error);
    bool addSinks(QString *error);
    QString logOf(const QProcess &process) const;
    void pointProcessAtServer();
    void restoreEnvironment();

    Kind m_kind;
    bool m_pointed;
    QTemporaryDir m_dir;
    // PulseAudio; or pipewire, WirePlumber and pipewire-pulse, in the order they start.
    std::array<std::unique_ptr<QProcess>, 3> m_processes;
    struct Saved
    {
        const char *name;
        QByteArray value;
        bool set;
    };
    std::vector<Saved> m_saved;
};
