// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/KeyerChoice.h"

#include "ptt/HamlibKeyer.h"
#include "ptt/NoKeyer.h"
#include "ptt/PttGuard.h"
#include "ptt/SerialKeyer.h"
#include "ptt/StandDownKeyer.h"
#include "station/AppState.h"

namespace {

HamlibSettings hamlibSettings(const AppState &state)
{
    HamlibSettings settings;
    settings.method = state.Ptt.PttMethod == KeyingMethod::Cm108 ? HamlibSettings::Method::Cm108
                                                             : HamlibSettings::Method::Cat;
    settings.rigModel = state.Ptt.RigModel;
    settings.rigPort = state.Ptt.RigPort;
    settings.rigSpeed = state.Ptt.RigSpeed;
    settings.cm108Device = state.Ptt.Cm108Device;
    settings.cm108Gpio = state.Ptt.Cm108Gpio;
    return settings;
}

} // namespace

KeyerChoice::KeyerChoice(AppState &state, SerialKeyer &serial, RigModule &rigs, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_serial(serial)
    , m_rigs(rigs)
    , m_none(std::make_unique<NoKeyer>())
    , m_serialDevice(state.Ptt.SerialDevice)
{ }

KeyerChoice::~KeyerChoice()
{
    if (m_hamlib && m_current == m_hamlib.get())
        emit keyerChanged(nullptr);
}

PttKeyer &KeyerChoice::current() const
{
    return m_current ? *m_current : static_cast<PttKeyer &>(m_serial);
}

void KeyerChoice::setGuard(PttGuard *guard)
{
    if (m_guard)
        disconnect(m_guard, nullptr, this, nullptr);
    m_guard = guard;
    if (m_guard) {
        connect(m_guard, &PttGuard::problemChanged, this, &KeyerChoice::tellStatus);
        if (m_hamlib && m_current == m_hamlib.get())
            m_guard->watchRig(m_hamlib->settings());
    }
}

void KeyerChoice::standDown(const QString &why)
{
    m_standDown = std::make_unique<StandDownKeyer>(why);
    m_serial.standDown(why);
    apply();
}

// The keyer in place from now on; the station takes it at once, with the present state.
void KeyerChoice::putInPlace(PttKeyer *keyer)
{
    follow(keyer);
    if (keyer == m_current)
        return;
    m_current = keyer;
    emit keyerChanged(keyer);
}

void KeyerChoice::apply()
{
    if (m_standDown) {
        putInPlace(m_standDown.get());
        m_standDown->open();
        m_hamlib.reset();
        return;
    }
    switch (m_state.Ptt.PttMethod) {
    case KeyingMethod::Cat:
    case KeyingMethod::Cm108: {
        const HamlibSettings settings = hamlibSettings(m_state);
        // The same rig again stays as it is, keyed or not.
        const bool inPlace
            = m_hamlib && m_current == m_hamlib.get() && m_hamlib->settings() == settings;
        if (!m_hamlib)
            m_hamlib = std::make_unique<HamlibKeyer>(m_rigs);
        m_hamlib->setSettings(settings);
        if (m_guard)
            m_guard->watchRig(settings);
        // Takes the present state first, so that a keyed station keys the rig once it answers.
        putInPlace(m_hamlib.get());
        if (!inPlace)
            m_hamlib->open();
        break;
    }
    case KeyingMethod::None:
        putInPlace(m_none.get());
        m_none->open();
        break;
    case KeyingMethod::Serial:
        putInPlace(&m_serial);
        // An open port moves to a device chosen since; a closed one waits for the COM dialog.
        if (m_state.Ptt.SerialDevice != m_serialDevice && m_serial.isPortOpen())
            m_serial.open();
        tellStatus();
        break;
    }
    m_serialDevice = m_state.Ptt.SerialDevice;

    // A rig put aside lets go: its thread finishes the release on its own, the UI never waits.
    if (m_hamlib && m_current != m_hamlib.get()) {
        m_hamlib.reset();
        if (m_guard)
            m_guard->forgetRig();
    }
}

void KeyerChoice::shutdown()
{
    if (m_current != &m_serial)
        m_serial.shutdown(0);
    // A release the rig did not confirm is left to the guard, which goes on after the program.
    if (m_guard && !current().releasePending())
        m_guard->sayGoodbye();
}

QString KeyerChoice::statusText() const
{
    const PttKeyer &keyer = current();
    QString text = keyer.statusText();
    if (keyer.releasePending() && !keyer.isReady())
        text += QStringLiteral(": the transmitter may still be keyed");
    if (m_guard && !m_guard->problem().isEmpty())
        text += QLatin1Char('\n') + m_guard->problem();
    return text;
}

bool KeyerChoice::isReady() const
{
    return current().isReady();
}

void KeyerChoice::tellStatus()
{
    emit statusChanged(statusText(), isReady());
}

void KeyerChoice::follow(PttKeyer *keyer)
{
    if (keyer == m_followed)
        return;
    disconnect(m_statusConnection);
    m_followed = keyer;
    m_statusConnection = connect(keyer, &PttKeyer::statusChanged, this, &KeyerChoice::tellStatus);
}
