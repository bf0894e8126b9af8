// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ptt/HamlibRig.h"
#include "ptt/HamlibSettings.h"
#include "station/PttKeyer.h"

class RigLibrary;
class RigModule;

#include <QString>
#include <memory>
#include <thread>

// Keys the transmitter through hamlib: rig_set_ptt on a CAT rig, or on hamlib's dummy rig with
// the PTT type CM108.
//
// Every hamlib call runs on a thread of the keyer's own, as a rig that does not answer holds a
// call for a second or more. Requests made meanwhile coalesce: the thread carries out only the
// latest one. The keyer holds the transmitter to the state asked last until the rig confirms
// it (see RigLink: no request is written while one is unanswered, and none is carried out late
// without being put right): a request the rig did not confirm is sent again as soon as the rig
// answers, and tried at least every second until then. A rig that cannot be reached is tried
// again by itself every second, so that a rigctld started after the keyer is found.
//
// A rig that cannot be opened or stops answering is said once on standard error, and again when
// it answers again. A model that hamlib does not know is refused before hamlib sees it.
//
// hamlib comes from the program's module (RigModule), loaded when the first keyer is made. Where
// it cannot be loaded the keyer is "Not connected", says why in its status, and keys nothing.
//
// The first keyer sets the process's LC_NUMERIC to "C": hamlib reads the rig's numbers in it, and
// its own switch to it and back is faulty under any other locale.
//
// A dead rig is noticed within about a second: hamlib waits 1000 ms for an answer, and retries
// once on a serial port (rigctld retries towards its rig by itself).
class HamlibKeyer : public PttKeyer
{
    Q_OBJECT
public:
    static constexpr int AnswerTimeoutMs = HamlibRig::AnswerTimeoutMs;
    // A rig that cannot be reached is tried again after this long.
    static constexpr int RetryMs = 1000;

    explicit HamlibKeyer(RigModule &module, const HamlibSettings &settings = {},
                         QObject *parent = nullptr);
    // Asks the thread to release the transmitter and let the rig go, without waiting for it:
    // call shutdown() first where the program ends.
    ~HamlibKeyer() override;

    // The settings that the next open() uses.
    void setSettings(const HamlibSettings &settings) { m_settings = settings; }
    HamlibSettings settings() const { return m_settings; }

    void open() override;
    void setOnAir(bool onAir) override;
    bool isReady() const override { return m_link == Link::Ready && !m_shutDown; }
    Link link() const override { return m_shutDown ? Link::NotConnected : m_link; }
    bool releasePending() const override { return !m_wanted && mayBeKeyed(); }
    // From the keying request on, until the rig has confirmed a release.
    bool mayBeKeyed() const override { return m_mayBeKeyed || m_keyingSerial > m_seenSerial; }
    // What the link in use allows a request now: a second, or more on a slow link.
    int answerTimeoutMs() const override;
    QString statusText() const override { return m_status; }
    void shutdown(int milliseconds) override;

private:
    struct Channel;
    struct Report;
    struct Worker;
    static void post(Channel &channel, const Report &report);
    void take(const Report &report);
    void setStatus(const QString &text, Link link);
    void wake();
    void stop();

    RigModule &m_module;
    HamlibSettings m_settings;
    std::shared_ptr<Channel> m_channel;
    std::thread m_thread;
    quint64 m_generation = 0;
    QString m_name; // of the rig, once it has opened
    QString m_status;
    Link m_link = Link::NotConnected;
    bool m_wanted = false; // the latest request
    bool m_mayBeKeyed = false; // a keying was sent and no release confirmed since
    quint64 m_keyingSerial = 0; // the latest keying request
    quint64 m_seenSerial = 0; // the latest request the thread's reports cover
    bool m_shutDown = false;
};
