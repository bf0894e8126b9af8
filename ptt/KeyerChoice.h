// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

struct AppState;
class HamlibKeyer;
class NoKeyer;
class StandDownKeyer;
class PttGuard;
class PttKeyer;
class RigModule;
class SerialKeyer;

// Puts the keyer of the operator's method (AppState::PttMethod) in the keying's hands: the
// serial lines, the rig's CAT connection or a CM108 chip through hamlib, or none (VOX).
//
// The serial lines open only by the COM dialog's OK, as they always did; a CAT or CM108 keyer
// connects when it is chosen (at start-up and at the PTT dialog's OK), and stays in place, keyed
// or not, when it is chosen again with the same settings. A keyer that is put aside is released
// first; a hamlib keyer put aside lets its rig go.
//
// The guard, when there is one, is told which rig to release should the program die; at the end
// of the program it is told goodbye once the transmitter is known released, else it goes on
// releasing after the program.
class KeyerChoice : public QObject
{
    Q_OBJECT
public:
    // `rigs`: where the CAT and CM108 keyers find hamlib.
    KeyerChoice(const AppState &state, SerialKeyer &serial, RigModule &rigs,
                QObject *parent = nullptr);
    ~KeyerChoice() override;

    // The guard that releases the transmitter should the program die (null: none).
    void setGuard(PttGuard *guard);

    // From now on no keyer keys: another copy of the program that runs owns the transmitter
    // (`why` says so). The serial port is never opened, no rig is connected.
    void standDown(const QString &why);
    bool stoodDown() const { return m_standDown != nullptr; }

    // Puts the keyer of the present method in place. A CAT or CM108 keyer whose settings changed
    // connects with them; a serial port that is open moves to a device chosen since.
    void apply();
    // The keyer in place.
    PttKeyer &current() const;
    // The CAT or CM108 keyer while one is in place, else null.
    HamlibKeyer *hamlibKeyer() const { return m_hamlib.get(); }
    // The end of the program, once the station has released the transmitter through the keyer in
    // place and let it go: every other keyer let go (an open serial port among them), and the
    // guard told goodbye when the release is confirmed.
    void shutdown();

    // What the PTT dialog's status line says: the keyer in place, whether a release is not yet
    // confirmed, and a guard that cannot start.
    QString statusText() const;
    bool isReady() const;

signals:
    // The status: when it changes, and when another keyer takes over.
    void statusChanged(const QString &text, bool ready);
    // Another keyer is in place (null: none). The station takes it at once: connect directly.
    void keyerChanged(PttKeyer *keyer);

private:
    void follow(PttKeyer *keyer);
    void putInPlace(PttKeyer *keyer);
    void tellStatus();

    const AppState &m_state;
    SerialKeyer &m_serial;
    RigModule &m_rigs;
    std::unique_ptr<HamlibKeyer> m_hamlib;
    std::unique_ptr<NoKeyer> m_none;
    std::unique_ptr<StandDownKeyer> m_standDown;
    QPointer<PttKeyer> m_followed;
    QPointer<PttKeyer> m_current; // the keyer in place
    QMetaObject::Connection m_statusConnection;
    PttGuard *m_guard = nullptr;
    QString m_serialDevice; // the device the serial keyer was last given
};
