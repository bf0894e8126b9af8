// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>

// Turns SIGTERM, SIGINT and SIGHUP (a desktop logging out, a system shutting down, Ctrl+C in a
// terminal) into a signal on the UI thread, so that the program ends as if its window were
// closed: the settings are saved and the transmitter released. One instance per process.
//
// It is made first thing in main(), before the application object: from then on such a signal
// is only noted, however early in start-up it comes, and the request is delivered once listen()
// runs, when the window is there to close. These signals, should the program have been started
// with them blocked, are let through from then on.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    // Delivers terminationRequested() from the event loop: at once for a signal that came
    // before, later for each one that comes. Needs the application object.
    void listen();

signals:
    void terminationRequested();

private:
    // Lives and ends with the application object.
    QPointer<QSocketNotifier> m_notifier;
};
