// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/OtrspWiring.h"

#include "station/KeyingGate.h"
#include "station/Log.h"
#include "station/RadioPair.h"
#include "station/Station.h"

#include <QPointer>

OtrspWiring::OtrspWiring(const QString &device, RadioPair &radios, bool stereo, QObject *parent)
    : QObject(parent), m_radios(radios), m_rx(radios.focus()), m_stereo(stereo)
{
    m_box.setDevice(device);
    m_box.setKeyedCheck([this] { return m_radios.keyed(1) || m_radios.keyed(2); });
    // A box opened again, or gone, knows no transmit focus.
    connect(&m_box, &OtrspBox::statusChanged, this, [this](const QString &text, bool problem) {
        m_tx = 0;
        if (problem)
            qCWarning(lcVocta).noquote() << text;
        else
            qCInfo(lcVocta).noquote() << text;
    });
    connect(&m_box, &OtrspBox::nameChanged, this, [](const QString &name) {
        qCInfo(lcVocta).noquote() << QStringLiteral("OTRSP box: %1").arg(name);
    });
    for (int radio : {1, 2})
        m_radios.station(radio).addKeyingGate(
            [self = QPointer<OtrspWiring>(this), radio]() -> std::optional<Holdback> {
                return self ? self->gate(radio) : std::nullopt;
            });
    connect(&m_radios, &RadioPair::focusChanged, this, &OtrspWiring::listen);
    // Taking turns, the operator listens to the radio that does not send.
    connect(&m_radios, &RadioPair::radioChanged, this, [this](int radio) {
        if (m_radios.alternate())
            listen(3 - radio);
    });
    if (m_box.open())
        listen(m_rx);
}

void OtrspWiring::listen(int radio)
{
    m_rx = radio;
    qCDebug(lcVocta) << "OTRSP receive focus: radio" << radio << (m_stereo ? "stereo" : "mono");
    m_box.selectRx(radio, m_stereo);
}

void OtrspWiring::setStereo(bool on)
{
    if (on == m_stereo)
        return;
    m_stereo = on;
    listen(m_rx);
}

// Keys only once the box has the radio's transmit focus: the first ask sends it, and the station
// waits for it, Lock too.
std::optional<Holdback> OtrspWiring::gate(int radio)
{
    if (!m_box.isOpen() || m_tx == radio)
        return std::nullopt;
    if (m_selecting == 0) {
        m_selecting = radio;
        m_box.selectTx(radio,
                       [this, radio](OtrspBox::TxResult result) { selected(radio, result); });
    }
    Holdback hold;
    hold.reason = Answer::Reason::Interlocked;
    hold.wait = true;
    hold.who = QStringLiteral("the OTRSP box switching to radio %1").arg(radio);
    hold.lockToo = false;
    hold.lockWaits = true;
    return hold;
}

void OtrspWiring::selected(int radio, OtrspBox::TxResult result)
{
    m_selecting = 0;
    switch (result) {
    case OtrspBox::TxResult::Selected:
        m_tx = radio;
        break;
    case OtrspBox::TxResult::WithoutBox:
        m_tx = 0;
        break;
    case OtrspBox::TxResult::Refused:
    case OtrspBox::TxResult::Failed:
        qCWarning(lcVocta).noquote()
            << QStringLiteral("The OTRSP box did not switch to radio %1: its message (or Lock) "
                              "is stopped")
                   .arg(radio);
        m_radios.handleOn(radio, StationEvents::MessageStop{});
        if (m_radios.station(radio).lockWaiting()) // never keyed: let go
            m_radios.handleOn(radio, StationEvents::LockClick{});
        return;
    }
    m_radios.handleOn(radio, StationEvents::GateOpened{});
}
