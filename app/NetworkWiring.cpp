// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/NetworkWiring.h"

#include "ptt/HamlibSettings.h"
#include "ptt/RigTuning.h"
#include "remote/StationNetwork.h"
#include "settings/Settings.h"
#include "station/AppState.h"
#include "station/Clock.h"
#include "station/Dialogs.h"
#include "station/SettingsBook.h"
#include "station/StationDoor.h"
#include "ui/Form1.h"

#include <QFontMetrics>
#include <QGroupBox>

namespace {

// Whether the settings put the station on the network: it sends RadioInfo, or hears it.
bool onTheNetwork(const NetworkValues &network)
{
    return !network.RadioInfo.trimmed().isEmpty() || network.Listen != 0;
}

// rigctld's address where a radio is keyed through it; else none (a rig that hamlib drives on a
// port of its own is not read: its frequency and mode stay unknown).
QString rigctldOf(const AppState &radio)
{
    return radio.Ptt.PttMethod == KeyingMethod::Cat
                   && radio.Ptt.RigModel == HamlibSettings::NetworkModel
               ? radio.Ptt.RigPort
               : QString();
}

} // namespace

NetworkWiring::NetworkWiring(SettingsBook &book, Clock &clock, Form1 &window, Settings &settings,
                             Dialogs &dialogs, QObject *parent)
    : QObject(parent)
    , m_state(book.values())
    , m_clock(clock)
    , m_window(window)
    , m_dialogs(dialogs)
    , m_link(book.values(), clock)
    , m_dialog(book, window)
    , m_statusCaption(window.Frame(3)->title())
{
    connect(&window, &Form1::Network_Click, &m_dialog, &NetworkSetHandler::Network_Click);
    // The dialog's OK: the network takes the new settings, and they are saved at once.
    connect(&m_dialog, &NetworkSetHandler::applied, this, [this, &settings] {
        apply();
        settings.WriteMem();
    });
    connect(&m_link, &NetworkLink::inhibitedChanged, this, &NetworkWiring::showInhibited);
    connect(&m_link, &NetworkLink::problem, this, &NetworkWiring::showProblem);
}

NetworkWiring::~NetworkWiring() = default;

void NetworkWiring::addRadio(int radioNr, StationDoor &station, const AppState &settings)
{
    TunedRadio *radio
        = m_radios.emplace_back(std::make_unique<TunedRadio>(settings, &station, nullptr)).get();
    m_link.addRadio(radioNr, station, [radio] {
        return radio->reader ? NetworkLink::Tuning{radio->reader->freqHz(), radio->reader->mode()}
                             : NetworkLink::Tuning();
    });
    followRigs();
}

void NetworkWiring::apply()
{
    m_problem.clear();
    m_applied = true;
    m_link.apply();
    followRigs();
    showStatus();
}

// Whether a radio's rig may be asked what it is tuned to: not while it is keyed, a keying or a
// release waits for the rig's answer, or a repeat keys it within a second (rigctld would make the
// keying wait behind the question).
bool NetworkWiring::mayAsk(const StationState &state) const
{
    const bool repeatSoon
        = state.stage == Stage::RepeatWait && state.repeatDueAt - m_clock.now() < RigTuning::TickMs;
    return !state.onAir && !state.transmitting && !repeatSoon;
}

// A reader of its own for each radio keyed through rigctld, while the station is on the network.
void NetworkWiring::followRigs()
{
    const bool wanted = m_applied && onTheNetwork(m_state.Network);
    for (const auto &radio : m_radios) {
        const QString address = wanted && radio->station ? rigctldOf(radio->settings) : QString();
        if (radio->reader ? radio->reader->address() == address : address.isEmpty())
            continue;
        radio->reader.reset();
        if (!address.isEmpty()) {
            radio->reader
                = std::make_unique<RigTuning>(address, m_clock, [this, radio = radio.get()] {
                      return radio->station && mayAsk(radio->station->state());
                  });
            connect(radio->reader.get(), &RigTuning::changed, &m_link, &NetworkLink::tuningChanged);
        }
        m_link.tuningChanged();
    }
}

// While another station holds this one back, the "Status" frame's caption names it.
void NetworkWiring::showInhibited(const QString &stations)
{
    QGroupBox *frame = m_window.Frame(3);
    if (stations.isEmpty()) {
        frame->setTitle(m_statusCaption);
        frame->setToolTip(QString());
    } else {
        const QString text = tr("%1: held back by %2").arg(m_statusCaption, stations);
        frame->setTitle(QFontMetrics(frame->font())
                            .elidedText(text, Qt::ElideRight, std::max(frame->width() - 24, 40)));
        frame->setToolTip(text);
    }
    showStatus();
}

// Each problem once in a notice (a port that cannot be opened, a host not found...); the last one
// in the dialog's status line until the settings are applied again.
void NetworkWiring::showProblem(const QString &text)
{
    m_problem = text;
    m_dialog.setStatus(text, false);
    if (m_told.contains(text))
        return;
    m_told.insert(text);
    m_dialogs.notice(tr("Station network: %1.").arg(text), true);
}

void NetworkWiring::showStatus()
{
    if (!m_problem.isEmpty())
        return m_dialog.setStatus(m_problem, false);
    const StationNetwork *network = m_link.network();
    if (!network) {
        m_dialog.setStatus(tr("Not on the network: nothing is sent or heard."), true);
        return;
    }
    QString text = tr("Station %1").arg(network->stationName());
    text += network->listeningPort()
                ? tr(", hearing other stations on UDP port %1").arg(network->listeningPort())
                : tr(", hearing no other station");
    if (!m_link.inhibitedBy().isEmpty())
        text += tr("; held back by %1").arg(m_link.inhibitedBy());
    m_dialog.setStatus(text + QLatin1Char('.'), true);
}
