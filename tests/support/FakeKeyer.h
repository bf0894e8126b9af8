// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/PttKeyer.h"

#include <QList>
#include <QStringList>

// A keyer of the tests. With answerTimeoutMs() 0 it stands for the serial lines (a request is
// done when it is made); above 0 for a rig, whose confirmations the test gives with confirm().
// Every request is written down, also into a log the test shares with the sound player's double.
class FakeKeyer : public PttKeyer
{
    Q_OBJECT
public:
    explicit FakeKeyer(int answerTimeoutMs = 0, QStringList *sharedLog = nullptr)
        : m_timeoutMs(answerTimeoutMs), m_log(sharedLog)
    { }

    void open() override { }
    void setOnAir(bool onAir) override
    {
        requests << onAir;
        if (m_log)
            *m_log << (onAir ? QStringLiteral("Key") : QStringLiteral("Release"));
    }
    bool isReady() const override { return linkState == Link::Ready; }
    Link link() const override { return linkState; }
    // A release asked for while the rig last confirmed on air, or as the test says.
    bool releasePending() const override
    {
        return pendingRelease || (confirmedOnAir && !requests.isEmpty() && !requests.last());
    }
    // What the rig last confirmed on air, or a release said pending.
    bool mayBeKeyed() const override { return confirmedOnAir || pendingRelease; }
    int answerTimeoutMs() const override { return m_timeoutMs; }
    QString statusText() const override { return {}; }
    void shutdown(int) override { ++shutDowns; }

    // The rig answers: the transmitter is now on air (or released).
    void confirm(bool onAir)
    {
        confirmedOnAir = onAir;
        if (m_log)
            *m_log << (onAir ? QStringLiteral("Confirmed 1") : QStringLiteral("Confirmed 0"));
        emit confirmed(onAir);
    }
    // The link changed, as the keyer says it.
    void setLink(Link link)
    {
        linkState = link;
        emit statusChanged(QString(), link == Link::Ready);
    }

    QList<bool> requests;
    bool confirmedOnAir = false; // what the rig last confirmed
    Link linkState = Link::Ready;
    bool pendingRelease = false;
    int shutDowns = 0;

private:
    int m_timeoutMs;
    QStringList *m_log;
};
