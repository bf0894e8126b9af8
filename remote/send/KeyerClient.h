// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "remote/send/SendArguments.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QEventLoop>
#include <QObject>
#include <QVariantMap>

// voicevocta-send's side of the keyer interface: carries out one request, says on standard error
// in one line why when it was not done, and gives the command's exit status. Waiting for the end
// of a message follows the keyer's Changed signal.
class KeyerClient : public QObject
{
    Q_OBJECT
public:
    enum Status { Done = 0, Refused = 1, Stopped = 2, NoKeyer = 3 };

    explicit KeyerClient(const QDBusConnection &bus, QObject *parent = nullptr);

    int run(const SendArguments &request);

public slots:
    // Asked to end (SIGTERM, SIGINT): a message being waited for is stopped.
    void terminate();

private slots:
    void changed(const QString &state, int memory, bool onAir);
    void keyerGone();

private:
    // The call's answer; an error answer has been said on standard error and turned into
    // `*status`.
    // `quietIfUnknown`: a keyer without `member` is not said, and gives NotSupported.
    bool call(const char *member, const QVariantList &arguments, QDBusMessage *reply, int *status,
              bool quietIfUnknown = false);
    bool callSent(const char *member, QVariantList arguments, QDBusMessage *reply, int *status);
    bool properties(QVariantMap *values, int *status);
    int status();
    int startMessage(const SendArguments &request);
    int waitForEnd();
    // Why the keyer answered false, from its answer and from what it reports now.
    QString refusalReason(const SendArguments &request, const QVariantList &answer);
    int stopWaited();
    // The status for a message that is over: from how the keyer says it ended.
    int howItEnded();

    QDBusConnection m_bus;
    QEventLoop m_loop;
    bool m_waiting = false;
    bool m_terminated = false;
    bool m_seenPlaying = false;
    int m_result = Done;
    bool m_ended = false;
    qint64 m_sentMs = 0; // when the request that keys was sent
    static constexpr int NotSupported = -1; // a status of call(), never the command's
};
