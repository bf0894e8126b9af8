// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// A PulseAudio server of the caller's own, never the desktop's: started with a private
// XDG_RUNTIME_DIR and two null sinks, "rig" and "speakers" (paced in real time; their monitors
// "rig.monitor" and "speakers.monitor" hear exactly what went out), and ended by its PID. While it
// runs, the process is pointed at it (PULSE_SERVER, XDG_RUNTIME_DIR, PULSE_COOKIE); the
// environment is put back when the object goes. It also dies with the process that started it.
class PrivateSoundServer
{
public:
    PrivateSoundServer();
    ~PrivateSoundServer();
    PrivateSoundServer(const PrivateSoundServer &) = delete;
    PrivateSoundServer &operator=(const PrivateSoundServer &) = delete;

    // Starts the server (again) and waits until it answers; false with error set when it cannot
    // start here (no pulseaudio, no permission): tests then skip.
    bool start(QString *error);
    // Kills it at once, as a crash would.
    void kill();
    // Ends it and waits for its end.
    void terminate();
    bool isRunning() const;
    qint64 pid() const { return m_process.processId(); }

    // Runs pactl on the server; its standard output, or a null array on a failure.
    QByteArray pactl(const QStringList &arguments) const;

    static const QString Rig;
    static const QString Speakers;

private:
    QProcessEnvironment environment() const;
    void pointProcessAtServer();
    void restoreEnvironment();

    QTemporaryDir m_dir;
    QProcess m_process;
    struct Saved
    {
        const char *name;
        QByteArray value;
        bool set;
    };
    std::vector<Saved> m_saved;
};
