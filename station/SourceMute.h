// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// The microphone muted while a message is on the air: a microphone looped through the rig's
// sound card would otherwise be sent with the message. The station says when the transmitter is
// keyed for a message (from just before its keying) and when that ends; the source is muted
// through the sound server for that time, only if it was not muted already, and put back as it
// was afterwards, whatever happens meanwhile (the source or the server going away and coming
// back). Nothing is muted while no source is chosen. The station keys once the mute is settled.
//
// Every member is called on the UI thread and returns at once.
class SourceMute : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The sound server's input (source) to mute, by name; empty: none. A source muted now is put
    // back when another one takes its place.
    virtual void setSource(const QString &name) = 0;
    // Whether the transmitter is keyed for a message now.
    virtual void setMessageKeyed(bool keyed) = 0;
    // Whether what the latest setMessageKeyed(true) asked has its answer: the source muted as the
    // sound server confirmed, or left alone (muted already, absent, no server, a mute that
    // failed); true while nothing is asked.
    virtual bool isSettled() const { return true; }

signals:
    // The mute asked became settled.
    void settled();
    // The sources muted here and not yet confirmed put back: what is to be put back should the
    // program die. A source is listed before the server is asked to mute it.
    void mutedSourcesChanged(const QStringList &sources);
};
