// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/NetworkSetHandler.h"

#include "settings/NetworkSettings.h"
#include "station/AppState.h"
#include "station/SettingsBook.h"
#include "ui/NetworkSet.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include <algorithm>

NetworkSetHandler::NetworkSetHandler(SettingsBook &settings, QWidget &mainWindow)
    : m_settings(settings), m_state(settings.values()), m_mainWindow(mainWindow)
{ }

NetworkSetHandler::~NetworkSetHandler()
{
    delete m_dialog;
}

NetworkSet *NetworkSetHandler::form() const
{
    return m_dialog;
}

void NetworkSetHandler::Network_Click()
{
    if (!m_dialog)
        load();
    if (!m_dialog->isVisible())
        Form_Load();
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
}

void NetworkSetHandler::load()
{
    m_dialog = new NetworkSet(&m_mainWindow);
    NetworkSet *dialog = m_dialog;
    connect(dialog, &NetworkSet::OkButton_Click, this, &NetworkSetHandler::OkButton_Click);
    connect(dialog, &NetworkSet::CancelButton_Click, this, &NetworkSetHandler::CancelButton_Click);
    connect(dialog, &NetworkSet::Form_Unload, this, [this, dialog] {
        if (m_dialog == dialog)
            m_dialog = nullptr;
    });
}

void NetworkSetHandler::Form_Load()
{
    NetworkSet &dialog = *m_dialog;
    const NetworkValues &v = m_state.Network;
    dialog.RadioInfoEdit()->setText(v.RadioInfo);
    dialog.StationNameEdit()->setText(v.StationName);
    dialog.StationNameEdit()->setPlaceholderText(
        NetworkSettings::effectiveStationName(NetworkValues()));
    dialog.ListenEdit()->setText(v.Listen > 0 ? QString::number(v.Listen) : QString());
    dialog.InterlockCombo()->setCurrentIndex(int(v.Interlock));
    dialog.RoleCombo()->setCurrentIndex(int(v.Role));
    dialog.PeerTimeoutSpin()->setValue(v.PeerTimeoutS);
    showStatus(m_status, m_good);
}

void NetworkSetHandler::OkButton_Click()
{
    NetworkSet &dialog = *m_dialog;
    const QString radioInfo = dialog.RadioInfoEdit()->text().trimmed();
    if (const auto destinations = NetworkSettings::destinations(radioInfo); !destinations) {
        showStatus(tr("Send RadioInfo to: %1.").arg(destinations.error), false);
        return;
    }
    const auto listen = NetworkSettings::listenPort(dialog.ListenEdit()->text());
    if (!listen) {
        showStatus(tr("Listen on UDP port: %1.").arg(listen.error), false);
        return;
    }
    const auto name = NetworkSettings::stationName(dialog.StationNameEdit()->text());
    if (!name) {
        showStatus(tr("Station name: %1.").arg(name.error), false);
        return;
    }

    NetworkValues v = m_state.Network;
    v.RadioInfo = radioInfo;
    v.StationName = name.value == NetworkSettings::effectiveStationName(NetworkValues())
                        ? QString()
                        : name.value;
    v.Listen = listen.value;
    v.Interlock = InterlockMode(std::clamp(dialog.InterlockCombo()->currentIndex(), 0, 2));
    v.Role = StationRole(std::clamp(dialog.RoleCombo()->currentIndex(), 0, 1));
    v.PeerTimeoutS = std::clamp(dialog.PeerTimeoutSpin()->value(), NetworkSettings::MinPeerTimeoutS,
                                NetworkSettings::MaxPeerTimeoutS);
    if (const Result done = m_settings.apply(v); !done) {
        showStatus(done.error, false);
        return;
    }
    dialog.hide();
    emit applied();
}

void NetworkSetHandler::CancelButton_Click()
{
    m_dialog->hide();
}

void NetworkSetHandler::setStatus(const QString &text, bool good)
{
    m_status = text;
    m_good = good;
    if (m_dialog)
        showStatus(text, good);
}

void NetworkSetHandler::showStatus(const QString &text, bool good)
{
    QLabel *label = m_dialog->StatusLabel();
    label->setText(text);
    label->setStyleSheet(good ? QString() : QStringLiteral("color: #b00000;"));
}
