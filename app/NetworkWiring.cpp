// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/NetworkWiring.h"

#include "remote/StationNetwork.h"
#include "settings/Settings.h"
#include "station/AppState.h"
#include "station/Dialogs.h"
#include "station/SettingsBook.h"
#include "ui/Form1.h"

#include <QFontMetrics>
#include <QGroupBox>

NetworkWiring::NetworkWiring(SettingsBook &book, Clock &clock, Form1 &window, Settings &settings,
                             Dialogs &dialogs, QObject *parent)
    : QObject(parent)
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

void NetworkWiring::apply()
{
    m_problem.clear();
    m_link.apply();
    showStatus();
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
