// SPDX-License-Identifier: GPL-3.0-or-later
#include "ptt/KeyerChoice.h"

#include "ptt/HamlibKeyer.h"
#include "ptt/NoKeyer.h"
#include "ptt/SerialKeyer.h"
#include "station/AppState.h"
#include "station/Station.h"

namespace {

HamlibSettings hamlibSettings(const AppState &state)
{
    HamlibSettings settings;
    settings.method = state.PttMethod == KeyingMethod::Cm108 ? HamlibSettings::Method::Cm108
                                                             : HamlibSettings::Method::Cat;
    settings.rigModel = state.RigModel;
    settings.rigPort = state.RigPort;
    settings.rigSpeed = state.RigSpeed;
    settings.cm108Device = state.Cm108Device;
    settings.cm108Gpio = state.Cm108Gpio;
    return settings;
}

} // namespace

KeyerChoice::KeyerChoice(AppState &state, Station &station, SerialKeyer &serial, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_station(station)
    , m_serial(serial)
    , m_none(std::make_unique<NoKeyer>())
    , m_serialDevice(state.SerialDevice)
{ }

KeyerChoice::~KeyerChoice()
{
    if (m_hamlib && m_station.keyer() == m_hamlib.get())
        m_station.setKeyer(nullptr);
}

PttKeyer &KeyerChoice::current() const
{
    PttKeyer *keyer = m_station.keyer();
    return keyer ? *keyer : static_cast<PttKeyer &>(m_serial);
}

void KeyerChoice::apply()
{
    switch (m_state.PttMethod) {
    case KeyingMethod::Cat:
    case KeyingMethod::Cm108: {
        if (!m_hamlib)
            m_hamlib = std::make_unique<HamlibKeyer>();
        m_hamlib->setSettings(hamlibSettings(m_state));
        follow(m_hamlib.get());
        // Takes the present state first, so that a keyed station keys the rig once it answers.
        m_station.setKeyer(m_hamlib.get());
        m_hamlib->open();
        break;
    }
    case KeyingMethod::None:
        follow(m_none.get());
        m_station.setKeyer(m_none.get());
        m_none->open();
        break;
    case KeyingMethod::Serial:
        follow(&m_serial);
        m_station.setKeyer(&m_serial);
        // An open port moves to a device chosen since; a closed one waits for the COM dialog.
        if (m_state.SerialDevice != m_serialDevice && m_serial.isPortOpen())
            m_serial.open();
        emit statusChanged(m_serial.statusText(), m_serial.isReady());
        break;
    }
    m_serialDevice = m_state.SerialDevice;

    // A rig put aside lets go: its thread finishes the release on its own, the UI never waits.
    if (m_hamlib && m_station.keyer() != m_hamlib.get())
        m_hamlib.reset();
}

void KeyerChoice::shutdown()
{
    const bool serialInPlace = m_station.keyer() == &m_serial;
    m_station.shutdown();
    if (!serialInPlace)
        m_serial.shutdown(0);
}

void KeyerChoice::follow(PttKeyer *keyer)
{
    if (keyer == m_followed)
        return;
    disconnect(m_statusConnection);
    m_followed = keyer;
    m_statusConnection
        = connect(keyer, &PttKeyer::statusChanged, this, &KeyerChoice::statusChanged);
}
