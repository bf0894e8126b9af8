// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "station/PttKeyer.h"

#include <QString>
#include <memory>
#include <thread>

// Where a HamlibKeyer keys the transmitter.
struct HamlibSettings
{
    enum class Method {
        Cat, // the rig's CAT connection: directly on a serial port, or through rigctld
        Cm108 // a GPIO pin of a CM108-family USB sound chip
    };
    // hamlib's model numbers for its two rigs of its own.
    static constexpr int DummyModel = 1;
    static constexpr int NetworkModel = 2; // rigctld over the network
    // The GPIO pins a CM108-family chip may have.
    static constexpr int Cm108GpioMin = 1;
    static constexpr int Cm108GpioMax = 8;

    Method method = Method::Cat;
    // CAT: hamlib's rig model; the rig's port ("host:port" for rigctld, or a serial device);
    // the serial speed (0: the model's own).
    int rigModel = NetworkModel;
    QString rigPort = QStringLiteral("localhost:4532");
    int rigSpeed = 0;
    // CM108: the chip's HID device (/dev/hidraw*) and the GPIO pin wired to PTT.
    QString cm108Device;
    int cm108Gpio = 3;

    friend bool operator==(const HamlibSettings &, const HamlibSettings &) = default;
};

// Keys the transmitter through hamlib: rig_set_ptt on a CAT rig, or on hamlib's dummy rig with
// the PTT type CM108.
//
// Every hamlib call runs on a thread of the keyer's own, as a rig that does not answer holds a
// call for a second or more. Requests made meanwhile coalesce: the thread carries out only the
// latest one. A rig that cannot be opened or stops answering is said once on standard error,
// and again when it answers again. A keying request made while the rig is not open is kept and
// carried out as soon as it opens, as the serial lines do. A connection to rigctld that is lost
// is made again at once and at each later request, so that a rigctld started again is found.
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
    static constexpr int AnswerTimeoutMs = 1000;

    explicit HamlibKeyer(const HamlibSettings &settings = {}, QObject *parent = nullptr);
    // Asks the thread to release the transmitter and let the rig go, without waiting for it:
    // call shutdown() first where the program ends.
    ~HamlibKeyer() override;

    // The settings that the next open() uses.
    void setSettings(const HamlibSettings &settings) { m_settings = settings; }
    HamlibSettings settings() const { return m_settings; }

    void open() override;
    void setOnAir(bool onAir) override;
    bool isReady() const override { return m_ready && !m_shutDown; }
    int answerTimeoutMs() const override { return AnswerTimeoutMs; }
    QString statusText() const override { return m_status; }
    void shutdown(int milliseconds) override;

private:
    struct Channel;
    struct Report;
    static void work(std::shared_ptr<Channel> channel);
    static void post(Channel &channel, const Report &report);
    void take(const Report &report);
    void setStatus(const QString &text, bool ready);
    void stop();

    HamlibSettings m_settings;
    std::shared_ptr<Channel> m_channel;
    std::thread m_thread;
    quint64 m_generation = 0;
    QString m_name; // of the rig, once it has opened
    QString m_status;
    bool m_ready = false;
    bool m_shutDown = false;
};
