// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

// One way of keying the transmitter's push-to-talk: the serial port's RTS/DTR lines, the rig's
// CAT connection, a CM108 sound chip's GPIO pin, or none at all (the rig keys itself on the
// audio). The station decides when to key; a keyer only carries the requests out.
//
// Every member is called on the UI thread, returns at once and never waits for the hardware;
// every signal is emitted there. A keyer whose hardware answers slowly (a rig over CAT) works on
// a thread of its own, and requests made meanwhile coalesce: the latest one wins.
class PttKeyer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Connects to the hardware (again) with the keyer's present settings. Returns at once;
    // statusChanged() follows. A keyer connected before is released and let go first.
    virtual void open() = 0;
    // Asks for the transmitter on air (true) or released (false).
    virtual void setOnAir(bool onAir) = 0;
    // Whether a keying request can reach the transmitter now. False while the hardware cannot
    // be reached (not opened, or stopped answering): a request then has no effect.
    virtual bool isReady() const = 0;

    // The link to the transmitter, as the station and other programs report it: ready, never
    // connected (or the connection was let go), connected and no longer answering, or connected
    // to a transmitter that another program keyed (this program keys nothing until it is
    // released).
    enum class Link { Ready, NotConnected, NoAnswer, KeyedElsewhere };
    virtual Link link() const { return isReady() ? Link::Ready : Link::NotConnected; }
    // A release was asked for and the hardware has not confirmed it yet: the transmitter may
    // still be keyed.
    virtual bool releasePending() const { return false; }
    // The transmitter may be keyed as far as the keyer knows: a keying was sent and no release
    // has been confirmed since, or the rig says it is keyed.
    virtual bool mayBeKeyed() const { return releasePending(); }
    // How long hardware that answers takes at most to confirm a request; a request that is not
    // confirmed within it has failed. 0: confirmed at once, when the request is made.
    virtual int answerTimeoutMs() const { return 0; }
    // What the operator reads about the connection ("Connected to ...", "No answer from ...").
    virtual QString statusText() const = 0;
    // The end of the program: the transmitter released, then the hardware let go. Waits at most
    // `milliseconds` for hardware that does not answer.
    virtual void shutdown(int milliseconds) = 0;

signals:
    // The connection's state changed (opened, failed, stopped answering, answered again). Said
    // once on standard error by the keyer when it becomes unusable.
    void statusChanged(const QString &text, bool ready);
    // The hardware carried a request out: the transmitter is now on air (true) or released.
    // Every keyer says it for every request it carries out, queued: a keyer whose requests act
    // at once (the serial lines, none) right after the request, a rig when it has answered.
    void confirmed(bool onAir);
    // The transmitter was found released though nothing here asked for it (the guard, another
    // program, the rig's own panel): the keyer does not key it again until it is asked anew.
    void releasedElsewhere();
};
